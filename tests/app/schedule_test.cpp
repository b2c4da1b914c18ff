// The save schedule: saves at every interval, the end at the time limit, the
// move limit and interrupts, and a whole cycle ended by it.
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
    run->control.next_save_time = std::min(run->params.save_interval, run->params.run_time);
  }

  // One check per time, as after one move each; stops with the run. Returns
  // the times at which a save was made.
  std::vector<double> checks_at(const std::vector<double>& times) {
    std::vector<double> saved;
    for (double t : times) {
      clock.t = t;
      ++run->control.moves_made;
      const int before = count_lines(console_out.str(), "Saving completed");
      save_check(*run, console);
      if (count_lines(console_out.str(), "Saving completed") > before) saved.push_back(t);
      last_check = t;
      if (!run->control.running) break;
    }
    return saved;
  }
  double last_check = -1.0;
};

TEST(SaveCheck, SavesEveryIntervalAndStopsAtTheTimeLimitWithoutAFurtherSave) {
  Schedule s;  // run_time 25, save_interval 10
  EXPECT_EQ(s.checks_at({0.0, 5.0, 9.999, 10.0, 10.5, 19.0, 20.0, 24.999, 25.0, 26.0}),
            (std::vector<double>{10.0, 20.0}));
  EXPECT_FALSE(s.run->control.running);
  EXPECT_EQ(s.last_check, 25.0);
  EXPECT_EQ(s.run->control.next_save_time, 30.0f);
}

TEST(SaveCheck, RunTimeBelowTheIntervalSavesOnceAtTheRunTime) {
  Schedule s;
  s.run->params.run_time = 4.0f;
  s.run->control.next_save_time = std::min(s.run->params.save_interval, s.run->params.run_time);
  EXPECT_EQ(s.checks_at({1.0, 3.99, 4.0, 5.0}), (std::vector<double>{4.0}));
  EXPECT_FALSE(s.run->control.running);
  EXPECT_EQ(s.last_check, 4.0);
}

TEST(SaveCheck, ANegativeElapsedTimeSavesAndStops) {
  Schedule s;
  EXPECT_EQ(s.checks_at({1.0, -0.5, 2.0}), (std::vector<double>{-0.5}));
  EXPECT_FALSE(s.run->control.running);
}

TEST(SaveCheck, EveryRequestedSetSavedMeansASaveOnThatMove) {
  Options o;
  o.save_targets = true;
  Schedule s(o);
  s.run->params.nsave = 3;
  s.run->sums.nsaved = 2;
  EXPECT_TRUE(s.checks_at({1.0}).empty());
  s.run->sums.nsaved = 3;
  EXPECT_EQ(s.checks_at({1.5}), (std::vector<double>{1.5}));
  // Stopping is left to the target check, which has already cleared running.
  EXPECT_TRUE(s.run->control.running);
  EXPECT_TRUE(std::filesystem::exists(s.file(".gsv")));
}

TEST(SaveCheck, MoveLimitEndsTheRunWithOneSave) {
  Schedule s;
  s.run->control.max_moves = 3;
  EXPECT_EQ(s.checks_at({1.0, 2.0, 3.0, 4.0}), (std::vector<double>{3.0}));
  EXPECT_FALSE(s.run->control.running);
  EXPECT_EQ(s.run->control.moves_made, 3);
}

TEST(SaveCheck, MoveLimitOnADueSaveSavesOnlyOnce) {
  Schedule s;
  s.run->control.max_moves = 2;
  EXPECT_EQ(s.checks_at({1.0, 10.0}), (std::vector<double>{10.0}));
  EXPECT_EQ(count_lines(s.console_out.str(), "Saving completed"), 1);
  EXPECT_FALSE(s.run->control.running);
  EXPECT_EQ(s.run->control.next_save_time, 20.0f);
}

TEST(SaveCheck, AnInterruptEndsTheRunWithASave) {
  Schedule s;
  volatile std::sig_atomic_t flag = 0;
  s.run->control.interrupted = &flag;
  EXPECT_TRUE(s.checks_at({1.0, 2.0}).empty());
  EXPECT_TRUE(s.run->control.running);
  flag = 1;
  EXPECT_EQ(s.checks_at({3.0}), (std::vector<double>{3.0}));
  EXPECT_FALSE(s.run->control.running);
  EXPECT_TRUE(std::filesystem::exists(s.file(".g")));
}

// Reading the clock after every fourth move only: a due save waits for the
// next read, the time limit too, and a negative elapsed time is seen then;
// the move limit and an interrupt are acted on at once.
TEST(SaveCheck, ClockReadEveryFewMovesDelaysOnlyTimedEvents) {
  {
    Schedule s;
    s.run->control.clock_every = 4;
    // Moves 1..8; the clock says 10 from move 2 on, 25 from move 6 on: the
    // save due at 10 is made at move 4, the one due at 20 at move 8, where
    // the run ends.
    EXPECT_EQ(s.checks_at({0.0, 10.0, 10.0, 10.0, 10.0, 25.0, 25.0, 25.0}), (std::vector<double>{10.0, 25.0}));
    EXPECT_EQ(count_lines(s.console_out.str(), "Saving completed"), 2);
    EXPECT_EQ(s.run->control.moves_made, 8);
    EXPECT_FALSE(s.run->control.running);
  }
  {
    Schedule s;
    s.run->control.clock_every = 4;
    EXPECT_EQ(s.checks_at({1.0, -0.5, -0.5, -0.5}), (std::vector<double>{-0.5}));
    EXPECT_EQ(s.run->control.moves_made, 4);
    EXPECT_FALSE(s.run->control.running);
  }
  {
    Schedule s;
    s.run->control.clock_every = 4;
    s.run->control.max_moves = 3;
    EXPECT_EQ(s.checks_at({1.0, 2.0, 3.0}), (std::vector<double>{3.0}));
    EXPECT_FALSE(s.run->control.running);
  }
  {
    Schedule s;
    s.run->control.clock_every = 4;
    volatile std::sig_atomic_t flag = 1;
    s.run->control.interrupted = &flag;
    EXPECT_EQ(s.checks_at({1.0}), (std::vector<double>{1.0}));
    EXPECT_FALSE(s.run->control.running);
  }
}

TEST(RunCycle, EndsAtTheMoveLimitWithASave) {
  testing::TempDir dir;
  testing::ModelOptions o;
  auto run = testing::model_run(o);
  run->hooks.after_move = save_check;
  run->params.root = dir.file("walk");
  run->params.root_length = static_cast<std::int32_t>(run->params.root.size());
  run->params.root.resize(80, ' ');
  run->params.title = std::string(80, ' ');
  run->control.max_moves = 25;
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

// A walk whose chi-squared is no longer a number goes no further than the
// next clock read: it stops with the failure status, names the set, and
// writes nothing.
TEST(RunCycle, ANonFiniteChiSquaredEndsTheWalkAtTheNextClockRead) {
  testing::TempDir dir;
  auto run = testing::model_run();
  run->hooks.after_move = save_check;
  run->params.root = dir.file("walk");
  run->params.root_length = static_cast<std::int32_t>(run->params.root.size());
  run->params.root.resize(80, ' ');
  run->params.title = std::string(80, ' ');
  run->control.clock_every = 8;
  run->control.max_moves = 1000;
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
