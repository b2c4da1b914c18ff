// Corrections against an independent weighted least-squares solution in
// double, the inversion, the set-up guards, and the resolution windows.
#include "model/corrections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "model_fixture.h"

namespace yosta {
namespace {

using model_test::first_line;
using model_test::grid_run;
using model_test::u;

constexpr int kq = 60;  // Q = 0.5 .. 15.25

// One set with smooth data, varied errors, a model that is a scaled and
// shifted copy of the data with a small misfit, fitted over points 5..55.
std::unique_ptr<Run> data_run(bool renormalise, bool rezero, bool linear, bool quadratic) {
  auto run = grid_run(kq, 0.5f, 0.25f);
  DataSet& set = run->model.sets[1];
  DataSetSettings& st = set.settings;
  st.q_first = 5;
  st.q_last = 55;
  st.fq_offset = 0.1f;
  st.renormalise = renormalise;
  st.rezero = rezero;
  st.linear_correction = linear;
  st.quadratic_correction = quadratic;
  for (int k = 1; k <= kq; ++k) {
    const float q = run->model.q.Q[u(k)];
    const float f = 1.0f + 0.5f * std::sin(q) / q + 0.1f * std::cos(3.7f * static_cast<float>(k));
    set.F[u(k)] = f + 0.1f;
    set.err[u(k)] = 0.02f + 0.01f * static_cast<float>(k % 3);
    set.F_calc[u(k)] = 1.3f * f + 0.2f - 0.03f * q + 0.001f * q * q + 0.05f * std::sin(2.3f * static_cast<float>(k));
  }
  return run;
}

struct Fit {
  double beta = 1, a0 = 0, a1 = 0, a2 = 0, chi2 = 0;
};

// Weighted least squares of M ~ beta F + a0 + a1 Q + a2 Q^2 over the free
// coefficients, by Gaussian elimination with pivoting in double.
Fit reference_fit(const Run& run, bool fit_beta, int npowers) {
  const DataSet& set = run.model.sets[1];
  const int n = (fit_beta ? 1 : 0) + npowers;
  std::vector<std::vector<double>> A(u(n), std::vector<double>(u(n + 1), 0.0));
  auto column = [&](int c, int k) {
    const double q = run.model.q.Q[u(k)];
    if (c < npowers) return std::pow(q, c);
    return static_cast<double>(set.F[u(k)]);
  };
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    const double w = 1.0 / (static_cast<double>(set.err[u(k)]));  // err holds the variance now
    const double target = fit_beta ? set.M[u(k)] : static_cast<double>(set.M[u(k)]) - set.F[u(k)];
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) A[u(i)][u(j)] += w * column(i, k) * column(j, k);
      A[u(i)][u(n)] += w * column(i, k) * target;
    }
  }
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r) {
      if (std::fabs(A[u(r)][u(c)]) > std::fabs(A[u(pivot)][u(c)])) pivot = r;
    }
    std::swap(A[u(c)], A[u(pivot)]);
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = A[u(r)][u(c)] / A[u(c)][u(c)];
      for (int j = c; j <= n; ++j) A[u(r)][u(j)] -= f * A[u(c)][u(j)];
    }
  }
  Fit fit;
  double* powers[3] = {&fit.a0, &fit.a1, &fit.a2};
  for (int c = 0; c < n; ++c) {
    const double x = A[u(c)][u(n)] / A[u(c)][u(c)];
    if (c < npowers)
      *powers[c] = x;
    else
      fit.beta = x;
  }
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    const double q = run.model.q.Q[u(k)];
    const double r = set.M[u(k)] - fit.beta * set.F[u(k)] - fit.a0 - fit.a1 * q - fit.a2 * q * q;
    fit.chi2 += r * r / set.err[u(k)];
  }
  return fit;
}

class CorrectionCases : public ::testing::TestWithParam<std::tuple<bool, bool, bool, bool>> {};

