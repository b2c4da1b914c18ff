// The Q grid check, the sine table and kernel, the full model and the
// incremental move update.
#include "model/transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "model/grid.h"
#include "model_fixture.h"

namespace yosta {
namespace {

using model_test::first_line;
using model_test::grid_run;
using model_test::u;

// Q from q1 in steps of dq, r grid and tables derived as at set-up.
std::unique_ptr<Run> transform_run(int nq, float q1, float dq, int nsets, int nbasis, float rmax) {
  auto run = grid_run(nq, q1, dq, nsets, nbasis);
  run->params.rmax = rmax;
  derive_r_grid(run->params, run->model);
  check_q_grid(run->model);
  build_tables(run->params, run->model);
  return run;
}

TEST(QGrid, WorkedExample) {
  auto run = transform_run(591, 0.5f, 0.05f, 1, 1, 20.0f);
  EXPECT_EQ(run->model.q.nq_grid, 600);
  EXPECT_EQ(run->model.q.q_offset, 9);
  EXPECT_EQ(run->model.tables.P, 1200);
  EXPECT_EQ(run->model.r.nr, 191);
  // K(1, 1) uses m = 10: 2 pi 10 / 1200 = Q_1 r_1.
  EXPECT_EQ(kernel(run->model, 1, 1), run->model.tables.sinqr[10] * run->model.tables.reciprocal[1] * 1.0f);
  EXPECT_NEAR(2.0 * M_PI * 10 / 1200, 0.5 * run->model.r.dr, 1e-7);
}

TEST(QGrid, FirstPointMustBeAMultipleOfDq) {
  auto ok = grid_run(11, 0.1005f, 0.1f);
  check_q_grid(ok->model);
  EXPECT_EQ(ok->model.q.q_offset, 0);
  auto bad = grid_run(11, 0.102f, 0.1f);
  const auto lines = model_test::stop_lines([&] { check_q_grid(bad->model); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " Q-values are not multiples of dq ");
  // First Q, dq and their ratio (1.02), and the way out.
  EXPECT_NE(lines[1].find("first Q 0.102, dq 0.1, Q/dq 1.02"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("use yosta-tools import"), std::string::npos) << lines[1];
  auto negative = grid_run(11, -0.2f, 0.1f);
  EXPECT_NE(first_line([&] { check_q_grid(negative->model); }).find("is negative"), std::string::npos);
  auto flat = grid_run(3, 1.0f, 0.0f);
  EXPECT_NE(first_line([&] { check_q_grid(flat->model); }).find("do not increase"), std::string::npos);
}

TEST(QGrid, SineTableLimit) {
  // Two points at 16499 and 16500 (dq = 1) with Mr 1: P = 16500 is accepted.
  auto run = grid_run(2, 16499.0f, 1.0f);
  run->params.Mr = 1;
  run->model.r.dr = 6.283185f / 16500.0f;
  check_q_grid(run->model);
  build_tables(run->params, run->model);
  EXPECT_EQ(run->model.tables.P, 16500);
  run->model.q.Q[1] = 16500.0f;
  run->model.q.Q[2] = 16501.0f;
  check_q_grid(run->model);
  const auto lines = model_test::stop_lines([&] { build_tables(run->params, run->model); });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " Vector sinqr to small (re-dimension) ");
  EXPECT_NE(lines[1].find("more than 16500; use a coarser Q grid"), std::string::npos) << lines[1];
}

TEST(Kernel, MatchesTheContinuousTransform) {
  auto run = transform_run(120, 0.25f, 0.25f, 1, 1, 15.0f);
  const double rho = run->params.density, dr = run->model.r.dr;
  for (int k = 1; k <= run->model.q.nq; k += 7) {
    for (int j = 1; j <= run->model.r.nr; j += 5) {
      const double Q = run->model.q.Q[u(k)], r = j * dr;
      const double exact = 4.0 * M_PI * rho * dr * r * std::sin(Q * r) / Q;
      const double scale = 4.0 * M_PI * rho * dr * r / Q;
      // The table's period is the single-precision 2 pi: a phase error of
      // about 1e-7 Q r besides the rounding of the table values.
      EXPECT_NEAR(kernel(run->model, k, j), exact, (2e-6 + 2e-7 * Q * r) * scale) << k << " " << j;
    }
  }
  // m = 0: Q r a multiple of 2 pi gives exactly 0.
  ASSERT_EQ(run->model.q.q_offset, 0);
  EXPECT_EQ(kernel(run->model, 4, run->model.tables.P / 4), 0.0f);
}

TEST(Kernel, QZeroBranch) {
  auto run = transform_run(41, 0.0f, 0.25f, 1, 1, 10.0f);
  EXPECT_EQ(run->model.q.q_offset, -1);
  const double rho = run->params.density, dr = run->model.r.dr;
  for (int j : {1, 7, run->model.r.nr}) {
    const double r = j * dr;
    EXPECT_NEAR(kernel(run->model, 1, j), 4.0 * M_PI * rho * dr * r * r, 1e-6 * 4.0 * M_PI * rho * dr * r * r);
  }
}

// The straightforward formulas, term by term through kernel().
void naive_full(const Run& run, int s, float* F) {
  const DataSet& set = run.model.sets[u(s)];
  for (int k = 1; k <= run.model.q.nq; ++k) {
    float f = 0.0f;
    for (int p = 1; p <= run.params.nbasis; ++p) {
      for (int j = 1; j <= run.model.r.nr; ++j)
        f = f + kernel(run.model, k, j) * set.coef[u(p)][u(k)] * run.model.v[u(p)][u(j)];
    }
    F[k] = set.background[u(k)] + f;
  }
}

class ModelUpdate : public ::testing::TestWithParam<float> {};

TEST_P(ModelUpdate, IncrementalMatchesFullModel) {
  // Parameter: the first Q value (0 exercises the Q-zero branch).
  auto run = transform_run(150, GetParam(), 0.2f, 3, 2, 12.0f);
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
  for (int s = 1; s <= 3; ++s) {
    for (int k = 1; k <= run->model.q.nq; ++k) {
      run->model.sets[u(s)].background[u(k)] = 0.1f * static_cast<float>(s);
      for (int p = 1; p <= 2; ++p) run->model.sets[u(s)].coef[u(p)][u(k)] = 0.5f + 0.25f * uni(gen);
    }
  }
  for (int j = 1; j <= run->model.r.nr; j += 3) run->model.v[1][u(j)] = uni(gen);  // zeros in between
  full_model(run->params, run->model);
  float F[max_q + 1];
  for (int s = 1; s <= 3; ++s) {
    naive_full(*run, s, F);
    EXPECT_EQ(std::memcmp(F + 1, run->model.sets[u(s)].F_calc.data() + 1, sizeof(float) * 150), 0) << s;
  }

  std::uniform_int_distribution<int> centre(1, run->model.r.nr);
  for (int move = 0; move < 300; ++move) {
    const int p = 1 + move % 2;
    // A single point, a Gaussian bump, and more points than a bump can have.
    const int n = move % 3 == 0 ? 1 : move % 3 == 1 ? 9 : 25;
    const int j0 = centre(gen) - n / 2;
    float d[25];
    for (int i = 0; i < n; ++i) {
      const int j = j0 + i;
      d[i] = (j < 1 || j > run->model.r.nr || i == 2) ? 0.0f : 0.05f * uni(gen);
    }
    float before[4][max_q + 1];
    for (int s = 1; s <= 3; ++s) std::memcpy(before[s], run->model.sets[u(s)].F_calc.data(), sizeof before[s]);
    move_update(run->params, run->model, p, j0, d, n);
    // Bit for bit the straightforward sum over the changed points.
    for (int s = 1; s <= 3; ++s) {
      const DataSet& set = run->model.sets[u(s)];
      for (int k = 1; k <= run->model.q.nq; ++k) {
        float change = 0.0f;
        for (int i = 0; i < n; ++i) {
          if (d[i] != 0.0f) change = change + kernel(run->model, k, j0 + i) * set.coef[u(p)][u(k)] * d[i];
        }
        ASSERT_EQ(set.change[u(k)], change) << move << " " << s << " " << k;
        ASSERT_EQ(set.F_calc[u(k)], before[s][k] + change);
      }
    }
    for (int i = 0; i < n; ++i) {
      if (d[i] != 0.0f) run->model.v[u(p)][u(j0 + i)] += d[i];
    }
  }
  float incremental[4][max_q + 1];
  for (int s = 1; s <= 3; ++s) std::memcpy(incremental[s], run->model.sets[u(s)].F_calc.data(), sizeof incremental[s]);
  full_model(run->params, run->model);
  for (int s = 1; s <= 3; ++s) {
    float largest = 1.0f;
    for (int k = 1; k <= run->model.q.nq; ++k)
      largest = std::max(largest, std::fabs(run->model.sets[u(s)].F_calc[u(k)]));
    for (int k = 1; k <= run->model.q.nq; ++k) {
      EXPECT_NEAR(incremental[s][k], run->model.sets[u(s)].F_calc[u(k)], 3e-5f * largest) << s << " " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FirstQ, ModelUpdate, ::testing::Values(0.2f, 0.0f));

TEST(ModelUpdateEdges, ZeroChangesAndZeroBasis) {
  auto run = transform_run(50, 0.3f, 0.3f, 2, 2, 8.0f);
  full_model(run->params, run->model);
  for (int k = 1; k <= 50; ++k) EXPECT_EQ(run->model.sets[2].F_calc[u(k)], 0.0f);
  run->model.sets[1].F_calc[5] = 3.0f;
  run->model.sets[1].change[5] = 9.0f;
  const float d[3] = {0.0f, -0.0f, 0.0f};
  move_update(run->params, run->model, 1, 4, d, 3);
  EXPECT_EQ(run->model.sets[1].F_calc[5], 3.0f);
  EXPECT_EQ(run->model.sets[1].change[5], 0.0f);  // a rejected move takes nothing back out
}

TEST(PartialSq, MatchesDirectSum) {
  for (float q1 : {0.0f, 0.4f}) {
    auto run = transform_run(60, q1, 0.4f, 1, 2, 10.0f);
    for (int j = 1; j <= run->model.r.nr; ++j) run->model.v[2][u(j)] = std::cos(0.3f * static_cast<float>(j));
    for (int k : {1, 2, 33, 60}) {
      double sum = 0.0;
      for (int j = 1; j <= run->model.r.nr; ++j)
        sum += static_cast<double>(kernel(run->model, k, j)) * run->model.v[2][u(j)];
      EXPECT_NEAR(partial_sq(run->model, 2, k), sum, 1e-5 * (1.0 + std::fabs(sum))) << k;
    }
  }
}

}  // namespace
}  // namespace yosta
