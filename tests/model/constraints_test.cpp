// Zero and positivity rules, coordination numbers and the smoothing penalty.
#include "model/constraints.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "support/run_builder.h"
#include "base/random.h"
#include "base/stop.h"

namespace yosta {
namespace {

using testing::r_grid_run;

// dr = 0.25 makes every r_j exact: r_4 = 1.0, r_8 = 2.0, r_10 = 2.5, r_12 = 3.0.
constexpr float dr = 0.25f;

float& at(yosta::Run& run, int p, int j) {
  return run.model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)];
}

TEST(ZeroRules, CentreRefusalIsInclusiveAndMaskIsStrict) {
  auto run = r_grid_run(2, 40, dr);
  run->params.zero.push_back({1, 1.0f, 2.0f});
  EXPECT_TRUE(centre_refused(run->params, 1, 1.0f));
  EXPECT_TRUE(centre_refused(run->params, 1, 2.0f));
  EXPECT_FALSE(centre_refused(run->params, 1, 2.25f));
  EXPECT_FALSE(centre_refused(run->params, 2, 1.5f));  // other basis functions are free
  EXPECT_FALSE(zero_masked(run->params, 1, 1.0f));
  EXPECT_FALSE(zero_masked(run->params, 1, 2.0f));
  EXPECT_TRUE(zero_masked(run->params, 1, 1.75f));
  EXPECT_FALSE(zero_masked(run->params, 2, 1.75f));
}

TEST(PositivityRule, WithoutPositivityConstraintsAnyChangeStays) {
  auto run = r_grid_run(2, 40, dr);
  run->params.zero.push_back({1, 1.0f, 2.0f});
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 20, -3.0f), -3.0f);
  EXPECT_EQ(positivity_rule(run->params, run->model, 2, 6, -3.0f), -3.0f);
}

TEST(PositivityRule, OneConstraintGuardsEveryBasisFunction) {
  auto run = r_grid_run(2, 40, dr);
  run->params.positivity.push_back({1, 2.0f, 3.0f});
  at(*run, 1, 10) = 0.25f;
  at(*run, 2, 20) = 0.25f;
  // Basis function 2 at 5.0 A would go below Z: the point is left unchanged.
  EXPECT_EQ(positivity_rule(run->params, run->model, 2, 20, -2.0f), 0.0f);
  // Basis function 1 at 2.5 A is set exactly to Z.
  EXPECT_EQ(at(*run, 1, 10) + positivity_rule(run->params, run->model, 1, 10, -2.0f), run->model.Z);
  // Both ends of the range count.
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 8, -2.0f), run->model.Z);
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 12, -2.0f), run->model.Z);
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 13, -2.0f), 0.0f);
  // A change that ends exactly at Z is not below it.
  EXPECT_EQ(positivity_rule(run->params, run->model, 2, 20, -1.25f), -1.25f);
}

TEST(PositivityRule, PointBelowFloorOnlyMovesBackUp) {
  auto run = r_grid_run(1, 40, dr);
  run->params.positivity.push_back({1, 2.0f, 3.0f});
  at(*run, 1, 20) = -1.5f;                                                  // below Z outside every range
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 20, 0.25f), 0.0f);  // still below: dropped
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 20, 0.5f), 0.5f);   // reaches Z: kept
  EXPECT_EQ(positivity_rule(run->params, run->model, 1, 20, 0.75f), 0.75f);
}

TEST(EnforceRules, BoundsInclusiveAndPositivityKeepsTheFloor) {
  auto run = r_grid_run(2, 40, dr);
  run->params.zero.push_back({1, 1.0f, 2.0f});
  run->params.positivity.push_back({1, 1.5f, 3.0f});
  run->params.positivity.push_back({2, 1.0f, 1.5f});
  for (int j = 1; j <= 40; ++j) {
    at(*run, 1, j) = -3.0f;
    at(*run, 2, j) = -3.0f;
  }
  enforce_zero_and_positivity(run->params, run->model);
  EXPECT_EQ(at(*run, 1, 3), -3.0f);
  for (int j = 4; j <= 12; ++j) EXPECT_EQ(at(*run, 1, j), run->model.Z) << j;
  EXPECT_EQ(at(*run, 1, 13), -3.0f);
  for (int j = 4; j <= 6; ++j) EXPECT_EQ(at(*run, 2, j), run->model.Z) << j;
  EXPECT_EQ(at(*run, 2, 7), -3.0f);
}

