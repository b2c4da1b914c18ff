// Two-set runs built by hand for the tests of the kept evaluation: every fit
// case, resolution on and off, flat and Q-dependent coefficients, single-point
// and Gaussian moves.
#pragma once

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fit/cycle.h"
#include "fit/fit_fixture.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta::fit_test {

inline std::size_t kept_index(int i) { return static_cast<std::size_t>(i); }

struct KeptConfig {
  const char* name;
  bool gaussian = false;
  bool resolution = false;
  bool varying_coef = false;  // coefficients that change with Q (as read per point)
  bool renormalise = false, rezero = false, linear = false, quadratic = false;
  int first = 1, last = 70;  // fitted range of set 1 (set 2 3..66 unless shared)
  // Set 2 fitted over set 1's range with weights equal up to a factor, so
  // that the two share their Gram blocks: 1, each set one constant error
  // (different ones); 2, the same errors varying with Q.
  int shared = 0;
  // Set 2 with the constant correction alone, whatever set 1 fits: sets of
  // different fit cases, which the refit takes set by set.
  bool mixed = false;
};

inline void PrintTo(const KeptConfig& s, std::ostream* os) { *os << s.name; }

// Two data sets made from known basis functions, scaled and shifted so that
// the corrections have something to fit, the model started from zero.
inline std::unique_ptr<Run> kept_run(const KeptConfig& o, EvaluationPath path = EvaluationPath::q_space) {
  constexpr int nq = 70, nr = 40, nbasis = 2, nsets = 2;
  auto run = testing::RunBuilder().basis(nbasis).sets(nsets).q_steps(nq, 0.25f).r_grid_from_q(nr).quiet_fit().build();
  RunParameters& par = run->params;
  par.nsets_fixed = 0;
  par.report_interval = 1000000000;
  par.plot_interval = 1000000000;
  par.resolution_on = o.resolution;
  check_q_grid(run->model);
  build_tables(run->params, run->model);
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run->model.sets[kept_index(s)];
    DataSetSettings& st = set.settings;
    st.q_first = s == 1 || o.shared > 0 ? o.first : 3;
    st.q_last = s == 1 || o.shared > 0 ? o.last : 66;
    st.renormalise = o.renormalise;
    st.rezero = o.rezero;
    st.linear_correction = o.linear;
    st.quadratic_correction = o.quadratic;
    if (o.mixed && s == 2) {
      st.renormalise = st.linear_correction = st.quadratic_correction = false;
      st.rezero = true;
    }
    st.wavelength = 0.5f;
    st.res_w = 4.0f;
    for (int k = 1; k <= nq; ++k) {
      set.err[kept_index(k)] = o.shared == 1 ? (s == 1 ? 0.02f : 0.035f) : 0.02f + 0.01f * static_cast<float>(k % 3);
      for (int p = 1; p <= nbasis; ++p) {
        const float wobble = o.varying_coef ? 0.1f * std::sin(0.3f * static_cast<float>(k + p)) : 0.0f;
        set.coef[kept_index(p)][kept_index(k)] = 1.0f / static_cast<float>(p + s) + wobble;
      }
    }
  }
  for (int p = 1; p <= nbasis; ++p) {
    for (int j = 1; j <= nr; ++j) {
      const float x = static_cast<float>(j - 8 - 3 * p);
      run->model.v[kept_index(p)][kept_index(j)] = 0.8f * std::exp(-0.1f * x * x);
    }
  }
  full_model(run->params, run->model);
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run->model.sets[kept_index(s)];
    for (int k = 1; k <= nq; ++k) {
      const float q = run->model.q.Q[kept_index(k)];
      set.F[kept_index(k)] =
          0.8f * set.F_calc[kept_index(k)] - 0.05f + 0.004f * q + 0.01f * std::sin(1.7f * static_cast<float>(k));
    }
  }
  prepare_data(run->params, run->model);
  for (int p = 1; p <= nbasis; ++p) run->model.v[kept_index(p)].fill(0.0f);
  full_model(run->params, run->model);
  setup_resolution(run->params, run->model);
  if (o.gaussian) use_gaussian_moves(*run, 3, 5.0f * run->model.r.dr, 2, 100.0f);
  prepare_evaluation(*run, path);
  return run;
}

// The evaluator a run chose (the test knows which).
inline QSpaceEvaluator& qspace(Run& run) { return std::get<QSpaceEvaluator>(run.kept.evaluator); }
inline RSpaceEvaluator& rspace(Run& run) { return std::get<RSpaceEvaluator>(run.kept.evaluator); }

struct Quiet {
  std::ostringstream out;
  std::istringstream in;
  Console console{out, in};
};

// Moves until the last one was accepted, so that the coefficients and chi2
// of every set describe the current model.
inline void walk(Run& run, Console& console, int moves) {
  for (int i = 0; i < moves; ++i) one_move(run, console);
  while (!one_move(run, console)) {
  }
}

// The setups the parameterised tests run on.
inline std::vector<KeptConfig> kept_configs() {
  using Config = KeptConfig;
  return {Config{"single_none"},
          Config{"single_zero", false, false, false, false, true},
          Config{"single_scale", false, false, false, true},
          Config{"single_scale_zero_linear", false, false, false, true, true, true, false, 5, 61},
          Config{"single_all_varying", false, false, true, true, true, true, true, 9, 64},
          Config{"single_zero_all_resolution", false, true, false, false, true, true, true, 4, 60},
          Config{"single_scale_zero_resolution_varying", false, true, true, true, true, false, false, 2, 67},
          Config{"gaussian_zero_linear", true, false, false, false, true, true, false},
          Config{"gaussian_scale_all_varying", true, false, true, true, true, true, true, 6, 63},
          Config{"gaussian_scale_zero_resolution", true, true, false, true, true, false, false, 5, 62},
          Config{"single_zero_linear_shared", false, false, false, false, true, true, false, 4, 66, 1},
          Config{"gaussian_scale_zero_shared", true, false, false, true, true, false, false, 2, 68, 2},
          Config{"single_mixed_cases", false, false, true, true, true, true, false, 3, 65, 0, true}};
}

}  // namespace yosta::fit_test
