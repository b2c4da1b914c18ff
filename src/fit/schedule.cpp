#include "fit/schedule.h"

#include <algorithm>

#include "input/parameters.h"

namespace yosta {

void SaveSchedule::start(const RunParameters& p) { next_save_time = std::min(p.save_interval, p.run_time); }

ScheduleDecision SaveSchedule::with_clock(const RunParameters& p, const RunClock& clock, bool targets_complete,
                                          bool extra_stop, const MoveReport& report) const {
  ScheduleDecision d;
  d.clock_read = true;
  const double t = clock.elapsed_minutes();
  const bool clock_set_back = t < 0.0;
  // The command-line extras end the run like the time limit, but always with
  // a save.
  d.save = clock_set_back || t >= static_cast<double>(next_save_time) || targets_complete || extra_stop;
  d.stop = report.last_set_taken || clock_set_back || t >= static_cast<double>(p.run_time) || extra_stop;
  return d;
}

void SaveSchedule::saved(const RunParameters& p) { next_save_time += p.save_interval; }

}  // namespace yosta
