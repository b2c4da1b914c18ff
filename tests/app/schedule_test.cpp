// The save schedule: saves at every interval, the end at the time limit, the
// move limit, interrupts and the last target set, the save it makes, and
// whole cycles ended by it.
#include "app/schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <vector>

#include "support/run_builder.h"
#include "fit/cycle.h"
#include "output/results_fixture.h"
#include "support/test_support.h"
#include "base/stop.h"
#include "formats/result_files.h"
#include "output/results.h"

namespace yosta {
namespace {

using namespace results_test;

struct Transcript {
  std::ostringstream out;
  std::istringstream in;
  Console console{out, in};
};

// ---------------------------------------------------------------- the schedule

struct FakeClock {
  double t = 0.0;
  static double now(const void* context) { return static_cast<const FakeClock*>(context)->t; }
};

struct Schedule : Fixture {
  FakeClock clock;
  explicit Schedule(const Options& o = {}) : Fixture(o) {
    run->control.clock.start_time = 0.0;
    run->control.clock.now = &FakeClock::now;
    run->control.clock.context = &clock;
    // As the cycle sets it before the first move.
    run->schedule.start(run->params);
  }

  // One check per time, as after one move each; stops with the run. Returns
  // the times at which a save was made.
  std::vector<double> checks_at(const std::vector<double>& times) {
    std::vector<double> saved;
    for (double t : times) {
      clock.t = t;
      ++run->control.moves_made;
      const int before = count_lines(console_out.str(), "Saving completed");
      going = save_check(*run, console, report);
      if (count_lines(console_out.str(), "Saving completed") > before) saved.push_back(t);
      last_check = t;
      if (!going) break;
    }
    return saved;
  }
  double last_check = -1.0;
  bool going = true;
  MoveReport report;
};

TEST(SaveCheck, SavesEveryIntervalAndStopsAtTheTimeLimitWithoutAFurtherSave) {
  Schedule s;  // run_time 25, save_interval 10
  EXPECT_EQ(s.checks_at({0.0, 5.0, 9.999, 10.0, 10.5, 19.0, 20.0, 24.999, 25.0, 26.0}),
            (std::vector<double>{10.0, 20.0}));
  EXPECT_FALSE(s.going);
  EXPECT_EQ(s.last_check, 25.0);
  EXPECT_EQ(s.run->schedule.next_save_time, 30.0f);
}

TEST(SaveCheck, RunTimeBelowTheIntervalSavesOnceAtTheRunTime) {
  Schedule s;
  s.run->params.run_time = 4.0f;
  s.run->schedule.start(s.run->params);
  EXPECT_EQ(s.checks_at({1.0, 3.99, 4.0, 5.0}), (std::vector<double>{4.0}));
  EXPECT_FALSE(s.going);
  EXPECT_EQ(s.last_check, 4.0);
}

TEST(SaveCheck, ANegativeElapsedTimeSavesAndStops) {
  Schedule s;
  EXPECT_EQ(s.checks_at({1.0, -0.5, 2.0}), (std::vector<double>{-0.5}));
  EXPECT_FALSE(s.going);
}

TEST(SaveCheck, TheLastTargetSetTakenSavesOnThatMoveAndEndsTheRun) {
  Options o;
  o.save_targets = true;
  Schedule s(o);
  s.run->params.nsave = 3;
  s.run->sums.nsaved = 2;
  EXPECT_TRUE(s.checks_at({1.0}).empty());
  EXPECT_TRUE(s.going);
  s.run->sums.nsaved = 3;
  s.report.last_set_taken = true;
  EXPECT_EQ(s.checks_at({1.5}), (std::vector<double>{1.5}));
  EXPECT_FALSE(s.going);
  EXPECT_TRUE(std::filesystem::exists(s.file(".gsv")));
  EXPECT_EQ(formats::read_gsv_file(s.file(".gsv")).nsaved, 3);
}

// With nsave 0 the first set taken ends the run, and since the counts then
// differ (1 saved, 0 asked for) that move makes no save of its own.
TEST(SaveCheck, ASetTakenBeyondNsaveEndsTheRunWithoutASave) {
  Options o;
  o.save_targets = true;
  Schedule s(o);
  s.run->params.nsave = 0;
  s.run->sums.nsaved = 1;
  s.report.last_set_taken = true;
  EXPECT_TRUE(s.checks_at({1.0}).empty());
  EXPECT_FALSE(s.going);
}

TEST(SaveCheck, MoveLimitEndsTheRunWithOneSave) {
  Schedule s;
  s.run->schedule.max_moves = 3;
  EXPECT_EQ(s.checks_at({1.0, 2.0, 3.0, 4.0}), (std::vector<double>{3.0}));
  EXPECT_FALSE(s.going);
  EXPECT_EQ(s.run->control.moves_made, 3);
}

TEST(SaveCheck, MoveLimitOnADueSaveSavesOnlyOnce) {
  Schedule s;
  s.run->schedule.max_moves = 2;
  EXPECT_EQ(s.checks_at({1.0, 10.0}), (std::vector<double>{10.0}));
  EXPECT_EQ(count_lines(s.console_out.str(), "Saving completed"), 1);
  EXPECT_FALSE(s.going);
  EXPECT_EQ(s.run->schedule.next_save_time, 20.0f);
}

TEST(SaveCheck, AnInterruptEndsTheRunWithASave) {
  Schedule s;
  volatile std::sig_atomic_t flag = 0;
  s.run->schedule.interrupted = &flag;
  EXPECT_TRUE(s.checks_at({1.0, 2.0}).empty());
  EXPECT_TRUE(s.going);
  flag = 1;
  EXPECT_EQ(s.checks_at({3.0}), (std::vector<double>{3.0}));
  EXPECT_FALSE(s.going);
  EXPECT_TRUE(std::filesystem::exists(s.file(".g")));
}

// Reading the clock after every fourth move only: a due save waits for the
// next read, the time limit too, and a negative elapsed time is seen then;
// the move limit and an interrupt are acted on at once.
TEST(SaveCheck, ClockReadEveryFewMovesDelaysOnlyTimedEvents) {
  {
    Schedule s;
    s.run->schedule.clock_every = 4;
    // Moves 1..8; the clock says 10 from move 2 on, 25 from move 6 on: the
    // save due at 10 is made at move 4, the one due at 20 at move 8, where
    // the run ends.
    EXPECT_EQ(s.checks_at({0.0, 10.0, 10.0, 10.0, 10.0, 25.0, 25.0, 25.0}), (std::vector<double>{10.0, 25.0}));
    EXPECT_EQ(count_lines(s.console_out.str(), "Saving completed"), 2);
    EXPECT_EQ(s.run->control.moves_made, 8);
    EXPECT_FALSE(s.going);
  }
  {
    Schedule s;
    s.run->schedule.clock_every = 4;
    EXPECT_EQ(s.checks_at({1.0, -0.5, -0.5, -0.5}), (std::vector<double>{-0.5}));
    EXPECT_EQ(s.run->control.moves_made, 4);
    EXPECT_FALSE(s.going);
  }
  {
    Schedule s;
    s.run->schedule.clock_every = 4;
    s.run->schedule.max_moves = 3;
    EXPECT_EQ(s.checks_at({1.0, 2.0, 3.0}), (std::vector<double>{3.0}));
    EXPECT_FALSE(s.going);
  }
  {
    Schedule s;
    s.run->schedule.clock_every = 4;
    volatile std::sig_atomic_t flag = 1;
    s.run->schedule.interrupted = &flag;
    EXPECT_EQ(s.checks_at({1.0}), (std::vector<double>{1.0}));
    EXPECT_FALSE(s.going);
  }
}

// ---------------------------------------------------------------- the save

TEST(SaveNow, RefitsTheCorrectionsForTheCurrentModelBeforeWriting) {
  // Rezeroing alone: a0 is the weighted mean of model minus data, 0.25 here.
  Options o;
  o.rezero = true;
  Schedule s(o);
  DataSet& set = s.run->model.sets[1];
  // What a rejected move leaves in memory: corrections of another model.
  set.a0 = 99.0f;
  set.beta = 7.0f;
  save_now(*s.run, s.console);
  EXPECT_NEAR(set.a0, 0.25f, 1e-5f);
  EXPECT_EQ(set.beta, 1.0f);
  const std::vector<std::string> lines = split_lines(read_file(s.file(".out")));
  for (int k = 5; k <= 104; ++k) {
    const std::vector<float> row = numbers(lines.at(static_cast<std::size_t>(7 + k - 5)));
    ASSERT_EQ(row.size(), 4u);
    EXPECT_NEAR(row[2], set.F_calc[k], 1e-5f) << "corrected data lie on the model, k " << k;
    EXPECT_NEAR(row[3], 0.25f, 1e-5f) << "background, k " << k;
  }
  // Writing the text again changes nothing: output only writes.
  EXPECT_EQ(out_file_text(*s.run), read_file(s.file(".out")));
  EXPECT_EQ(s.run->schedule.next_save_time, 20.0f);  // the first save was due at 10
}

TEST(SaveNow, WritesTheComparedModelBroadenedFromTheCurrentModel) {
  Options o;
  o.resolution = true;
  Schedule s(o);
  DataSet& set = s.run->model.sets[1];
  // One-point windows of weight one half: the compared model is half the model.
  for (int k = 5; k <= 104; ++k) {
    set.lo[k] = k;
    set.hi[k] = k;
    set.weight[k][0] = 0.5f;
  }
  for (int k = 1; k <= s.run->model.q.nq; ++k) set.M[k] = 999.0f;  // stale
  save_now(*s.run, s.console);
  const std::vector<float> row = numbers(split_lines(read_file(s.file(".out"))).at(7 + 9));  // Q_14
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(row[2], 0.5f * set.F_calc[14]);
}

TEST(SaveNow, AFailedSaveLeavesTheNextSaveTime) {
  Schedule s;
  std::filesystem::create_directory(s.file(".g"));  // the ".g" name taken by a folder
  EXPECT_THROW(save_now(*s.run, s.console), Stop);
  EXPECT_EQ(s.run->schedule.next_save_time, 10.0f);
}

// ---------------------------------------------------------------- whole cycles

std::unique_ptr<Run> walk_in(testing::TempDir& dir, const char* name) {
  testing::ModelOptions o;
  auto run = testing::model_run(o);
  run->hooks.after_move = save_check;
  run->params.root = dir.file(name);
  run->params.root_length = static_cast<std::int32_t>(run->params.root.size());
  run->params.root.resize(80, ' ');
  run->params.title = std::string(80, ' ');
  return run;
}

TEST(RunCycle, EndsAtTheMoveLimitWithASave) {
  testing::TempDir dir;
  auto run = walk_in(dir, "walk");
  run->schedule.max_moves = 25;
  Transcript t;
  EXPECT_FALSE(run_cycle(*run, t.console));  // no target sets asked for
  EXPECT_EQ(run->control.generated, 25);
  EXPECT_EQ(run->control.moves_made, 25);
  EXPECT_FALSE(run->control.running);
  // The final save holds the state the walk ended in.
  const formats::GFile g = formats::read_g_file(dir.file("walk.g"));
  EXPECT_EQ(g.generated, 25);
  EXPECT_EQ(g.accepted, run->control.accepted);
  ASSERT_EQ(g.nbasis(), 2);
  ASSERT_EQ(g.nr(), 30);
  for (int p = 1; p <= 2; ++p) {
    for (int j = 1; j <= 30; ++j) {
      EXPECT_EQ(g.v[static_cast<std::size_t>(p - 1)][static_cast<std::size_t>(j - 1)],
                run->model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)])
          << p << " " << j;
    }
  }
}

