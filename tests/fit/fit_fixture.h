// Small runs built by hand for the fit tests: a grid only (for the rules and
// penalties), or a full model with data, tables and corrections (for the cycle).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "model/corrections.h"
#include "fit/evaluation.h"
#include "fit/run.h"
#include "support/run_builder.h"
#include "model/transform.h"

namespace yosta::fit_test {

// A run with only the r grid and basis values: r_j = j * dr.
inline std::unique_ptr<Run> grid_run(int nbasis, int nr, float dr, float Z = -1.0f) {
  return testing::RunBuilder().basis(nbasis).r_grid(nr, dr).floor(Z).build();
}

struct ModelOptions {
  int nbasis = 2;
  int nsets = 1;
  int nq = 40;  // Q_k = k * 0.25, up to 10 inverse Angstrom
  int nr = 30;
  float max_change = 0.5f;
  float error = 0.05f;     // experimental error at every point
  bool zero_data = false;  // data equal to the zero model: chi-squared 0 at the start
};

inline double never(const void*) { return 0.0; }

// A run whose data sets were made from a known pair of basis functions, with
// the model started from zero. Corrections: none (beta = 1, no background
// terms). The clock never advances, so the save check never saves on its own.
inline std::unique_ptr<Run> model_run(const ModelOptions& o = {}) {
  auto run = testing::RunBuilder().basis(o.nbasis).sets(o.nsets).q_grid(o.nq, 0.25f, 0.25f).build();
  RunParameters& par = run->params;
  par.nsets_fixed = 0;
  par.max_change = o.max_change;
  par.report_interval = 1000000;
  par.plot_interval = 100;
  par.run_time = 1.0e6f;
  par.save_interval = 1.0e6f;
  run->control.next_save_time = 1.0e6f;
  run->control.clock.now = never;

  run->model.r.dr = 6.283185f / (run->model.q.Q[static_cast<std::size_t>(o.nq)] * 2.0f);
  run->model.r.nr = o.nr;
  run->model.Z = -1.0f;
  check_q_grid(run->model);
  build_tables(run->params, run->model);

  for (int s = 1; s <= o.nsets; ++s) {
    DataSet& set = run->model.sets[static_cast<std::size_t>(s)];
    set.settings.q_first = 1;
    set.settings.q_last = o.nq;
    for (int k = 1; k <= o.nq; ++k) {
      const auto ku = static_cast<std::size_t>(k);
      set.err[ku] = o.error;
      for (int p = 1; p <= o.nbasis; ++p) {
        set.coef[static_cast<std::size_t>(p)][ku] = 1.0f / static_cast<float>(p + s);
      }
    }
  }
  // The "true" basis functions: one bump each, their model F(Q) is the data.
  for (int p = 1; p <= o.nbasis; ++p) {
    for (int j = 1; j <= o.nr; ++j) {
      const float x = static_cast<float>(j - 8 - 3 * p);
      run->model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.8f * std::exp(-0.1f * x * x);
    }
  }
  if (!o.zero_data) full_model(run->params, run->model);
  for (int s = 1; s <= o.nsets; ++s) {
    DataSet& set = run->model.sets[static_cast<std::size_t>(s)];
    set.F = set.F_calc;
  }
  prepare_data(run->params, run->model);
  for (int p = 1; p <= o.nbasis; ++p) run->model.v[static_cast<std::size_t>(p)].fill(0.0f);
  full_model(run->params, run->model);
  prepare_evaluation(*run);
  return run;
}

// Gaussian moves with one or two r ranges: range i has half-width n_i points.
inline void use_gaussian_moves(Run& run, int n1, float rch1, int n2 = -1, float rch2 = 0.0f) {
  RunParameters& par = run.params;
  par.gaussian_moves = true;
  par.smoothing_on = true;
  par.smoothing_type = 3;
  par.nranges = n2 < 0 ? 1 : 2;
  par.ranges[0].rch = rch1;
  par.ranges[1].rch = rch2;
  const int half[3] = {0, n1, n2};
  for (int i = 1; i <= par.nranges; ++i) {
    const auto iu = static_cast<std::size_t>(i);
    run.model.gauss.ngauss[iu] = half[i];
    for (int m = 1; m <= 2 * half[i] + 1; ++m) {
      const float x = static_cast<float>(m - half[i] - 1) / static_cast<float>(half[i] + 1);
      run.model.gauss.shape[iu][static_cast<std::size_t>(m)] = std::exp(-2.0f * x * x);
    }
  }
  prepare_evaluation(run);  // the move rows follow the bumps
}

}  // namespace yosta::fit_test
