// The r-space evaluation of trial moves: after long walks its kept sums, its
// D and the corrections and chi-squared it gives agree with a recomputation
// from the basis values; it makes the same acceptance decisions as the
// Q-space passes on a seeded walk; and it gives way to them when its tables
// would not fit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "fit/cycle.h"
#include "fit/fit_fixture.h"
#include "fit/kept_run.h"
#include "model/constraints.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

using fit_test::KeptConfig;
using fit_test::ModelOptions;

class RSpaceEvaluation : public ::testing::TestWithParam<KeptConfig> {};

TEST_P(RSpaceEvaluation, KeptStateMatchesTheBasisValuesAfterALongWalk) {
  auto run = fit_test::kept_run(GetParam(), EvaluationPath::best);
  ASSERT_TRUE(rspace_in_use(*run));
  run->control.seed = 99;
  fit_test::Quiet q;
  fit_test::walk(*run, q.console, 4000);
  ASSERT_GT(run->control.accepted, 100);

  // F_calc from the basis values, as a display or a save sees it.
  sync_model(*run);
  auto literal = std::make_unique<yosta::Run>(*run);
  full_model(literal->params, literal->model);
  for (int s = 1; s <= 2; ++s) {
    for (int k = 1; k <= literal->model.q.nq; ++k)
      ASSERT_EQ(run->model.sets[u(s)].F_calc[u(k)], literal->model.sets[u(s)].F_calc[u(k)]) << s << " " << k;
  }
  // The kept D against D formed afresh (on the scale of the largest |D|).
  // Formed afresh, D carries the rounding of F_calc in single precision, and
  // kept, the rounding of the bump shapes applied to the basis values in
  // single precision: the two differ by some 1e-5 after thousands of moves.
  auto fresh = std::make_unique<yosta::Run>(*run);
  model_rebuilt(*fresh);
  for (int s = 1; s <= 2; ++s) {
    const std::vector<double> kept = fit_test::rspace(*run).D_values(u(s));
    const std::vector<double> again = fit_test::rspace(*fresh).D_values(u(s));
    ASSERT_EQ(kept.size(), again.size());
    double scale = 1e-12;
    for (double x : again) scale = std::max(scale, std::fabs(x));
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_NEAR(kept[i], again[i], 5e-5 * scale) << s << " " << i;
    const KeptSums a = run->kept.sets[u(s)].kept, b = recompute_kept_sums(*run, s);
    EXPECT_NEAR(a.EE, b.EE, 1e-5 * b.EE) << s;
  }
  // Corrections and chi-squared of the last (accepted) move against the
  // straightforward evaluation of the synced model.
  evaluate(literal->params, literal->model);
  for (int s = 1; s <= 2; ++s) {
    const DataSet& a = run->model.sets[u(s)];
    const DataSet& b = literal->model.sets[u(s)];
    EXPECT_NEAR(a.chi2, b.chi2, 1e-4 * b.chi2) << s;
    EXPECT_NEAR(a.beta, b.beta, 1e-5) << s;
    EXPECT_NEAR(a.a0, b.a0, 1e-5) << s;
    EXPECT_NEAR(a.a1, b.a1, 1e-5) << s;
    EXPECT_NEAR(a.a2, b.a2, 1e-6) << s;
    if (GetParam().resolution) {
      for (int k = a.settings.q_first; k <= a.settings.q_last; ++k) ASSERT_EQ(a.M[u(k)], b.M[u(k)]) << s << " " << k;
    }
  }
}

// The cost of the move just made: the new cost when accepted, otherwise the
// cost of the rejected trial (whose chi-squared the data sets keep until the
// next evaluation).
float cost_of_move(const yosta::Run& run, bool accepted) {
  if (accepted) return run.control.E_cur;
  double chi2 = 0.0;
  for (int s = 1; s <= run.params.nsets; ++s) chi2 += static_cast<double>(run.model.sets[u(s)].chi2);
  return static_cast<float>(chi2 + static_cast<double>(run.model.S) + static_cast<double>(run.model.P));
}

