#include "app/schedule.h"

#include "base/stop.h"
#include "fit/evaluation.h"
#include "fit/health.h"
#include "model/corrections.h"
#include "output/results.h"

namespace yosta {

bool save_check(Run& run, Console& console, const MoveReport& report) {
  const bool targets_complete = run.params.save_targets && run.sums.nsaved == run.params.nsave;
  const ScheduleDecision d =
      run.schedule.after_move(run.params, run.control.clock, run.control.moves_made, targets_complete, report);
  // At the cadence of the clock reads: a run whose cost or chi-squared is no
  // longer a number goes no further (a save would refuse it in any case).
  if (d.clock_read) stop_unless_finite(run, false, failed_after_start_status);
  if (d.save) save_now(run, console);
  return !d.stop;
}

void save_now(Run& run, Console& console) {
  sync_model(run);
  evaluate(run.params, run.model);
  save_results(run, console);
  run.schedule.saved(run.params);
}

}  // namespace yosta
