// The target state machine: searching, collecting, taking; the console lines
// and the reset to the default start.
#include "fit/targets.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/constraints.h"
#include "fit/fit_fixture.h"

namespace yosta {
namespace {

using fit_test::model_run;
using fit_test::ModelOptions;

class Targets : public ::testing::Test {
 protected:
  void SetUp() override {
    ModelOptions o;
    o.nsets = 2;
    run_ = model_run(o);
    run_->params.save_targets = true;
    run_->params.nsave = 3;
    run_->model.sets[1].settings.target_chi2 = 1.0f;
    run_->model.sets[2].settings.target_chi2 = 2.0f;
    ASSERT_EQ(run_->model.sets[1].N, 40.0f);
    fit(0.9f, 1.9f);
  }
  // Normalised chi-squared of both sets, as an accepted move left them.
  void fit(float x1, float x2) {
    run_->model.sets[1].chi2 = x1 * run_->model.sets[1].N;
    run_->model.sets[2].chi2 = x2 * run_->model.sets[2].N;
  }
  // One accepted move, as the cycle counts it, then the check; last_taken
  // holds what the check reported.
  void accepted_move() {
    ++run_->control.generated;
    ++run_->control.accepted;
    last_taken = target_check(*run_, console_);
  }
  std::string transcript() {
    std::string text = out_.str();
    out_.str("");
    return text;
  }

