#include "app/schedule.h"

#include "base/stop.h"
#include "fit/evaluation.h"
#include "fit/health.h"
#include "output/results.h"

namespace yosta {

void save_check(Run& run, Console& console) {
  const RunParameters& p = run.params;
  const bool targets_complete = p.save_targets && run.sums.nsaved == p.nsave;
  const bool move_limit = run.control.max_moves >= 0 && run.control.moves_made >= run.control.max_moves;
  const bool interrupted = run.control.interrupted != nullptr && *run.control.interrupted != 0;
  const bool extra_stop = move_limit || interrupted;
  // Between clock reads the time counts as not yet due; a move that may end
  // the run or save reads it in any case.
  const bool read_clock = run.control.clock_every <= 1 || run.control.moves_made % run.control.clock_every == 0 ||
                          targets_complete || extra_stop;
  if (!read_clock) return;
  // At the same cadence: a run whose cost or chi-squared is no longer a
  // number goes no further (a save would refuse it in any case).
  stop_unless_finite(run, false, failed_after_start_status);
  const double t = run.control.clock.elapsed_minutes();
  const bool clock_set_back = t < 0.0;

  bool saved = false;
  if (clock_set_back || t >= static_cast<double>(run.control.next_save_time) || targets_complete) {
    sync_model(run);
    save_results(run, console);
    saved = true;
  }

  // The command-line extras end the run like the time limit, but always with
  // a save: the last one, unless this move has just made it.
  if (extra_stop && !saved) {
    sync_model(run);
    save_results(run, console);
  }

  if (clock_set_back || t >= static_cast<double>(p.run_time) || extra_stop) run.control.running = false;
}

}  // namespace yosta
