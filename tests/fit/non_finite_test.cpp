// A chi-squared that is not a finite number stays one: it must never pass for
// a perfect fit, and a move whose cost is not a number is never accepted.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>

#include "fit/cycle.h"
#include "fit/evaluation.h"
#include "fit/fit_fixture.h"
#include "fit/health.h"
#include "base/stop.h"

namespace yosta {
namespace {

TEST(NonFiniteCost, NaNChiSquaredIsNeitherZeroNorAccepted) {
  auto run = fit_test::model_run();
  prepare_evaluation(*run);
  const float d[1] = {0.25f};
  TrialChange t;
  t.p = 1;
  t.first = 10;
  t.d = d;
  t.count = 1;
  t.changed = true;
  t.row = 10;
  t.amplitude = 0.25f;

  const double finite = evaluate_trial(*run, t);
  undo_trial(*run);
  ASSERT_TRUE(std::isfinite(finite));
  ASSERT_GT(finite, 0.0);

  // A non-finite kept sum (as overflow would give) reaches the value. (A
  // fixed sum of a correction the set does not fit, such as FF without
  // renormalising, does not enter chi-squared at all.)
  run->kept.sets[1].kept.EE = std::numeric_limits<double>::quiet_NaN();
  const double chi2 = evaluate_trial(*run, t);
  undo_trial(*run);
  EXPECT_TRUE(std::isnan(chi2)) << chi2;

  // The walk then accepts nothing: a NaN cost is not better than any other.
  run->control.E_cur = 1.0e30f;
  std::ostringstream out;
  std::istringstream in;
  Console console(out, in);
  const std::int32_t accepted = run->control.accepted;
  for (int i = 0; i < 50; ++i) one_move(*run, console);
  EXPECT_EQ(run->control.accepted, accepted);
}

// Every value a run decides by or saves, made non-finite in turn: the check
// that covers it names it, the cheap check of the cost finds only the values
// the walk decides by, and a finite run passes both.
TEST(NonFiniteState, EachValueIsFoundAndNamed) {
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  constexpr float inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* what;
    void (*plant)(yosta::Run& run);
    bool in_cost;  // found by non_finite_cost too
    const char* named;
  } cases[] = {
      {"chi-squared", [](yosta::Run& r) { r.model.sets[2].chi2 = inf; }, true,
       "Data set 2 (set2.dat): its chi-squared"},
      {"kept sum", [](yosta::Run& r) { r.kept.sets[1].kept.E0 = static_cast<double>(nan); }, true,
       "Data set 1 (set1.dat): a sum of its misfit"},
      {"coordination number",
       [](yosta::Run& r) {
         r.params.coordination.resize(1);
         r.params.coordination[0].partial = 2;
         r.model.Nc[1] = nan;
       },
       true, "Coordination constraint 1 (partial 2): its coordination number"},
      {"coordination penalty", [](yosta::Run& r) { r.model.P = inf; }, true, "The coordination penalty"},
      {"smoothing penalty", [](yosta::Run& r) { r.model.S = -inf; }, true, "The smoothing penalty"},
      {"cost", [](yosta::Run& r) { r.control.E_cur = nan; }, true, "The cost of the current model"},
      {"basis value", [](yosta::Run& r) { r.model.v[2][7] = inf; }, false, "Basis function 2 at r = "},
      {"model F(Q)", [](yosta::Run& r) { r.model.sets[1].F_calc[r.model.q.nq] = nan; }, false,
       "Data set 1 (set1.dat): its model F(Q) at Q = 10"},
      {"broadened model",
       [](yosta::Run& r) {
         r.params.resolution_on = true;
         r.model.sets[2].M[3] = inf;
       },
       false, "Data set 2 (set2.dat): its broadened model F(Q) at Q = 0.75"},
      {"correction", [](yosta::Run& r) { r.model.sets[1].a1 = nan; }, false,
       "Data set 1 (set1.dat): a fitted correction"},
      {"saved-set sums",
       [](yosta::Run& r) {
         r.params.save_targets = true;
         r.sums.S2[1][r.model.r.nr] = inf;
       },
       false, "The sum of the saved sets of basis function 1 at r = "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fit_test::ModelOptions o;
    o.nsets = 2;
    auto run = fit_test::model_run(o);
    for (int s = 1; s <= 2; ++s)
      run->model.sets[static_cast<std::size_t>(s)].settings.data_file =
          "set" + std::to_string(s) + ".dat" + std::string(72, ' ');
    ASSERT_EQ(non_finite_state(*run), "");
    c.plant(*run);
    const std::string found = non_finite_state(*run);
    EXPECT_EQ(found.rfind(c.named, 0), 0u) << found;
    EXPECT_NE(found.find(" is not a finite number ("), std::string::npos) << found;
    EXPECT_EQ(non_finite_cost(*run).empty(), !c.in_cost) << non_finite_cost(*run);
  }
}

// A run that is no longer finite stops: at set-up (no move made) with the
// status set-up errors have, after moves with the status given, the line
// saying which; the cheap check leaves a bad basis value to the whole one.
TEST(NonFiniteState, StopSaysWhenAndCarriesTheStatus) {
  auto run = fit_test::model_run();
  EXPECT_NO_THROW(stop_unless_finite(*run, true, 1));
  run->model.S = std::numeric_limits<float>::infinity();
  try {
    stop_unless_finite(*run, false, 1);
    ADD_FAILURE() << "no stop";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    ASSERT_EQ(stop.lines.size(), 1u);
    EXPECT_EQ(stop.lines[0],
              "The smoothing penalty is not a finite number (inf) before the first move of this run; check "
              "smoothing_weight and smoothing_exponent (record 18)");
  }
  run->model.S = 0.0f;
  run->model.v[1][3] = std::numeric_limits<float>::quiet_NaN();
  run->control.moves_made = 300;
  run->control.generated = 4321;
  EXPECT_NO_THROW(stop_unless_finite(*run, false, failed_after_start_status));
  try {
    stop_unless_finite(*run, true, failed_after_start_status);
    ADD_FAILURE() << "no stop";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, failed_after_start_status);
    EXPECT_NE(std::string(stop.what()).find(" at move 4321; check max_change (record 9)"), std::string::npos)
        << stop.what();
  }
}

// The walk decides on the cost of a trial: a trial whose cost is not a
// number, or is infinite, is never taken, whatever the acceptance rule.
TEST(NonFiniteCost, NoNonFiniteTrialIsAccepted) {
  for (const bool improved_only : {false, true}) {
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      SCOPED_TRACE(std::to_string(improved_only) + " " + std::to_string(bad));
      auto run = fit_test::model_run();
      run->params.improved_only = improved_only;
      run->kept.sets[1].kept.EE = bad;
      run->control.E_cur = 1.0e30f;
      std::ostringstream out;
      std::istringstream in;
      Console console(out, in);
      for (int i = 0; i < 40; ++i) EXPECT_FALSE(one_move(*run, console));
      EXPECT_EQ(run->control.accepted, 0);
      EXPECT_EQ(run->control.E_cur, 1.0e30f);
    }
  }
}

}  // namespace
}  // namespace yosta
