#include "app/schedule.h"

#include "fit/evaluation.h"
#include "model/corrections.h"
#include "output/results.h"

namespace yosta {

bool save_check(Run& run, Console& console, const MoveReport& report) {
  const bool targets_complete = run.params.save_targets && run.sums.nsaved == run.params.nsave;
  const ScheduleDecision d =
      run.schedule.after_move(run.params, run.control.clock, run.control.moves_made, targets_complete, report);
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