TEST_P(CorrectionCases, MatchDirectLeastSquares) {
  const auto [renormalise, rezero, linear, quadratic] = GetParam();
  auto run = data_run(renormalise, rezero, linear, quadratic);
  prepare_data(run->params, run->model);
  const double total = evaluate(run->params, run->model);
  const DataSet& set = run->model.sets[1];

  // The linear term counts only with rezeroing, the quadratic only with both.
  const int npowers = !rezero ? 0 : !linear ? 1 : !quadratic ? 2 : 3;
  const Fit ref = reference_fit(*run, renormalise, npowers);
  EXPECT_EQ(total, static_cast<double>(set.chi2));
  EXPECT_NEAR(set.chi2, ref.chi2, 1e-5 * ref.chi2);
  EXPECT_NEAR(set.beta, ref.beta, 1e-3);
  // The corrected data agree at every fitted point.
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    const double q = run->model.q.Q[u(k)];
    const double mine = set.beta * set.F[u(k)] + set.a0 + set.a1 * q + set.a2 * q * q;
    const double theirs = ref.beta * set.F[u(k)] + ref.a0 + ref.a1 * q + ref.a2 * q * q;
    EXPECT_NEAR(mine, theirs, 5e-5) << k;
  }
  if (npowers < 3) {
    EXPECT_EQ(set.a2, 0.0f);
  }
  if (npowers < 2) {
    EXPECT_EQ(set.a1, 0.0f);
  }
  if (npowers < 1) {
    EXPECT_EQ(set.a0, 0.0f);
  }
  if (!renormalise) {
    EXPECT_EQ(set.beta, 1.0f);
  }
}

INSTANTIATE_TEST_SUITE_P(AllFlags, CorrectionCases,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Bool(),
                                            ::testing::Bool()));

TEST(Corrections, ChiSquaredIsTheExplicitSum) {
  for (bool resolution : {false, true}) {
    auto run = data_run(true, true, true, true);
    run->params.resolution_on = resolution;
    run->model.sets[1].settings.wavelength = 0.7f;
    run->model.sets[1].settings.res_w = 20.0f;
    prepare_data(run->params, run->model);
    setup_resolution(run->params, run->model);
    evaluate(run->params, run->model);
    const DataSet& set = run->model.sets[1];
    double chi2 = 0.0;
    for (int k = 5; k <= 55; ++k) {
      const float q = run->model.q.Q[u(k)];
      const float residual = set.M[u(k)] - (set.a2 * q + set.a1) * q - set.beta * set.F[u(k)] - set.a0;
      chi2 += static_cast<double>(residual) * residual / set.err[u(k)];
    }
    EXPECT_FLOAT_EQ(set.chi2, static_cast<float>(chi2)) << resolution;
    EXPECT_EQ(set.M[30] == set.F_calc[30], !resolution);
  }
}

TEST(Corrections, RezeroAloneIsTheWeightedMeanDifference) {
  auto run = data_run(false, true, false, false);
  prepare_data(run->params, run->model);
  evaluate(run->params, run->model);
  const DataSet& set = run->model.sets[1];
  double num = 0.0, den = 0.0;
  for (int k = 5; k <= 55; ++k) {
    num += (static_cast<double>(set.M[u(k)]) - set.F[u(k)]) / set.err[u(k)];
    den += 1.0 / set.err[u(k)];
  }
  EXPECT_NEAR(set.a0, num / den, 1e-6);
}

TEST(Corrections, PreparationOffsetsVariancesAndStartValues) {
  auto run = data_run(true, true, true, false);
  run->params.smoothing_on = true;
  run->params.nbasis = 2;
  run->model.r.nr = 100;
  const float raw_first = run->model.sets[1].F[1];
  const float err_outside = run->model.sets[1].err[2];
  prepare_data(run->params, run->model);
  const DataSet& set = run->model.sets[1];
  EXPECT_EQ(set.F[1], raw_first - 0.1f);  // the offset covers the whole grid
  EXPECT_EQ(set.err[2], err_outside);     // outside the fitted range: not squared
  EXPECT_EQ(set.err[5], 0.04f * 0.04f);
  EXPECT_EQ(set.fit_case, FitCase::scale_zero_linear);
  EXPECT_EQ(set.beta, 1.0f);  // kept start value of this case
  EXPECT_EQ(run->model.N_total, 51.0f + 200.0f);

  auto all = data_run(true, true, true, true);
  prepare_data(all->params, all->model);
  EXPECT_EQ(all->model.sets[1].beta, 0.0f);
}

TEST(Corrections, SetUpGuards) {
  {
    auto run = data_run(false, false, false, false);
    run->model.sets[1].err[7] = 0.0f;
    const std::string line = first_line([&] { prepare_data(run->params, run->model); });
    EXPECT_NE(line.find("Data set 1"), std::string::npos) << line;
    EXPECT_NE(line.find("point 7"), std::string::npos) << line;
  }
  {
    auto run = data_run(false, false, false, false);
    run->model.sets[1].err[2] = 0.0f;  // outside the fitted range: harmless
    prepare_data(run->params, run->model);
  }
  {
    auto run = data_run(true, false, false, false);
    for (int k = 1; k <= kq; ++k) run->model.sets[1].F[u(k)] = 0.1f;  // zero after the offset
    EXPECT_NE(first_line([&] { prepare_data(run->params, run->model); }).find("renormalised"), std::string::npos);
  }
  {
    auto run = data_run(true, true, false, false);
    for (int k = 1; k <= kq; ++k) run->model.sets[1].F[u(k)] = 0.7f;  // constant: scale and constant alike
    EXPECT_NE(first_line([&] { prepare_data(run->params, run->model); }).find("singular"), std::string::npos);
  }
}

