// The evaluator interface and the tables behind it: an evaluation never
// prepared is refused rather than prepared by the trial; the Gram tables of
// the r-space evaluator read back the weighted products of the transform rows
// computed here straight from the kernel; the helpers the two evaluators
// share agree with the model's own broadening and bump shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "fit/cycle.h"
#include "fit/evaluation.h"
#include "fit/evaluation_helpers.h"
#include "fit/kept_run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {
namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

using fit_test::KeptConfig;

TEST(EvaluatorChoice, AnUnpreparedEvaluationIsRefusedNotPrepared) {
  auto run = fit_test::kept_run(KeptConfig{"unprepared"});
  run->kept.evaluator = std::monostate{};
  const std::int32_t seed = run->control.seed;
  fit_test::Quiet q;
  EXPECT_THROW(one_move(*run, q.console), std::logic_error);
  EXPECT_EQ(run->control.seed, seed);  // refused before anything was drawn
  TrialChange t;
  EXPECT_THROW(evaluate_trial(*run, t), std::logic_error);
  EXPECT_THROW(keep_trial(*run), std::logic_error);
  EXPECT_THROW(undo_trial(*run), std::logic_error);
  EXPECT_FALSE(rspace_in_use(*run));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(run->kept.evaluator));
  // Showing the model needs no evaluator: F_calc is the model's own.
  run->params.resolution_on = false;
  EXPECT_NO_THROW(sync_model(*run));
}

TEST(EvaluatorChoice, PreparingAgainReplacesTheEvaluator) {
  auto run = fit_test::kept_run(KeptConfig{"again"}, EvaluationPath::q_space);
  ASSERT_FALSE(rspace_in_use(*run));
  prepare_evaluation(*run, EvaluationPath::best);
  EXPECT_TRUE(rspace_in_use(*run));
  prepare_evaluation(*run, EvaluationPath::q_space);
  EXPECT_FALSE(rspace_in_use(*run));
  EXPECT_FALSE(fit_test::qspace(*run).rows.empty());
}

// G_fg(i, j) = sum over fitted k of w_k U_f,i(k) U_g,j(k), formed here from
// the kernel rows (times the coefficients when they vary with Q) in double.
double gram_direct(const Run& run, int s, int f, int g, int i, int j, bool varying) {
  const DataSet& set = run.model.sets[u(s)];
  float Ki[max_q + 1], Kj[max_q + 1];
  kernel_row(run.model, i, Ki);
  kernel_row(run.model, j, Kj);
  double sum = 0.0;
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    const double cf = varying ? set.coef[u(f + 1)][u(k)] : 1.0;
    const double cg = varying ? set.coef[u(g + 1)][u(k)] : 1.0;
    sum += set.inv_var[u(k)] * cf * static_cast<double>(Ki[k]) * cg * static_cast<double>(Kj[k]);
  }
  return sum;
}

TEST(GramTables, HoldTheWeightedProductsOfTheRows) {
  for (const bool varying : {false, true}) {
    KeptConfig o{"gram"};
    o.varying_coef = varying;
    o.gaussian = true;
    auto run = fit_test::kept_run(o, EvaluationPath::best);
    const RSpaceEvaluator& r = fit_test::rspace(*run);
    const int nr = run->model.r.nr;
    for (int s = 1; s <= 2; ++s) {
      const RSpaceSet& t = r.sets[u(s)];
      ASSERT_EQ(t.families, varying ? 2 : 1);
      for (int f = 0; f < t.families; ++f) {
        for (int g = 0; g < t.families; ++g) {
          for (const auto& [i, j] : {std::pair{1, 1}, {1, nr}, {7, 9}, {9, 7}, {nr, nr - 3}, {20, 20}}) {
            const double want = gram_direct(*run, s, f, g, i, j, varying);
            // Formed from T (no resolution), an entry carries the kernel's
            // rounding on the scale of its row and column, not its own.
            const double scale = std::sqrt(
                std::fabs(gram_direct(*run, s, f, f, i, i, varying) * gram_direct(*run, s, g, g, j, j, varying)));
            EXPECT_NEAR(t.scale * r.gram(s).at(f, g, i, j), want, 2e-6 * scale + 1e-9)
                << varying << " " << s << " " << f << g << " " << i << " " << j;
            EXPECT_EQ(r.gram(s).at(f, g, i, j), r.gram(s).at(g, f, j, i));
          }
        }
        for (int j = 1; j <= nr; ++j) EXPECT_EQ(r.gram(s).diagonal(f, j), r.gram(s).at(f, f, j, j));
      }
    }
  }
}

