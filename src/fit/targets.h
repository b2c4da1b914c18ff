// Saving independent solutions at target chi-squared levels.
#pragma once

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

// After an accepted move, when save_targets: searching -> collecting -> taking.
// Returns true when the set just taken is the last one asked for (nsave): the
// run is to end, with a save on this move (the save schedule decides both).
[[nodiscard]] bool target_check(Run& run, Console& console);

// Back to the default start: values 0, counters 0, hard rules, coordination
// numbers and smoothing in full, full model, E_cur = 1e30.
void reset_to_start(Run& run);

// True when target saving is on and every requested set has been taken.
bool all_sets_saved(const Run& run);

}  // namespace yosta