// The r-space and Q-space evaluations form the same chi-squared in different
// orders (and the Q-space one from single-precision model values), so their
// costs differ in the last bits, and a decision can differ only when the
// threshold lies between the two costs of a move: a tie (a move whose cost
// change is a unit in the last place of the cost decides between accepting
// at once and drawing a number). Every other decision is the same, and the
// costs stay within the rounding of the Q-space sums (chi-squared there is
// the difference of sums of single-precision terms: some 1e-5 of a small
// chi-squared). After a tie the Q-space walk starts again from the r-space
// one; ties are rare (on these walks at most one in 3000 moves).
TEST_P(RSpaceEvaluation, AcceptsTheSameMovesAsTheQSpacePasses) {
  auto r = fit_test::kept_run(GetParam(), EvaluationPath::best);
  auto q = fit_test::kept_run(GetParam(), EvaluationPath::q_space);
  ASSERT_TRUE(rspace_in_use(*r));
  ASSERT_FALSE(rspace_in_use(*q));
  r->control.seed = q->control.seed = 4242;
  fit_test::Quiet quiet;
  int accepted = 0, ties = 0;
  for (int i = 0; i < 3000; ++i) {
    const float before_r = r->control.E_cur, before_q = q->control.E_cur;
    const bool a = one_move(*r, quiet.console);
    const bool b = one_move(*q, quiet.console);
    const float tolerance = 1e-4f * std::fabs(before_q) + 1e-3f;
    if (a != b || r->control.seed != q->control.seed) {
      const float D_r = (before_r - cost_of_move(*r, a)) * 0.5f;
      const float D_q = (before_q - cost_of_move(*q, b)) * 0.5f;
      ASSERT_NEAR(D_r, D_q, 0.5f * tolerance) << "move " << i << ": a decision apart from a tie";
      ++ties;
      sync_model(*r);
      q = std::make_unique<yosta::Run>(*r);
      prepare_evaluation(*q, EvaluationPath::q_space);
      continue;
    }
    accepted += a ? 1 : 0;
    ASSERT_NEAR(r->control.E_cur, q->control.E_cur, tolerance) << "move " << i;
  }
  EXPECT_GT(accepted, 100);
  EXPECT_LE(ties, 1);
  EXPECT_EQ(r->control.seed, q->control.seed);
}

INSTANTIATE_TEST_SUITE_P(Setups, RSpaceEvaluation, ::testing::ValuesIn(fit_test::kept_configs()),
                         [](const auto& info) { return std::string(info.param.name); });

// A seeded walk is the same every time, also across a scheduled refresh of
// D and the sums and with syncs of F_calc in between (which must not change
// the walk).
TEST(RSpaceState, SyncsDoNotChangeTheWalk) {
  KeptConfig o{"sync"};
  o.gaussian = true;
  o.rezero = o.linear = true;
  auto a = fit_test::kept_run(o, EvaluationPath::best);
  auto b = fit_test::kept_run(o, EvaluationPath::best);
  a->control.seed = b->control.seed = 17;
  fit_test::Quiet q;
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(one_move(*a, q.console), one_move(*b, q.console)) << i;
    if (i % 7 == 0) sync_model(*b);
  }
  EXPECT_EQ(a->control.E_cur, b->control.E_cur);
  EXPECT_EQ(fit_test::rspace(*a).D_values(1), fit_test::rspace(*b).D_values(1));
}

// Masks, positivity and the ends of the grid cut Gaussian bumps, which go
// point by point through the tables; coordination penalties ride along. The
// kept evaluation still matches the basis values after a long walk.
TEST(RSpaceState, CutBumpsMatchTheBasisValues) {
  ModelOptions o;
  o.nsets = 2;
  auto run = fit_test::model_run(o);
  RunParameters& par = run->params;
  const float dr = run->model.r.dr;
  fit_test::use_gaussian_moves(*run, 3, 100.0f);
  par.zero.push_back({1, 0.0f, 4.0f * dr});
  par.positivity.push_back({1, 0.0f, 100.0f});
  par.coordination.push_back({1, 5.0f * dr, 15.0f * dr, 0.5f, 1.0f, 4.0f, 0.5f});
  enforce_zero_and_positivity(run->params, run->model);
  coordination_full(run->params, run->model);
  full_model(run->params, run->model);
  prepare_evaluation(*run, EvaluationPath::best);
  ASSERT_TRUE(rspace_in_use(*run));
  run->control.seed = 2024;
  fit_test::Quiet q;
  fit_test::walk(*run, q.console, 5000);
  sync_model(*run);
  auto literal = std::make_unique<yosta::Run>(*run);
  evaluate(literal->params, literal->model);
  for (int s = 1; s <= 2; ++s) {
    const DataSet& a = run->model.sets[u(s)];
    const DataSet& b = literal->model.sets[u(s)];
    EXPECT_NEAR(a.chi2, b.chi2, 1e-4 * b.chi2) << s;
    EXPECT_NEAR(a.beta, b.beta, 1e-5) << s;
    EXPECT_NEAR(a.a0, b.a0, 1e-5) << s;
  }
}