// A save after every move (the clock always past the next save time) and no
// save at all give the same walk from the same seed.
TEST(RunCycle, SavesDoNotChangeTheWalk) {
  testing::TempDir dir;
  auto saving = walk_in(dir, "saving");
  auto quiet = walk_in(dir, "quiet");
  FakeClock late{5.0};
  saving->params.run_time = 1.0e6f;
  saving->params.save_interval = 1.0f;
  saving->schedule.start(saving->params);
  saving->control.clock.start_time = -1.0e5;  // elapsed: 1e5 minutes, always due
  saving->control.clock.now = &FakeClock::now;
  saving->control.clock.context = &late;
  for (auto* run : {saving.get(), quiet.get()}) {
    run->control.seed = 777;
    run->schedule.max_moves = 400;
  }
  Transcript t1, t2;
  run_cycle(*saving, t1.console);
  run_cycle(*quiet, t2.console);
  EXPECT_EQ(count_lines(t1.out.str(), "Saving completed"), 400);
  EXPECT_EQ(count_lines(t2.out.str(), "Saving completed"), 1);
  EXPECT_EQ(saving->control.seed, quiet->control.seed);
  EXPECT_EQ(saving->control.accepted, quiet->control.accepted);
  EXPECT_EQ(saving->control.E_cur, quiet->control.E_cur);
  EXPECT_EQ(read_file(dir.file("saving.g")), read_file(dir.file("quiet.g")));
}

