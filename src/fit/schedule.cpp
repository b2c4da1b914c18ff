#include "fit/schedule.h"

#include <algorithm>

#include "input/parameters.h"

namespace yosta {

void SaveSchedule::start(const RunParameters& p) { next_save_time = std::min(p.save_interval, p.run_time); }

ScheduleDecision SaveSchedule::after_move(const RunParameters& p, const RunClock& clock, std::int64_t moves_made,
                                          bool targets_complete, const MoveReport& report) const {
  const bool move_limit = max_moves >= 0 && moves_made >= max_moves;
  const bool interrupt = interrupted != nullptr && *interrupted != 0;
  const bool extra_stop = move_limit || interrupt;
  const bool read_clock = clock_every <= 1 || moves_made % clock_every == 0 || targets_complete || extra_stop;
  ScheduleDecision d;
  d.stop = report.last_set_taken;
  if (!read_clock) return d;
  d.clock_read = true;
  const double t = clock.elapsed_minutes();
  const bool clock_set_back = t < 0.0;
  // The command-line extras end the run like the time limit, but always with
  // a save.
  d.save = clock_set_back || t >= static_cast<double>(next_save_time) || targets_complete || extra_stop;
  d.stop = d.stop || clock_set_back || t >= static_cast<double>(p.run_time) || extra_stop;
  return d;
}

void SaveSchedule::saved(const RunParameters& p) { next_save_time += p.save_interval; }

}  // namespace yosta
