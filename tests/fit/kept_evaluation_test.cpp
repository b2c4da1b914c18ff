// The evaluation the move cycle keeps between moves: its sums against a fresh
// recomputation after long walks, rejected moves leaving them untouched, the
// row paths against the point-by-point transform, and the vector versions of
// the passes against each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "fit/cycle.h"
#include "fit/fit_fixture.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

struct Config {
  const char* name;
  bool gaussian = false;
  bool resolution = false;
  bool varying_coef = false;  // coefficients that change with Q (as read per point)
  bool renormalise = false, rezero = false, linear = false, quadratic = false;
  int first = 1, last = 70;   // fitted range of set 1 (set 2 always 3..66)
};

void PrintTo(const Config& s, std::ostream* os) { *os << s.name; }

// Two data sets made from known basis functions, scaled and shifted so that
// the corrections have something to fit, the model started from zero.
std::unique_ptr<Run> kept_run(const Config& o) {
  constexpr int nq = 70, nr = 40, nbasis = 2, nsets = 2;
  auto run = make_run();
  RunParameters& par = run->params;
  par.nbasis = nbasis;
  par.nsets = nsets;
  par.density = 0.05f;
  par.Mr = 2;
  par.max_change = 0.5f;
  par.report_interval = 1000000000;
  par.plot_interval = 1000000000;
  par.run_time = 1.0e6f;
  par.save_interval = 1.0e6f;
  par.resolution_on = o.resolution;
  run->control.next_save_time = 1.0e6f;
  run->control.clock.now = fit_test::never;
  run->model.q.nq = nq;
  for (int k = 1; k <= nq; ++k) run->model.q.Q[u(k)] = 0.25f * static_cast<float>(k);
  run->model.r.dr = 6.283185f / (run->model.q.Q[u(nq)] * 2.0f);
  run->model.r.nr = nr;
  run->model.Z = -1.0f;
  check_q_grid(run->model);
  build_tables(run->params, run->model);
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run->model.sets[u(s)];
    DataSetSettings& st = set.settings;
    st.q_first = s == 1 ? o.first : 3;
    st.q_last = s == 1 ? o.last : 66;
    st.renormalise = o.renormalise;
    st.rezero = o.rezero;
    st.linear_correction = o.linear;
    st.quadratic_correction = o.quadratic;
    st.wavelength = 0.5f;
    st.res_w = 4.0f;
    for (int k = 1; k <= nq; ++k) {
      set.err[u(k)] = 0.02f + 0.01f * static_cast<float>(k % 3);
      for (int p = 1; p <= nbasis; ++p) {
        const float wobble = o.varying_coef ? 0.1f * std::sin(0.3f * static_cast<float>(k + p)) : 0.0f;
        set.coef[u(p)][u(k)] = 1.0f / static_cast<float>(p + s) + wobble;
      }
    }
  }
  for (int p = 1; p <= nbasis; ++p) {
    for (int j = 1; j <= nr; ++j) {
      const float x = static_cast<float>(j - 8 - 3 * p);
      run->model.v[u(p)][u(j)] = 0.8f * std::exp(-0.1f * x * x);
    }
  }
  full_model(run->params, run->model);
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run->model.sets[u(s)];
    for (int k = 1; k <= nq; ++k) {
      const float q = run->model.q.Q[u(k)];
      set.F[u(k)] = 0.8f * set.F_calc[u(k)] - 0.05f + 0.004f * q + 0.01f * std::sin(1.7f * static_cast<float>(k));
    }
  }
  prepare_data(run->params, run->model);
  for (int p = 1; p <= nbasis; ++p) run->model.v[u(p)].fill(0.0f);
  full_model(run->params, run->model);
  setup_resolution(run->params, run->model);
  if (o.gaussian) fit_test::use_gaussian_moves(*run, 3, 5.0f * run->model.r.dr, 2, 100.0f);
  prepare_evaluation(*run);  // the kept sums of the start, as set-up leaves them
  return run;
}

struct Quiet {
  std::ostringstream out;
  std::istringstream in;
  Console console{out, in};
};

// Moves until the last one was accepted, so that the coefficients and chi2
// of every set describe the current model.
void walk(Run& run, Console& console, int moves) {
  for (int i = 0; i < moves; ++i) one_move(run, console);
  while (!one_move(run, console)) {
  }
}

double close_to(double kept, double fresh, double scale) { return std::fabs(kept - fresh) / scale; }

class KeptEvaluation : public ::testing::TestWithParam<Config> {};

