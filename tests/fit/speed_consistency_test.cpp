// The fast move cycle against the straightforward one of the benchmarks: after
// many moves of the fast cycle, recomputing the model and the evaluation from
// scratch, pass by pass, gives the same F(Q), corrections and chi-squared
// within single-precision tolerance, on every benchmark case; and so do the
// corrections and chi-squared the fast cycle kept for its last move.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "support/straightforward_cycle.h"
#include "support/bench_cases.h"
#include "fit/cycle.h"
#include "model/corrections.h"
#include "app/program.h"
#include "support/test_support.h"

namespace yosta {
namespace {

void check_case(const bench::CaseSize& size, int moves) {
  testing::TempDir dir;
  const std::string param = bench::write_case(size, dir.path());
  std::ostringstream sink;
  std::istringstream none;
  Console console(sink, none);
  std::unique_ptr<Run> run = set_up_run(param, console, 4711);
  for (int i = 0; i < moves; ++i) one_move(*run, console);
  while (!one_move(*run, console)) {
  }  // the coefficients and chi2 the cycle kept now describe the current model
  ASSERT_GT(run->control.accepted, moves / 20) << size.name;
  sync_model(*run);
  float kept_chi2[max_sets + 1], kept_beta[max_sets + 1], kept_a0[max_sets + 1], kept_a1[max_sets + 1];
  for (int s = 1; s <= run->params.nsets; ++s) {
    const DataSet& set = run->model.sets[static_cast<std::size_t>(s)];
    kept_chi2[s] = set.chi2;
    kept_beta[s] = set.beta;
    kept_a0[s] = set.a0;
    kept_a1[s] = set.a1;
  }

  auto literal = std::make_unique<Run>(*run);
  bench::baseline_full_model(*literal);
  const double chi2_literal = bench::baseline_evaluate(*literal);
  const double chi2_fast = evaluate(run->params, run->model);

  for (int s = 1; s <= run->params.nsets; ++s) {
    const DataSet& fast = run->model.sets[static_cast<std::size_t>(s)];
    const DataSet& slow = literal->model.sets[static_cast<std::size_t>(s)];
    float scale = 0.0f;
    for (int k = 1; k <= run->model.q.nq; ++k)
      scale = std::max(scale, std::fabs(slow.F_calc[static_cast<std::size_t>(k)]));
    double worst = 0.0;
    int worst_k = 0;
    for (int k = 1; k <= run->model.q.nq; ++k) {
      const double diff =
          std::fabs(fast.F_calc[static_cast<std::size_t>(k)] - slow.F_calc[static_cast<std::size_t>(k)]);
      if (diff > worst) {
        worst = diff;
        worst_k = k;
      }
    }
    EXPECT_LE(worst, 1e-5 * scale) << size.name << " set " << s << ": F_calc differs most at Q point " << worst_k;
    EXPECT_NEAR(fast.beta, slow.beta, 1e-5f * std::fabs(slow.beta) + 1e-6f) << size.name << " set " << s;
    EXPECT_NEAR(fast.a0, slow.a0, 1e-5f * std::fabs(slow.a0) + 1e-6f) << size.name << " set " << s;
    EXPECT_NEAR(fast.a1, slow.a1, 1e-5f * std::fabs(slow.a1) + 1e-6f) << size.name << " set " << s;
    EXPECT_NEAR(fast.chi2, slow.chi2, 1e-5f * slow.chi2) << size.name << " set " << s;
    // What the cycle itself kept (sums carried from move to move) against the
    // straightforward passes, whose single-precision residuals limit them.
    EXPECT_NEAR(kept_chi2[s], slow.chi2, 1e-4f * slow.chi2) << size.name << " set " << s;
    EXPECT_NEAR(kept_beta[s], slow.beta, 1e-5f * std::fabs(slow.beta) + 1e-6f) << size.name << " set " << s;
    EXPECT_NEAR(kept_a0[s], slow.a0, 1e-5f * std::fabs(slow.a0) + 1e-6f) << size.name << " set " << s;
    EXPECT_NEAR(kept_a1[s], slow.a1, 1e-5f * std::fabs(slow.a1) + 1e-6f) << size.name << " set " << s;
  }
  EXPECT_NEAR(chi2_fast, chi2_literal, 1e-5 * chi2_literal) << size.name;
}

TEST(FastAgainstStraightforward, SmallCase) { check_case(bench::small_case, 20000); }
TEST(FastAgainstStraightforward, MediumCase) { check_case(bench::medium_case, 20000); }
TEST(FastAgainstStraightforward, LargeCase) { check_case(bench::large_case, 1000); }

}  // namespace
}  // namespace yosta