TEST(FreeCentreGuard, StopsOnlyWhenNoCentreIsLeft) {
  auto run = r_grid_run(2, 8, dr);
  run->params.zero.push_back({1, 0.0f, 2.0f});
  EXPECT_NO_THROW(check_free_centre(run->params, run->model));
  run->params.zero.push_back({2, 0.25f, 1.75f});
  EXPECT_NO_THROW(check_free_centre(run->params, run->model));  // r = 2.0 of basis function 2 is free
  run->params.zero.push_back({2, 2.0f, 2.0f});
  try {
    check_free_centre(run->params, run->model);
    FAIL() << "no stop";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    ASSERT_EQ(stop.lines.size(), 1u);
  }
}

TEST(Coordination, FullSumAndEmptyRange) {
  auto run = r_grid_run(1, 40, dr);
  run->params.density = 0.1f;
  run->params.coordination.push_back({1, 1.0f, 1.0f, 0.5f, 2.0f, 3.0f, 0.5f});
  run->params.coordination.push_back({1, 1.1f, 1.2f, 1.0f, 1.0f, 4.0f, 2.0f});  // no r point
  at(*run, 1, 4) = 1.0f;                                                        // v - Z = 2 at r = 1.0
  coordination_full(run->params, run->model);
  // w = pi dr (4 r^2 + dr^2 / 3) = 4 pi r^2 dr + pi dr^3 / 3
  const double w = M_PI * 0.25 * (4.0 + 0.0625 / 3.0);
  EXPECT_NEAR(run->model.Nc[1], w * 0.1 * 2.0 * 0.5 / 2.0, 1e-6);
  EXPECT_EQ(run->model.Nc[2], 0.0f);
  const double x = (run->model.Nc[1] - 3.0) / 0.5;
  EXPECT_NEAR(run->model.P, x * x + 4.0, 1e-5);  // (coordination/weighting)^2 = 4
}

TEST(Coordination, MoveChangesTrackFullRecomputation) {
  auto run = r_grid_run(2, 200, 0.05f);
  run->params.density = 0.08f;
  run->params.coordination.push_back({1, 1.0f, 3.0f, 0.5f, 1.0f, 6.0f, 0.1f});
  run->params.coordination.push_back({2, 0.0f, 10.0f, 0.25f, 0.5f, 2.0f, 1.0f});
  run->params.coordination.push_back({1, 2.5f, 2.5f, 1.0f, 1.0f, 0.0f, 1.0f});
  coordination_full(run->params, run->model);
  std::int32_t seed = 12345;
  float d[7];
  float dNc[max_constraints + 1];
  for (int move = 0; move < 3000; ++move) {
    const int p = static_cast<int>(next_random(seed) * 2) + 1;
    const int j0 = static_cast<int>(next_random(seed) * 194) + 1;
    for (float& x : d) x = static_cast<float>(next_random(seed) - 0.5);
    coordination_move(run->params, run->model, p, j0, d, 7, dNc);
    if (next_random(seed) < 0.5) {  // accepted: apply; rejected: take dNc back
      for (int i = 0; i < 7; ++i) at(*run, p, j0 + i) += d[i];
    } else {
      for (int c = 1; c <= 3; ++c) run->model.Nc[static_cast<std::size_t>(c)] -= dNc[c];
    }
  }
  const auto tracked = run->model.Nc;
  coordination_full(run->params, run->model);
  for (int c = 1; c <= 3; ++c) {
    const auto cu = static_cast<std::size_t>(c);
    EXPECT_NEAR(tracked[cu], run->model.Nc[cu], 1e-4 * (1.0 + std::fabs(run->model.Nc[cu]))) << c;
  }
}

class SmoothingTest : public ::testing::TestWithParam<int> {
 protected:
  std::unique_ptr<yosta::Run> run_ = r_grid_run(2, 25, 0.2f);
  void SetUp() override {
    RunParameters& par = run_->params;
    par.smoothing_on = true;
    par.smoothing_type = GetParam();
    par.smoothing_weight = 0.5f;
    par.smoothing_exponent = 2.0f;
    par.smoothing_cutoff = 0.0f;
    std::int32_t seed = 99;
    for (int p = 1; p <= 2; ++p) {
      for (int j = 1; j <= 25; ++j) at(*run_, p, j) = static_cast<float>(next_random(seed)) - 0.5f;
    }
  }
  // dS of a change of delta at j measured as the difference of two full sums.
  double full_difference(int p, int j, float delta) {
    smoothing_full(run_->params, run_->model);
    const double before = run_->model.S;
    at(*run_, p, j) += delta;
    smoothing_full(run_->params, run_->model);
    at(*run_, p, j) -= delta;
    return run_->model.S - before;
  }
};

