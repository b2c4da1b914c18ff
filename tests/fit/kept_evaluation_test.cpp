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
#include "fit/kept_run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

using Config = fit_test::KeptConfig;
using fit_test::kept_run;
using fit_test::walk;
using Quiet = fit_test::Quiet;

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
    const bool scaled =
        c == FitCase::scale || c == FitCase::scale_zero || c == FitCase::scale_zero_linear || c == FitCase::scale_all;
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

    const QSpaceSet& k = fit_test::qspace(*run).sets[u(s)];
    for (int i = a.settings.q_first; i <= a.settings.q_last; ++i) {
      if (GetParam().resolution) {
        ASSERT_NEAR(k.M[u(k.current)][u(i)], b.M[u(i)], 1e-5f) << s << " " << i;
      } else {
        // Without resolution the copy is F_calc, bit for bit.
        ASSERT_EQ(k.M[0][u(i)], a.F_calc[u(i)]) << s << " " << i;
      }
    }
  }
  // The cost the cycle holds is every set's chi-squared plus the penalties.
  const double cost = static_cast<double>(fresh->model.sets[1].chi2) + static_cast<double>(fresh->model.sets[2].chi2) +
                      static_cast<double>(run->model.S) + static_cast<double>(run->model.P);
  EXPECT_NEAR(run->control.E_cur, cost, 1e-4 * cost);
}

TEST_P(KeptEvaluation, RejectedMovesLeaveTheKeptStateAsItWas) {
  auto run = kept_run(GetParam());
  run->control.seed = 7;
  Quiet q;
  walk(*run, q.console, 500);
  run->params.improved_only = true;
  run->control.E_cur = -1.0f;                // every cost is higher: every move is rejected
  fit_test::qspace(*run).since_refresh = 0;  // no scheduled recomputation in between
  const EvaluationState before = run->kept;
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(one_move(*run, q.console));
  for (int s = 1; s <= 2; ++s) {
    const KeptSums& kept_before = before.sets[u(s)].kept;
    const KeptSums& kept_after = run->kept.sets[u(s)].kept;
    EXPECT_EQ(std::memcmp(&kept_before, &kept_after, sizeof kept_before), 0) << s;
    const QSpaceSet& a = std::get<QSpaceEvaluator>(before.evaluator).sets[u(s)];
    const QSpaceSet& b = fit_test::qspace(*run).sets[u(s)];
    EXPECT_EQ(a.current, b.current) << s;
    if (GetParam().resolution) {
      EXPECT_EQ(std::memcmp(&a.M[u(a.current)], &b.M[u(b.current)], sizeof a.M[0]), 0) << s;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Setups, KeptEvaluation, ::testing::ValuesIn(fit_test::kept_configs()),
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
  ASSERT_FALSE(fit_test::qspace(*a).rows.empty());
  fit_test::qspace(*b).rows.clear();  // b goes point by point from here on
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(one_move(*a, q.console), one_move(*b, q.console)) << i;
  for (int s = 1; s <= 2; ++s) {
    EXPECT_EQ(
        std::memcmp(a->model.sets[u(s)].F_calc.data(), b->model.sets[u(s)].F_calc.data(), sizeof(float) * (70 + 1)), 0);
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

// The baseline, AVX2 and AVX-512 versions of the passes and of the r-space
// row update give the same bits: the same walk, the same model, the same cost.
TEST(VectorVersions, SameWalkOnEveryInstructionSet) {
  Config o{"isa"};
  o.gaussian = true;
  o.resolution = true;
  o.varying_coef = true;
  o.renormalise = o.rezero = o.linear = true;
  Config p{"isa_single"};
  p.rezero = p.linear = p.quadratic = true;
  p.first = 7;
  // Both evaluations: the Q-space passes, and the r-space tables whose row
  // update has a version per instruction set too.
  for (const EvaluationPath path : {EvaluationPath::q_space, EvaluationPath::best})
    for (const Config& setup : {o, p}) {
      std::unique_ptr<yosta::Run> first;
      const int best = force_vector_path(-1);
      for (int isa = 0; isa <= best; ++isa) {
        ASSERT_EQ(force_vector_path(isa), isa);
        auto run = kept_run(setup, path);
        if (path == EvaluationPath::best) {
          ASSERT_TRUE(rspace_in_use(*run)) << setup.name;
        }
        run->control.seed = 2718;
        Quiet q;
        for (int i = 0; i < 3000; ++i) one_move(*run, q.console);
        if (!first) {
          first = std::move(run);
          continue;
        }
        EXPECT_EQ(run->control.seed, first->control.seed) << setup.name << " " << isa;
        EXPECT_EQ(run->control.E_cur, first->control.E_cur) << setup.name << " " << isa;
        EXPECT_EQ(std::memcmp(run->model.v.data(), first->model.v.data(), sizeof run->model.v), 0)
            << setup.name << " " << isa;
        for (int s = 1; s <= 2; ++s) {
          EXPECT_EQ(std::memcmp(run->model.sets[u(s)].F_calc.data(), first->model.sets[u(s)].F_calc.data(),
                                sizeof(float) * 71),
                    0)
              << setup.name << " " << isa;
          EXPECT_EQ(run->model.sets[u(s)].chi2, first->model.sets[u(s)].chi2) << setup.name << " " << isa;
        }
      }
      force_vector_path(-1);
    }
}

// A model rebuilt from the basis values (as a reset does) and announced by
// model_rebuilt is taken up by the next move: its evaluation is that of the
// rebuilt model.
TEST(KeptState, RebuiltModelIsTakenUp) {
  Config o{"rebuilt"};
  o.rezero = o.linear = true;
  auto run = kept_run(o);
  Quiet q;
  walk(*run, q.console, 400);
  for (int p = 1; p <= 2; ++p) run->model.v[u(p)].fill(0.0f);
  full_model(run->params, run->model);
  model_rebuilt(*run);
  run->params.max_change = 0.0f;  // the next move changes nothing
  run->control.E_cur = 1.0e30f;
  ASSERT_TRUE(one_move(*run, q.console));
  auto fresh = std::make_unique<yosta::Run>(*run);
  evaluate(fresh->params, fresh->model);
  for (int s = 1; s <= 2; ++s)
    EXPECT_NEAR(run->model.sets[u(s)].chi2, fresh->model.sets[u(s)].chi2, 1e-6 * fresh->model.sets[u(s)].chi2);
}

}  // namespace
}  // namespace yosta