// The scheduled recomputation replaces D and the sums by those of the basis
// values and leaves F_calc current; the walk goes on from them.
TEST(RSpaceState, ScheduledRefreshStartsFromTheBasisValues) {
  KeptConfig o{"refresh"};
  o.resolution = true;
  o.rezero = o.linear = true;
  auto run = fit_test::kept_run(o, EvaluationPath::best);
  fit_test::Quiet q;
  fit_test::walk(*run, q.console, 1000);
  fit_test::rspace(*run).since_refresh = rspace_refresh_interval;
  run->params.max_change = 0.0f;  // the next move changes nothing
  one_move(*run, q.console);
  EXPECT_EQ(fit_test::rspace(*run).since_refresh, 1);
  EXPECT_FALSE(fit_test::rspace(*run).stale);
  auto literal = std::make_unique<yosta::Run>(*run);
  full_model(literal->params, literal->model);
  for (int s = 1; s <= 2; ++s) {
    for (int k = 1; k <= run->model.q.nq; ++k)
      ASSERT_EQ(run->model.sets[u(s)].F_calc[u(k)], literal->model.sets[u(s)].F_calc[u(k)]) << s << " " << k;
    auto fresh = std::make_unique<yosta::Run>(*run);
    model_rebuilt(*fresh);
    EXPECT_EQ(fit_test::rspace(*run).D_values(u(s)), fit_test::rspace(*fresh).D_values(u(s))) << s;
    EXPECT_EQ(run->kept.sets[u(s)].kept.EE, fresh->kept.sets[u(s)].kept.EE) << s;
  }
}

// A real single-point move on the move of the scheduled recomputation, kept
// or taken back: the recomputation must see the basis values without the
// trial change, which the trial then adds once. (Formed from values that
// already held the change, the kept sums of an accepted move count it twice:
// chi-squared off by some percent until the next recomputation.)
TEST(RSpaceState, ARefreshOnASinglePointMoveCountsItsChangeOnce) {
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept ? "accepted" : "rejected");
    KeptConfig o{"refresh-move"};
    o.rezero = o.linear = true;
    auto run = fit_test::kept_run(o, EvaluationPath::best);
    fit_test::Quiet q;
    fit_test::walk(*run, q.console, 1000);
    fit_test::rspace(*run).since_refresh = rspace_refresh_interval;
    run->params.improved_only = !accept;
    run->control.E_cur = accept ? 1.0e30f : -1.0f;
    ASSERT_EQ(one_move(*run, q.console), accept);
    ASSERT_EQ(fit_test::rspace(*run).since_refresh, 1);
    ASSERT_NE(run->kept.trial.amplitude, 0.0f);
    sync_model(*run);
    for (int s = 1; s <= 2; ++s) {
      const KeptSums a = run->kept.sets[u(s)].kept, b = recompute_kept_sums(*run, s);
      EXPECT_NEAR(a.EE, b.EE, 1e-5 * b.EE) << s;
      EXPECT_NEAR(a.E0, b.E0, 1e-5 * std::fabs(b.E0)) << s;
    }
  }
}

// A rejected move leaves the tables' D and the kept sums as they were.
TEST(RSpaceState, RejectedMovesChangeNothing) {
  KeptConfig o{"reject"};
  o.gaussian = true;
  o.resolution = true;
  o.renormalise = o.rezero = true;
  auto run = fit_test::kept_run(o, EvaluationPath::best);
  fit_test::Quiet q;
  fit_test::walk(*run, q.console, 300);
  run->params.improved_only = true;
  run->control.E_cur = -1.0f;  // every cost is higher: every move is rejected
  const std::vector<double> D = fit_test::rspace(*run).D_values(2);
  const KeptSums kept = run->kept.sets[2].kept;
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(one_move(*run, q.console));
  EXPECT_EQ(fit_test::rspace(*run).D_values(2), D);
  EXPECT_EQ(run->kept.sets[2].kept.EE, kept.EE);
  EXPECT_EQ(run->kept.sets[2].kept.E0, kept.E0);
}