TEST_P(SmoothingTest, ChangeEqualsFullDifferenceAtGridEndsAndInside) {
  for (int j : {1, 2, 3, 13, 23, 24, 25}) {
    const float saved = at(*run_, 2, j);
    const double expected = full_difference(2, j, 0.3f);
    const float dS = smoothing_change(run_->params, run_->model, 2, j, 0.3f);
    EXPECT_EQ(at(*run_, 2, j), saved) << j << ": the model is left as it is";
    EXPECT_NEAR(dS, expected, 1e-4 * (1.0 + std::fabs(expected))) << j;
  }
}

TEST_P(SmoothingTest, EndWindowsHoldOneTerm) {
  // Type 1 at j = 1 sees only the slope term i = 1; type 2 at j = 1 only the
  // curvature term i = 2: a change there moves S by exactly that term.
  const int type = GetParam();
  const int nr = 25;
  smoothing_full(run_->params, run_->model);
  for (int j : {1, nr}) {
    const int i = j == 1 ? type : nr - 1;
    const float r = static_cast<float>(i) * 0.2f;
    auto term = [&] {
      const auto& v = run_->model.v[1];
      const float factor = r * std::exp(r / 2.0f);
      if (type == 1) {
        const float s = v[static_cast<std::size_t>(i + 1)] - v[static_cast<std::size_t>(i)];
        return factor * (std::sqrt(1.0f + s * s) - 1.0f);
      }
      const float c = v[static_cast<std::size_t>(i + 1)] - 2.0f * v[static_cast<std::size_t>(i)] +
                      v[static_cast<std::size_t>(i - 1)];
      return factor * (c * c);
    };
    const float before = term();
    const float dS = smoothing_change(run_->params, run_->model, 1, j, 0.4f);
    at(*run_, 1, j) += 0.4f;
    const float after = term();
    at(*run_, 1, j) -= 0.4f;
    EXPECT_FLOAT_EQ(dS, (after - before) * 0.5f) << j;
  }
}

TEST_P(SmoothingTest, RandomChangesTrackFullRecomputation) {
  smoothing_full(run_->params, run_->model);
  std::int32_t seed = 7;
  for (int move = 0; move < 2000; ++move) {
    const int p = static_cast<int>(next_random(seed) * 2) + 1;
    const int j = static_cast<int>(next_random(seed) * 25) + 1;
    const float delta = static_cast<float>(next_random(seed) - 0.5) * 0.2f;
    const float dS = smoothing_change(run_->params, run_->model, p, j, delta);
    run_->model.S += dS;
    if (next_random(seed) < 0.3) {
      run_->model.S -= dS;  // rejected
    } else {
      at(*run_, p, j) += delta;
    }
  }
  const float tracked = run_->model.S;
  smoothing_full(run_->params, run_->model);
  EXPECT_NEAR(tracked, run_->model.S, 2e-3 * (1.0 + run_->model.S));
}

TEST_P(SmoothingTest, CutoffBeyondGridGivesNoPenalty) {
  run_->params.smoothing_cutoff = 5.1f;  // last r point is 5.0
  smoothing_full(run_->params, run_->model);
  EXPECT_EQ(run_->model.S, 0.0f);
  EXPECT_EQ(smoothing_change(run_->params, run_->model, 1, 25, 0.7f), 0.0f);
  EXPECT_EQ(smoothing_change(run_->params, run_->model, 1, 12, 0.7f), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Types, SmoothingTest, ::testing::Values(1, 2));

TEST(Smoothing, OffOrGaussianTypeGivesZero) {
  auto run = r_grid_run(1, 10, 0.2f);
  at(*run, 1, 5) = 3.0f;
  run->model.S = 9.0f;
  smoothing_full(run->params, run->model);
  EXPECT_EQ(run->model.S, 0.0f);
  run->params.smoothing_on = true;
  run->params.smoothing_type = 3;
  run->params.smoothing_weight = 1.0f;
  smoothing_full(run->params, run->model);
  EXPECT_EQ(run->model.S, 0.0f);
}

TEST(Smoothing, OverflowingFactorIsRefusedAtSetUp) {
  auto run = r_grid_run(1, 1000, 0.1f);  // r up to 100 A
  run->params.smoothing_on = true;
  run->params.smoothing_type = 1;
  run->params.smoothing_exponent = 1.0f;
  EXPECT_THROW(check_smoothing_factor(run->params, run->model), Stop);
  run->params.smoothing_exponent = 2.0f;  // exp(50): fine
  EXPECT_NO_THROW(check_smoothing_factor(run->params, run->model));
  run->params.smoothing_exponent = 1.0f;
  run->params.smoothing_cutoff = 200.0f;  // no term counted at all
  EXPECT_NO_THROW(check_smoothing_factor(run->params, run->model));
}

}  // namespace
}  // namespace yosta