// A whole bump's tables are the sums of its points' ones: its Gram value
// the double sum over the shape, its row the shape-weighted sum of rows.
TEST(GramTables, BumpTablesAreSumsOverTheShape) {
  KeptConfig o{"bumps"};
  o.gaussian = true;
  o.varying_coef = true;
  auto run = fit_test::kept_run(o, EvaluationPath::best);
  const GramTables& tables = fit_test::rspace(*run).gram(2);
  const int nr = run->model.r.nr;
  int whole = 0;
  for (int j = 1; j <= nr; ++j) {
    const Bump b = bump_at(*run, j);
    if (b.n < 0) {
      EXPECT_TRUE(j - 3 < 1 || j + 3 > nr) << j;  // only bumps that may leave the grid
      continue;
    }
    ASSERT_TRUE(b.n == 2 || b.n == 3) << j;  // the half-widths of the two ranges
    ASSERT_TRUE(j - b.n >= 1 && j + b.n <= nr) << j;
    ++whole;
    const int j0 = j - b.n;
    for (int f = 0; f < 2; ++f) {
      double gram = 0.0;
      for (int m = 1; m <= 2 * b.n + 1; ++m)
        for (int m2 = 1; m2 <= 2 * b.n + 1; ++m2)
          gram += static_cast<double>(b.shape[m]) * b.shape[m2] * tables.at(f, f, j0 + m - 1, j0 + m2 - 1);
      EXPECT_NEAR(tables.bump(f, j), gram, 1e-9 * std::fabs(gram) + 1e-12) << j;
      for (int g = 0; g < 2; ++g) {
        std::vector<double> by_bump(u(nr), 0.5), by_points(u(nr), 0.5);
        tables.add_bump_row(by_bump.data(), 2.0, f, g, j);
        for (int m = 1; m <= 2 * b.n + 1; ++m)
          tables.add_row(by_points.data(), 2.0 * static_cast<double>(b.shape[m]), f, g, j0 + m - 1);
        // Both are formed from tables in single precision (T, the bump's
        // arrays): they agree on the scale of the largest change of the row.
        double largest = 0.0;
        for (int i = 0; i < nr; ++i) largest = std::max(largest, std::fabs(by_points[u(i)] - 0.5));
        for (int i = 0; i < nr; ++i)
          EXPECT_NEAR(by_bump[u(i)], by_points[u(i)], 2e-6 * largest + 1e-12) << j << " " << i;
      }
    }
  }
  EXPECT_GE(whole, nr - 6);
}

TEST(SharedHelpers, BroadenedRowMatchesTheModelsBroadening) {
  KeptConfig o{"broaden"};
  o.resolution = true;
  o.first = 4;
  o.last = 60;
  auto run = fit_test::kept_run(o);
  const int nq = run->model.q.nq;
  for (int s = 1; s <= 2; ++s) {
    const DataSet& set = run->model.sets[u(s)];
    float K[max_q + 1], M[max_q + 1];
    kernel_row(run->model, 11, K);
    broaden(set, nq, K, M);
    std::vector<double> row(u(nq) + 1), out(u(nq) + 1, -7.0);
    for (int k = 1; k <= nq; ++k) row[u(k)] = K[k];
    broaden_row(set, row.data(), out.data());
    for (int i = set.settings.q_first; i <= set.settings.q_last; ++i)
      EXPECT_NEAR(out[u(i)], M[i], 1e-5 * (std::fabs(M[i]) + 1.0)) << s << " " << i;
    EXPECT_EQ(out[u(set.settings.q_first - 1)], -7.0);  // nothing written off the fitted range
    EXPECT_EQ(out[u(set.settings.q_last + 1)], -7.0);
  }
}

TEST(SharedHelpers, FlatCoefficientsAreOneValueAtEveryPoint) {
  auto run = fit_test::kept_run(KeptConfig{"flat"});
  DataSet& set = run->model.sets[1];
  const int nq = run->model.q.nq;
  EXPECT_TRUE(flat_coefficient(set, 1, nq));
  EXPECT_TRUE(flat_coefficients(set, 2, nq));
  struct Case {
    int point;  // where coefficient 2 differs
    bool flat_within_nq;
  };
  for (const Case c : {Case{2, false}, Case{nq, false}, Case{nq + 1, true}}) {
    auto copy = set.coef[2];
    set.coef[2][u(c.point)] += 0.001f;
    EXPECT_TRUE(flat_coefficient(set, 1, nq)) << c.point;
    EXPECT_EQ(flat_coefficient(set, 2, nq), c.flat_within_nq) << c.point;
    EXPECT_EQ(flat_coefficients(set, 2, nq), c.flat_within_nq) << c.point;
    EXPECT_TRUE(flat_coefficients(set, 1, nq)) << c.point;
    set.coef[2] = copy;
  }
}

}  // namespace
}  // namespace yosta