  std::unique_ptr<yosta::Run> run_;
  bool last_taken = false;
  std::ostringstream out_;
  std::istringstream in_;
  Console console_{out_, in_};
};

TEST_F(Targets, NothingWithoutSaveTargets) {
  run_->params.save_targets = false;
  run_->control.accepted = 100;
  EXPECT_FALSE(target_check(*run_, console_));
  EXPECT_EQ(run_->sums.collect_count, 0);
  EXPECT_EQ(run_->control.accepted, 100);
  EXPECT_EQ(transcript(), "");
  EXPECT_FALSE(all_sets_saved(*run_));
}

TEST_F(Targets, EveryDataSetMustMeetItsTargetAndEqualPasses) {
  run_->control.accepted = 99;
  fit(0.9f, 2.1f);
  accepted_move();
  EXPECT_EQ(run_->sums.collect_count, 0);
  EXPECT_EQ(run_->control.accepted, 100);
  fit(1.0f, 2.0f);  // exactly at both targets
  accepted_move();
  EXPECT_EQ(run_->sums.collect_count, 5 * 101);
  EXPECT_EQ(run_->control.accepted, 0);
  EXPECT_EQ(run_->control.generated, 0);
  EXPECT_EQ(transcript(), "");
}

TEST_F(Targets, ThreeSetsThenTheCycleStops) {
  run_->params.zero.push_back({1, 0.0f, 3.0f * run_->model.r.dr});
  run_->params.positivity.push_back({2, 0.0f, 100.0f});
  run_->params.coordination.push_back({2, 0.0f, 100.0f, 1.0f, 1.0f, 5.0f, 1.0f});
  const char* saved_lines[] = {" Saved     1 sets of values\n", " Saved     2 sets of values\n",
                               " Saved     3 sets of values\n"};
  for (int set = 0; set < 3; ++set) {
    // Searching until the targets are met at accepted count 100.
    fit(3.0f, 3.0f);
    for (int i = 0; i < 99; ++i) accepted_move();
    fit(0.5f, 0.5f);
    accepted_move();
    ASSERT_EQ(run_->sums.collect_count, 500);
    // Collecting: the set is taken after 500 more, whatever chi2 does meanwhile.
    fit(5.0f, 5.0f);
    run_->model.v[2][7] = -0.5f;
    for (int i = 0; i < 499; ++i) accepted_move();
    EXPECT_EQ(run_->sums.nsaved, set);
    EXPECT_EQ(transcript(), "");
    run_->control.E_cur = 12.0f;
    accepted_move();
    EXPECT_EQ(run_->sums.nsaved, set + 1);
    EXPECT_EQ(run_->sums.collect_count, 0);
    EXPECT_EQ(run_->control.accepted, 0);
    EXPECT_EQ(run_->control.generated, 0);
    EXPECT_FLOAT_EQ(run_->sums.S1[2][7], -0.5f * static_cast<float>(set + 1));
    EXPECT_FLOAT_EQ(run_->sums.S2[2][7], 0.25f * static_cast<float>(set + 1));
    if (set < 2) {
      EXPECT_EQ(transcript(), std::string(saved_lines[set]) + " Resetting G(r) to start\n");
      EXPECT_FALSE(last_taken);
      EXPECT_EQ(run_->control.E_cur, 1.0e30f);
      EXPECT_FALSE(all_sets_saved(*run_));
    } else {
      EXPECT_EQ(transcript(), saved_lines[set]);
      EXPECT_TRUE(last_taken);
      EXPECT_EQ(run_->control.E_cur, 12.0f);  // no reset after the last set
      EXPECT_TRUE(all_sets_saved(*run_));
    }
  }
}

TEST_F(Targets, ContinuedRunWithTwoSetsNeedsOneMore) {
  run_->sums.nsaved = 2;
  run_->control.accepted = 9;
  accepted_move();
  ASSERT_EQ(run_->sums.collect_count, 50);
  for (int i = 0; i < 50; ++i) accepted_move();
  EXPECT_EQ(transcript(), " Saved     3 sets of values\n");
  EXPECT_TRUE(last_taken);
  EXPECT_TRUE(all_sets_saved(*run_));
}

TEST_F(Targets, NoSetsRequestedStopsAtTheFirstSetUnfinished) {
  run_->params.nsave = 0;
  accepted_move();
  for (int i = 0; i < 5; ++i) accepted_move();
  EXPECT_EQ(run_->sums.nsaved, 1);
  EXPECT_TRUE(last_taken);
  EXPECT_FALSE(all_sets_saved(*run_));  // the counts now differ
}

TEST_F(Targets, ResetRebuildsTheDefaultStart) {
  yosta::Run& run = *run_;
  const float dr = run.model.r.dr;
  run.params.zero.push_back({1, 2.0f * dr, 5.0f * dr});
  run.params.positivity.push_back({2, 0.0f, 100.0f});
  run.params.coordination.push_back({1, 0.0f, 10.0f * dr, 1.0f, 1.0f, 2.0f, 0.5f});
  run.params.smoothing_on = true;
  run.params.smoothing_type = 2;
  run.params.smoothing_weight = 1.0f;
  run.params.smoothing_exponent = 3.0f;
  run.sums.nsaved = 1;
  run.sums.S1[1][3] = 7.0f;
  for (int p = 1; p <= 2; ++p) {
    for (int j = 1; j <= run.model.r.nr; ++j)
      run.model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.3f;
  }
  run.control.generated = 40;
  run.control.accepted = 20;
  run.model.Nc[1] = 99.0f;
  run.model.S = 99.0f;
  run.control.E_cur = 5.0f;
  reset_to_start(run);
  for (int j = 1; j <= run.model.r.nr; ++j) {
    const auto ju = static_cast<std::size_t>(j);
    EXPECT_EQ(run.model.v[1][ju], j >= 2 && j <= 5 ? run.model.Z : 0.0f) << j;
    EXPECT_EQ(run.model.v[2][ju], 0.0f) << j;
  }
  EXPECT_EQ(run.control.generated, 0);
  EXPECT_EQ(run.control.accepted, 0);
  EXPECT_EQ(run.control.E_cur, 1.0e30f);
  EXPECT_EQ(run.sums.nsaved, 1);
  EXPECT_EQ(run.sums.S1[1][3], 7.0f);
  // Coordination: the four floor points contribute 0, the rest v - Z = 1.
  EXPECT_GT(run.model.Nc[1], 0.0f);
  EXPECT_LT(run.model.Nc[1], 99.0f);
  // Smoothing: only the curvature at the steps of the floor range is left.
  EXPECT_GT(run.model.S, 0.0f);
  const float S = run.model.S;
  smoothing_full(run.params, run.model);
  EXPECT_EQ(run.model.S, S);
  // The model is that of the reset values.
  const auto F = run.model.sets[1].F_calc;
  full_model(run.params, run.model);
  EXPECT_EQ(run.model.sets[1].F_calc, F);
}

}  // namespace
}  // namespace yosta