// Sets with one row family, no resolution, the same fitted range and
// weights equal up to a factor share their Gram blocks and the rows accepted
// moves add; any difference keeps them apart. (The walks of shared groups
// are among the setups above.)
TEST(RSpaceState, SetsWithTheSameWeightsShareTheirRows) {
  struct Expect {
    fit_test::KeptConfig config;
    std::size_t groups;
    double scale1, scale2;  // the sets' factors (1/var where it is one value)
  };
  auto shared = [](fit_test::KeptConfig o, int kind) {
    o.shared = kind;
    return o;
  };
  fit_test::KeptConfig plain{"plain"};
  fit_test::KeptConfig varying = plain;
  varying.varying_coef = true;
  fit_test::KeptConfig resolution = plain;
  resolution.resolution = true;
  const double w1 = 1.0 / (0.02 * 0.02), w2 = 1.0 / (0.035 * 0.035);
  for (const Expect& e :
       {Expect{plain, 2, 1.0, 1.0}, Expect{shared(plain, 1), 1, w1, w2}, Expect{shared(plain, 2), 1, 1.0, 1.0},
        Expect{shared(varying, 1), 2, 1.0, 1.0}, Expect{shared(resolution, 1), 2, 1.0, 1.0}}) {
    auto run = fit_test::kept_run(e.config, EvaluationPath::best);
    const RSpaceEvaluator& r = fit_test::rspace(*run);
    const std::string which = std::to_string(e.config.shared) + (e.config.varying_coef ? " varying" : "") +
                              (e.config.resolution ? " resolution" : "");
    ASSERT_EQ(r.groups.size(), e.groups) << which;
    EXPECT_NEAR(r.sets[1].scale, e.scale1, 1e-6 * e.scale1) << which;
    EXPECT_NEAR(r.sets[2].scale, e.scale2, 1e-6 * e.scale2) << which;
    EXPECT_EQ(r.groups[0].channels, e.groups == 1 ? run->params.nbasis : 1) << which;
    EXPECT_EQ(r.bytes, rspace_bytes(*run)) << which;
  }
}

// Tables over the cap: the run keeps to the Q-space passes; with resolution
// the memory of the tables is what the dense layout needs (one Gram block of
// nr x nr floats per set and pair of row families, twice with Gaussian
// moves).
TEST(RSpaceState, GivesWayAboveTheMemoryCap) {
  KeptConfig o{"cap"};
  o.varying_coef = true;
  o.resolution = true;
  auto run = fit_test::kept_run(o, EvaluationPath::q_space);
  const int nr = run->model.r.nr;
  const std::size_t gram = static_cast<std::size_t>(nr) * static_cast<std::size_t>(nr) * sizeof(float);
  EXPECT_GE(rspace_bytes(*run), 2 * 4 * gram);  // two sets, 2 x 2 blocks each
  EXPECT_FALSE(rspace_fits(*run, rspace_bytes(*run) - 1));
  EXPECT_TRUE(rspace_fits(*run, rspace_bytes(*run)));
  prepare_evaluation(*run, EvaluationPath::best);
  ASSERT_TRUE(rspace_in_use(*run));
  EXPECT_EQ(fit_test::rspace(*run).bytes, rspace_bytes(*run));
}

// Without resolution the tables grow with the number of r points, not its
// square: for a grid of 4000 points all of them take less than one dense
// block, with Gaussian moves too; and the sets keep the T layout when built.
TEST(RSpaceState, TablesWithoutResolutionGrowWithTheRPoints) {
  for (bool gaussian : {false, true}) {
    KeptConfig o{"linear"};
    o.varying_coef = true;
    o.gaussian = gaussian;
    auto run = fit_test::kept_run(o, EvaluationPath::best);
    ASSERT_TRUE(rspace_in_use(*run));
    for (int s = 1; s <= 2; ++s) EXPECT_TRUE(fit_test::rspace(*run).gram(s).toeplitz());
    EXPECT_EQ(fit_test::rspace(*run).bytes, rspace_bytes(*run));
    run->model.r.nr = 4000;
    EXPECT_LT(rspace_bytes(*run), std::size_t{4000} * 4000 * sizeof(float)) << gaussian;
  }
}

}  // namespace
}  // namespace yosta
