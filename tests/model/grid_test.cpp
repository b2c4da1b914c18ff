// The r grid, its limit, the Gaussian move shapes and their checks, and the
// floor value.
#include "model/grid.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model_fixture.h"

namespace yosta {
namespace {

using model_test::first_line;
using model_test::grid_run;
using model_test::stop_lines;
using model_test::u;

TEST(RealGrid, WorkedExample) {
  auto run = grid_run(591, 0.5f, 0.05f);
  run->model.q.Q[591] = 30.0f;
  run->params.rmax = 20.0f;
  derive_r_grid(run->params, run->model);
  // 2 pi / (Q_last Mr) = 6.283185 / 60 = 0.10471975, to the last bit of a float.
  EXPECT_EQ(run->model.r.dr, 0.10471975f);
  EXPECT_EQ(run->model.r.nr, 191);
}

TEST(RealGrid, PointLimitAndExactMultiples) {
  // Q_last = 2 pi with Mr 1 gives dr = 1 exactly.
  auto run = grid_run(2, 3.1415925f, 3.1415925f);
  run->model.q.Q[2] = 6.283185f;
  run->params.Mr = 1;
  run->params.rmax = 11999.0f;  // an exact multiple: the last point lies beyond rmax
  derive_r_grid(run->params, run->model);
  EXPECT_EQ(run->model.r.dr, 1.0f);
  EXPECT_EQ(run->model.r.nr, 12000);

  run->params.rmax = 12000.0f;
  const auto lines = stop_lines([&] { derive_r_grid(run->params, run->model); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " nr= 12001  larger than array dimension 12000");
  EXPECT_EQ(lines[1], " Reduce rmax (or increase size parameter max_r) ");

  run->params.Mr = 0;
  EXPECT_NE(first_line([&] { derive_r_grid(run->params, run->model); }).find("Mr is 0"), std::string::npos);
}

class GaussianRanges : public ::testing::Test {
 protected:
  // dr = 1 exactly, 20 r points, Gaussian moves with the given (width, rch).
  void SetUp() override {
    run = grid_run(2, 3.1415925f, 3.1415925f);
    run->model.q.Q[2] = 6.283185f;
    run->params.Mr = 1;
    run->params.rmax = 19.5f;
    derive_r_grid(run->params, run->model);
    run->params.smoothing_on = true;
    run->params.smoothing_type = 3;
    run->params.gaussian_moves = true;
  }
  void ranges(std::initializer_list<GaussianRange> list) {
    run->params.nranges = static_cast<std::int32_t>(list.size());
    int i = 0;
    for (const auto& r : list) run->params.ranges[u(i++)] = r;
  }
  std::unique_ptr<yosta::Run> run;
};

TEST_F(GaussianRanges, HalfWidthLimit) {
  // (sigma / dr) * 3 = 10.99 is accepted with 21 points.
  ranges({{10.99f / 3.0f / 0.42480883f, 20.0f}});
  check_gaussian_ranges(run->params, run->model);
  EXPECT_EQ(run->model.gauss.ngauss[1], 10);
  EXPECT_NEAR(run->model.gauss.sigma[1], 10.99f / 3.0f, 1e-5f);
  EXPECT_EQ(run->params.ranges[0].width, 10.99f / 3.0f / 0.42480883f);  // the FWHM as read stays

  ranges({{11.001f / 3.0f / 0.42480883f, 20.0f}});
  const auto lines = stop_lines([&] { check_gaussian_ranges(run->params, run->model); });
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Too many points for a Gaussian.", "(Decrase sigma, or increase r spacing.)"}));
}

TEST_F(GaussianRanges, WidthHalfAngstromOnFineGridStops) {
  // dr = 0.05: sigma 0.2124 gives ngauss 12.
  run->model.q.Q[2] = 125.6637f;
  run->params.rmax = 1.0f;
  derive_r_grid(run->params, run->model);
  ranges({{0.5f, 5.0f}});
  EXPECT_EQ(first_line([&] { check_gaussian_ranges(run->params, run->model); }), "Too many points for a Gaussian.");
  EXPECT_EQ(run->model.gauss.ngauss[1], 12);
}

TEST_F(GaussianRanges, LastRangeMustReachTheGridEnd) {
  ranges({{1.0f, 5.0f}, {1.0f, 20.0f}});  // nr * dr = 20 exactly
  check_gaussian_ranges(run->params, run->model);
  ranges({{1.0f, 5.0f}, {1.0f, 19.9f}});
  EXPECT_EQ(stop_lines([&] { check_gaussian_ranges(run->params, run->model); }),
            (std::vector<std::string>{"Range of Gaussians smaller than specified r-range.",
                                      "(nr*dr should equal to (or less than) rch(nranges))", "Try a smaller rmax"}));
  ranges({});
  EXPECT_NE(first_line([&] { check_gaussian_ranges(run->params, run->model); }).find("at least one r range"),
            std::string::npos);
}

TEST_F(GaussianRanges, SkippedWithoutGaussianMoves) {
  run->params.gaussian_moves = false;
  ranges({{100.0f, 1.0f}});
  check_gaussian_ranges(run->params, run->model);
  tabulate_gaussians(run->params, run->model);
  EXPECT_EQ(run->params.ranges[0].width, 100.0f);
  EXPECT_EQ(run->model.gauss.ngauss[1], 0);
}

TEST_F(GaussianRanges, ShapesArePeakedCutGaussians) {
  ranges({{0.5f, 3.0f}, {6.0f, 20.0f}});  // sigma 0.21 < dr/3: one point
  check_gaussian_ranges(run->params, run->model);
  tabulate_gaussians(run->params, run->model);
  EXPECT_EQ(run->model.gauss.ngauss[1], 0);
  EXPECT_EQ(run->model.gauss.shape[1][1], 1.0f);

  // Width 6 A: sigma = 6 x 0.42480883 = 2.548853 A, 7 points of dr = 1 A each
  // side; exp(-k^2 / (2 sigma^2)) worked out by hand for k = 0 .. 7.
  const int n = run->model.gauss.ngauss[2];
  ASSERT_EQ(n, 7);
  EXPECT_NEAR(run->model.gauss.sigma[2], 2.548853f, 1e-6f);
  const double expected[8] = {1.0, 0.9259244, 0.7350249, 0.5002414, 0.2918826, 0.1460118, 0.0626208, 0.0230250};
  const auto& shape = run->model.gauss.shape[2];
  EXPECT_EQ(shape[u(n + 1)], 1.0f);
  for (int k = 0; k <= n; ++k) {
    EXPECT_NEAR(shape[u(n + 1 + k)], expected[k], 1e-6) << k;
    EXPECT_EQ(shape[u(n + 1 - k)], shape[u(n + 1 + k)]) << k;
  }
}

TEST(FloorValue, FixedModeFoldsTheFirstCoefficient) {
  auto run = grid_run(4, 1.0f, 1.0f, 2, 2);
  for (int k = 1; k <= 4; ++k) {
    run->model.sets[1].coef[1][u(k)] = 0.3f + static_cast<float>(k);
    run->model.sets[1].coef[2][u(k)] = 0.7f;
    run->model.sets[2].coef[1][u(k)] = 0.4f;
  }
  set_floor_value(run->params, run->model);
  EXPECT_EQ(run->model.Z, -1.3f);
  for (int k = 1; k <= 4; ++k) {
    EXPECT_EQ(run->model.sets[1].coef[1][u(k)], 1.0f);
    EXPECT_EQ(run->model.sets[1].coef[2][u(k)], 0.7f);
    EXPECT_EQ(run->model.sets[2].coef[1][u(k)], 0.4f);
  }
  run->params.qdep_coefficients = true;
  run->model.sets[1].coef[1][2] = 0.5f;
  set_floor_value(run->params, run->model);
  EXPECT_EQ(run->model.Z, -1.0f);
  EXPECT_EQ(run->model.sets[1].coef[1][2], 0.5f);
}

}  // namespace
}  // namespace yosta