// Targets every fit meets: each set is taken after 5 times the accepted moves
// that met it, the fit restarts, and the last set ends the cycle with one save
// on that move, holding every set.
TEST(RunCycle, TheLastTargetSetEndsTheCycleWithASaveOfEverySet) {
  testing::TempDir dir;
  auto run = walk_in(dir, "targets");
  run->params.save_targets = true;
  run->params.nsave = 2;
  run->model.sets[1].settings.target_chi2 = 1.0e30f;
  run->schedule.max_moves = 100000;  // a guard: the sets end the run long before
  Transcript t;
  EXPECT_TRUE(run_cycle(*run, t.console));
  EXPECT_LT(run->control.moves_made, 100000);
  const std::string text = t.out.str();
  EXPECT_EQ(count_lines(text, " Saved     1 sets of values"), 1);
  EXPECT_EQ(count_lines(text, " Resetting G(r) to start"), 1);
  EXPECT_EQ(count_lines(text, " Saved     2 sets of values"), 1);
  EXPECT_EQ(count_lines(text, "Saving completed"), 1);
  EXPECT_LT(text.find(" Saved     2 sets of values"), text.find("Saving results ... Do not interrupt"));
  const formats::GsvFile gsv = formats::read_gsv_file(dir.file("targets.gsv"));
  EXPECT_EQ(gsv.nsaved, 2);
  EXPECT_EQ(gsv.collect_count, 0);
}

// A walk whose chi-squared is no longer a number goes no further than the
// next clock read: it stops with the failure status, names the set, and
// writes nothing.
TEST(RunCycle, ANonFiniteChiSquaredEndsTheWalkAtTheNextClockRead) {
  testing::TempDir dir;
  auto run = walk_in(dir, "walk");
  run->schedule.clock_every = 8;
  run->schedule.max_moves = 1000;
  run->kept.sets[1].kept.EE = std::numeric_limits<double>::quiet_NaN();
  Transcript t;
  try {
    run_cycle(*run, t.console);
    ADD_FAILURE() << "the walk went on";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, failed_after_start_status);
    EXPECT_EQ(std::string(stop.what()).rfind("Data set 1 (", 0), 0u) << stop.what();
    EXPECT_NE(std::string(stop.what()).find("its chi-squared is not a finite number (nan) at move 8;"),
              std::string::npos)
        << stop.what();
  }
  EXPECT_EQ(run->control.moves_made, 8);
  EXPECT_EQ(run->control.accepted, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("walk.g")));
  EXPECT_EQ(t.out.str(), "");
}

}  // namespace
}  // namespace yosta
