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

}  // namespace
}  // namespace yosta