TEST_P(KeptEvaluation, SumsCoefficientsAndChiSquaredMatchAFreshRecomputation) {
  auto run = kept_run(GetParam());
  run->control.seed = 99;
  Quiet q;
  walk(*run, q.console, 3000);
  ASSERT_GT(run->control.accepted, 100);

  auto fresh = std::make_unique<yosta::Run>(*run);
  evaluate(fresh->params, fresh->model);
  for (int s = 1; s <= 2; ++s) {
    const KeptSums kept = run->kept.sets[u(s)].kept;
    const KeptSums again = recompute_kept_sums(*run, s);
    // The sums live at the size of the misfit: compare them on that scale.
    // Only those the set's corrections read are kept up to date.
    const FitCase c = run->model.sets[u(s)].fit_case;
    const bool scaled = c == FitCase::scale || c == FitCase::scale_zero || c == FitCase::scale_zero_linear ||
                        c == FitCase::scale_all;
    const bool zero = c != FitCase::none && c != FitCase::scale;
    const bool linear = c == FitCase::zero_linear || c == FitCase::zero_all || c == FitCase::scale_zero_linear ||
                        c == FitCase::scale_all;
    const bool quadratic = c == FitCase::zero_all || c == FitCase::scale_all;
    const double scale = std::sqrt(again.EE * run->kept.sets[u(s)].S[0]) + 1e-12;
    EXPECT_LE(close_to(kept.EE, again.EE, again.EE), 1e-5) << s;
    if (zero) {
      EXPECT_LE(close_to(kept.E0, again.E0, scale), 1e-5) << s;
    }
    if (scaled) {
      EXPECT_LE(close_to(kept.EF, again.EF, scale * 10.0), 1e-5) << s;
    }
    if (linear) {
      EXPECT_LE(close_to(kept.E1, again.E1, scale * 20.0), 1e-5) << s;
    }
    if (quadratic) {
      EXPECT_LE(close_to(kept.E2, again.E2, scale * 400.0), 1e-5) << s;
    }

    const DataSet& a = run->model.sets[u(s)];
    const DataSet& b = fresh->model.sets[u(s)];
    // The straightforward chi-squared forms each residual in single precision
    // from values a hundred times larger: it carries errors of order 1e-5.
    EXPECT_NEAR(a.chi2, b.chi2, 1e-4 * b.chi2) << s;
    EXPECT_NEAR(a.beta, b.beta, 1e-5) << s;
    EXPECT_NEAR(a.a0, b.a0, 1e-5) << s;
    EXPECT_NEAR(a.a1, b.a1, 1e-5) << s;
    EXPECT_NEAR(a.a2, b.a2, 1e-6) << s;

    const KeptSet& k = run->kept.sets[u(s)];
    for (int i = a.settings.q_first; i <= a.settings.q_last; ++i) {
      if (GetParam().resolution) {
        ASSERT_NEAR(k.M[u(k.current)][u(i)], b.M[u(i)], 1e-5f) << s << " " << i;
      } else {
        // Without resolution the copy is F_calc, bit for bit.
        ASSERT_EQ(k.M[0][u(i)], a.F_calc[u(i)]) << s << " " << i;
      }
    }
  }
}