TEST(Corrections, InvertMatrix) {
  const float a[9] = {4, 2, 1, 2, 5, 3, 1, 3, 6};
  float inv[9];
  ASSERT_TRUE(invert_matrix(a, 3, inv));
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double sum = 0.0;
      for (int m = 0; m < 3; ++m) sum += static_cast<double>(a[i * 3 + m]) * inv[m * 3 + j];
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-6);
    }
  }
  const float singular[4] = {1, 2, 2, 4};
  EXPECT_FALSE(invert_matrix(singular, 2, inv));
  const float zero_first[4] = {0, 1, 1, 0};  // no pivoting: a zero first pivot fails
  EXPECT_FALSE(invert_matrix(zero_first, 2, inv));
}

// Resolution: Q = 1.0 .. 10.9 in steps of 0.1, wavelength 1, u = v = 0, and w
// chosen so that three standard deviations span `half` grid spacings.
std::unique_ptr<Run> resolution_run(double half, int first, int last) {
  auto run = grid_run(100, 1.0f, 0.1f);
  run->params.resolution_on = true;
  DataSetSettings& st = run->model.sets[1].settings;
  st.q_first = first;
  st.q_last = last;
  st.wavelength = 1.0f;
  const double q = run->model.q.Q[u(first)];
  const double x = q / (4.0 * M_PI), c = std::sqrt(1.0 - x * x);
  const double H = half * 0.1 * std::sqrt(8.0 * std::log(2.0)) / 3.0;
  const double root_w = H / ((M_PI / 180.0) * (c * 4.0 * M_PI) * 0.5);
  st.res_w = static_cast<float>(root_w * root_w);
  return run;
}

TEST(Resolution, WindowOfFortyIsTheLimit) {
  auto run = resolution_run(39.5, 1, 1);
  setup_resolution(run->params, run->model);
  const DataSet& set = run->model.sets[1];
  EXPECT_EQ(set.lo[1], 1);
  EXPECT_EQ(set.hi[1], 40);
  double sum = 0.0;
  for (int i = 0; i < 40; ++i) sum += set.weight[1][u(i)];
  EXPECT_NEAR(sum, 1.0, 1e-6);
  EXPECT_GT(set.weight[1][0], set.weight[1][1]);

  auto wide = resolution_run(40.5, 1, 1);
  const auto lines = model_test::stop_lines([&] { setup_resolution(wide->params, wide->model); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " Peaks too wide");
  EXPECT_NE(lines[1].find("Q points, more than 40"), std::string::npos) << lines[1];
}

TEST(Resolution, ScatterAndTheLastPoint) {
  auto run = resolution_run(3.5, 10, 100);  // windows of 7 points
  setup_resolution(run->params, run->model);
  DataSet& set = run->model.sets[1];
  EXPECT_EQ(set.lo[50], 47);
  EXPECT_EQ(set.hi[50], 53);
  EXPECT_EQ(set.lo[5], 0);  // outside the fitted range: no window
  EXPECT_EQ(set.hi[100], 100);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(set.weight[100][u(i)], 0.0f);  // reaches the last point

  // One model point spreads over its own window.
  set.F_calc[50] = 2.0f;
  set.F_calc[100] = 5.0f;
  compared_model(run->params, run->model, set);
  for (int i = 1; i <= 100; ++i) {
    const float expected = (i >= 47 && i <= 53) ? set.weight[50][u(i - 47)] * 2.0f : 0.0f;
    EXPECT_EQ(set.M[u(i)], expected) << i;
  }
}

TEST(Resolution, DegenerateWidthsStop) {
  auto run = resolution_run(3.5, 10, 20);
  run->model.sets[1].settings.res_w = 0.0f;
  std::string line = first_line([&] { setup_resolution(run->params, run->model); });
  EXPECT_NE(line.find("Data set 1 at Q = 1.9"), std::string::npos) << line;

  run = resolution_run(3.5, 10, 20);
  run->model.sets[1].settings.wavelength = 7.0f;  // 7 * 1.9 / 4 pi > 1
  line = first_line([&] { setup_resolution(run->params, run->model); });
  EXPECT_NE(line.find("not below 1"), std::string::npos) << line;
}

}  // namespace
}  // namespace yosta
