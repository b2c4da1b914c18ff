// When a run saves and when it ends. The move cycle reports what happened on
// a move; the schedule alone decides from that, the clock and the limits
// whether the results are saved and whether the cycle goes on. It writes
// nothing itself: the program performs the save it asks for and tells it when
// a save is done.
#pragma once

#include <csignal>
#include <cstdint>

#include "base/clock.h"

namespace yosta {

struct RunParameters;

// What the move cycle reports after a move.
struct MoveReport {
  bool accepted = false;
  // The target check took the last set asked for (nsave): the run ends.
  bool last_set_taken = false;
};

// What the schedule decided after a move.
struct ScheduleDecision {
  bool clock_read = false;  // the clock was read on this move
  bool save = false;
  bool stop = false;
};

struct SaveSchedule {
  float next_save_time = 0;  // minutes since the start of the run
  // The clock is read after every clock_every-th move only (a clock read
  // costs about a tenth of a move); 1 reads it after every move. A power of
  // two (the test is a mask: a division would cost more than the rest of
  // the check).
  std::int32_t clock_every = 1;
  // Extras of the command line.
  std::int64_t max_moves = -1;                              // moves this process may make; -1: no limit
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by SIGINT/SIGTERM

  // Before the first move: the first save at the smaller of the save
  // interval and the run time.
  void start(const RunParameters& p);

  // After a move (moves_made counts it): a save when the time is at or past
  // the next save time, negative (the clock set back), or when every set
  // asked for is saved (targets_complete); a stop at the run time, a
  // negative time, the move limit, an interrupt or the last set taken. The
  // move limit and an interrupt always come with a save. Between clock reads
  // the time counts as not yet due; a move that may end the run or save
  // reads it in any case.
  // Inline: it runs after every move, and a call returning the decision
  // through memory cost more than the rest of the check.
  ScheduleDecision after_move(const RunParameters& p, const RunClock& clock, std::int64_t moves_made,
                              bool targets_complete, const MoveReport& report) const {
    const bool move_limit = max_moves >= 0 && moves_made >= max_moves;
    const bool interrupt = interrupted != nullptr && *interrupted != 0;
    const bool extra_stop = move_limit || interrupt;
    const bool read_clock = clock_every <= 1 || (moves_made & (clock_every - 1)) == 0 || targets_complete || extra_stop;
    if (!read_clock) return ScheduleDecision{false, false, report.last_set_taken};
    return with_clock(p, clock, targets_complete, extra_stop, report);
  }

  // A save was made, whatever caused it: the next is due save_interval later.
  void saved(const RunParameters& p);

 private:
  // The decision of a move on which the clock is read.
  ScheduleDecision with_clock(const RunParameters& p, const RunClock& clock, bool targets_complete, bool extra_stop,
                              const MoveReport& report) const;
};

}  // namespace yosta
