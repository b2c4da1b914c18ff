// Runs built by hand for the unit tests: the sizes, grids and switches a test
// needs, set in one chain, with everything else as a fresh run has it.
//
//   auto run = RunBuilder().basis(2).sets(1).q_grid(40, 0.25f, 0.25f).r_grid(30, 0.1f).build();
//
// model_run() builds on it a run ready to move: data sets made from a known
// pair of basis functions, the model started from zero, the evaluation
// prepared.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "fit/evaluation.h"
#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta::testing {

// A clock that never advances: the save check never saves on its own.
inline double never(const void*) { return 0.0; }

class RunBuilder {
 public:
  RunBuilder() : run_(make_run()) {
    run_->params.nbasis = 1;
    run_->params.density = 0.05f;
    run_->params.Mr = 2;
    run_->model.Z = -1.0f;
  }
  RunBuilder& basis(int nbasis) {
    run_->params.nbasis = nbasis;
    return *this;
  }
  // nsets fixed-coefficient data sets, each fitted over the whole Q grid.
  RunBuilder& sets(int nsets) {
    run_->params.nsets = nsets;
    run_->params.nsets_fixed = nsets;
    nsets_ = nsets;
    return *this;
  }
  // nq points Q_k = q1 + (k - 1) dq.
  RunBuilder& q_grid(int nq, float q1, float dq) {
    run_->model.q.nq = nq;
    for (int k = 1; k <= nq; ++k) run_->model.q.Q[index(k)] = q1 + static_cast<float>(k - 1) * dq;
    return *this;
  }
  // nq points Q_k = k dq (each a single product).
  RunBuilder& q_steps(int nq, float dq) {
    run_->model.q.nq = nq;
    for (int k = 1; k <= nq; ++k) run_->model.q.Q[index(k)] = static_cast<float>(k) * dq;
    return *this;
  }
  // nr points r_j = j dr.
  RunBuilder& r_grid(int nr, float dr) {
    run_->model.r.nr = nr;
    run_->model.r.dr = dr;
    return *this;
  }
  // nr points at the step the last Q gives with Mr 2: dr = 2 pi / (2 Q_nq).
  RunBuilder& r_grid_from_q(int nr) {
    return r_grid(nr, 6.283185f / (run_->model.q.Q[index(run_->model.q.nq)] * 2.0f));
  }
  RunBuilder& floor(float Z) {
    run_->model.Z = Z;
    return *this;
  }
  RunBuilder& density(float rho) {
    run_->params.density = rho;
    return *this;
  }
  // The root name of the result files (kept blank-padded to 80 characters, as
  // the parameter file gives it).
  RunBuilder& root(const std::string& path) {
    run_->params.root = path;
    run_->params.root.resize(80, ' ');
    run_->params.root_length = static_cast<std::int32_t>(path.size());
    return *this;
  }
  // A fit left to itself: moves of up to max_change, no progress line or
  // save by time (the clock never advances), a time limit far away.
  RunBuilder& quiet_fit(float max_change = 0.5f) {
    RunParameters& par = run_->params;
    par.max_change = max_change;
    par.report_interval = 1000000;
    par.plot_interval = 100;
    par.run_time = 1.0e6f;
    par.save_interval = 1.0e6f;
    run_->schedule.next_save_time = 1.0e6f;
    run_->control.clock.now = never;
    return *this;
  }
  std::unique_ptr<Run> build() {
    for (int s = 1; s <= nsets_; ++s) {
      DataSetSettings& st = run_->model.sets[index(s)].settings;
      st.q_first = 1;
      st.q_last = run_->model.q.nq;
      run_->params.sets[index(s - 1)] = st;
    }
    return std::move(run_);
  }

 private:
  static std::size_t index(int i) { return static_cast<std::size_t>(i); }
  std::unique_ptr<Run> run_;
  int nsets_ = 0;
};

// A run with only the r grid and basis values: r_j = j * dr.
inline std::unique_ptr<Run> r_grid_run(int nbasis, int nr, float dr, float Z = -1.0f) {
  return RunBuilder().basis(nbasis).r_grid(nr, dr).floor(Z).build();
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

// A run whose data sets were made from a known pair of basis functions, with
// the model started from zero. Corrections: none (beta = 1, no background
// terms). The clock never advances, so the save check never saves on its own.
inline std::unique_ptr<Run> model_run(const ModelOptions& o = {}) {
  auto run = RunBuilder()
                 .basis(o.nbasis)
                 .sets(o.nsets)
                 .q_grid(o.nq, 0.25f, 0.25f)
                 .r_grid_from_q(o.nr)
                 .quiet_fit(o.max_change)
                 .build();
  run->params.nsets_fixed = 0;
  check_q_grid(run->model);
  build_tables(run->params, run->model);

  for (int s = 1; s <= o.nsets; ++s) {
    DataSet& set = run->model.sets[static_cast<std::size_t>(s)];
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

}  // namespace yosta::testing