TEST_P(KeptEvaluation, RejectedMovesLeaveTheKeptStateAsItWas) {
  auto run = kept_run(GetParam());
  run->control.seed = 7;
  Quiet q;
  walk(*run, q.console, 500);
  run->params.improved_only = true;
  run->control.E_cur = -1.0f;  // every cost is higher: every move is rejected
  run->kept.since_refresh = 0;  // no scheduled recomputation in between
  const KeptState before = run->kept;
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(one_move(*run, q.console));
  for (int s = 1; s <= 2; ++s) {
    const KeptSet& a = before.sets[u(s)];
    const KeptSet& b = run->kept.sets[u(s)];
    EXPECT_EQ(std::memcmp(&a.kept, &b.kept, sizeof a.kept), 0) << s;
    EXPECT_EQ(a.current, b.current) << s;
    if (GetParam().resolution) {
      EXPECT_EQ(std::memcmp(&a.M[u(a.current)], &b.M[u(b.current)], sizeof a.M[0]), 0) << s;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Setups, KeptEvaluation,
    ::testing::Values(Config{"single_none"}, Config{"single_zero", false, false, false, false, true},
                      Config{"single_scale", false, false, false, true},
                      Config{"single_scale_zero_linear", false, false, false, true, true, true, false, 5, 61},
                      Config{"single_all_varying", false, false, true, true, true, true, true, 9, 64},
                      Config{"single_zero_all_resolution", false, true, false, false, true, true, true, 4, 60},
                      Config{"single_scale_zero_resolution_varying", false, true, true, true, true, false, false, 2, 67},
                      Config{"gaussian_zero_linear", true, false, false, false, true, true, false},
                      Config{"gaussian_scale_all_varying", true, false, true, true, true, true, true, 6, 63},
                      Config{"gaussian_scale_zero_resolution", true, true, false, true, true, false, false, 5, 62}),
    [](const auto& info) { return std::string(info.param.name); });

// A single-point move changes F_calc by K(k, j) c d whether it reads the
// kernel row or goes point by point: the two walks are the same bit for bit.
TEST(MoveRows, SinglePointRowIsTheKernelBitForBit) {
  Config o{"rows"};
  o.rezero = true;
  auto a = kept_run(o);
  auto b = kept_run(o);
  a->control.seed = b->control.seed = 31;
  Quiet q;
  one_move(*a, q.console);
  one_move(*b, q.console);
  ASSERT_FALSE(a->kept.rows.empty());
  b->kept.rows.clear();  // b goes point by point from here on
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(one_move(*a, q.console), one_move(*b, q.console)) << i;
  for (int s = 1; s <= 2; ++s) {
    EXPECT_EQ(std::memcmp(a->model.sets[u(s)].F_calc.data(), b->model.sets[u(s)].F_calc.data(), sizeof(float) * (70 + 1)), 0);
  }
  EXPECT_EQ(a->control.E_cur, b->control.E_cur);
}

// A whole Gaussian bump read from the smoothed-kernel row gives the change
// of the point-by-point sum within rounding.
TEST(MoveRows, WholeBumpRowMatchesThePointByPointSum) {
  Config o{"bump"};
  o.gaussian = true;
  o.renormalise = o.rezero = true;
  auto run = kept_run(o);
  Quiet q;
  one_move(*run, q.console);  // builds the rows
  const float shape_peak = run->model.gauss.shape[2][3];
  ASSERT_EQ(shape_peak, 1.0f);
  for (int j = 12; j <= 30; j += 6) {  // range 2 (half-width 2): whole bumps
    float d[5];
    for (int m = 0; m < 5; ++m) d[m] = run->model.gauss.shape[2][u(m + 1)] * 0.37f;
    auto row_path = std::make_unique<yosta::Run>(*run);
    auto point_path = std::make_unique<yosta::Run>(*run);
    TrialChange t;
    t.p = 2;
    t.first = j - 2;
    t.d = d;
    t.count = 5;
    t.changed = true;
    t.row = j;
    t.amplitude = 0.37f;
    const double chi2_row = evaluate_trial(*row_path, t);
    keep_trial(*row_path);
    t.row = 0;
    const double chi2_points = evaluate_trial(*point_path, t);
    keep_trial(*point_path);
    EXPECT_NEAR(chi2_row, chi2_points, 1e-5 * chi2_points) << j;
    for (int s = 1; s <= 2; ++s) {
      for (int k = 1; k <= 70; ++k) {
        const float x = row_path->model.sets[u(s)].F_calc[u(k)], y = point_path->model.sets[u(s)].F_calc[u(k)];
        ASSERT_NEAR(x, y, 2e-6f * (1.0f + std::fabs(y))) << j << " " << s << " " << k;
      }
    }
  }
}

// The baseline, AVX2 and AVX-512 versions of the passes give the same bits:
// the same walk, the same model, the same cost.
TEST(VectorVersions, SameWalkOnEveryInstructionSet) {
  Config o{"isa"};
  o.gaussian = true;
  o.resolution = true;
  o.varying_coef = true;
  o.renormalise = o.rezero = o.linear = true;
  Config p{"isa_single"};
  p.rezero = p.linear = p.quadratic = true;
  p.first = 7;
  for (const Config& setup : {o, p}) {
    std::unique_ptr<yosta::Run> first;
    const int best = force_vector_path(-1);
    for (int isa = 0; isa <= best; ++isa) {
      ASSERT_EQ(force_vector_path(isa), isa);
      auto run = kept_run(setup);
      run->control.seed = 2718;
      Quiet q;
      for (int i = 0; i < 3000; ++i) one_move(*run, q.console);
      if (!first) {
        first = std::move(run);
        continue;
      }
      EXPECT_EQ(run->control.seed, first->control.seed) << setup.name << " " << isa;
      EXPECT_EQ(run->control.E_cur, first->control.E_cur) << setup.name << " " << isa;
      EXPECT_EQ(std::memcmp(run->model.v.data(), first->model.v.data(), sizeof run->model.v), 0) << setup.name << " " << isa;
      for (int s = 1; s <= 2; ++s) {
        EXPECT_EQ(std::memcmp(run->model.sets[u(s)].F_calc.data(), first->model.sets[u(s)].F_calc.data(), sizeof(float) * 71), 0)
            << setup.name << " " << isa;
        EXPECT_EQ(run->model.sets[u(s)].chi2, first->model.sets[u(s)].chi2) << setup.name << " " << isa;
      }
    }
    force_vector_path(-1);
  }
}

// A model rebuilt from the basis values (as a reset does) is taken up by the
// next move: its evaluation is that of the rebuilt model.
TEST(KeptState, RebuiltModelIsTakenUp) {
  Config o{"rebuilt"};
  o.rezero = o.linear = true;
  auto run = kept_run(o);
  Quiet q;
  walk(*run, q.console, 400);
  for (int p = 1; p <= 2; ++p) run->model.v[u(p)].fill(0.0f);
  full_model(run->params, run->model);
  run->params.max_change = 0.0f;  // the next move changes nothing
  run->control.E_cur = 1.0e30f;
  ASSERT_TRUE(one_move(*run, q.console));
  auto fresh = std::make_unique<yosta::Run>(*run);
  evaluate(fresh->params, fresh->model);
  for (int s = 1; s <= 2; ++s) EXPECT_NEAR(run->model.sets[u(s)].chi2, fresh->model.sets[u(s)].chi2, 1e-6 * fresh->model.sets[u(s)].chi2);
}

}  // namespace
}  // namespace yosta
