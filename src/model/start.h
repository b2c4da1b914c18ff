// The starting basis functions: from root + ".g" or the default start, with
// zero and positivity enforced, the starting coordination numbers and
// smoothing penalty, and the saved sums of root + ".gsv" when saving targets.
#pragma once

#include "model/run.h"
#include "run/console.h"

namespace yosta {

// Warns on the console when a start file's dr differs from the derived one.
void prepare_start(Run& run, Console& console);

// The default start: all values 0, counters 0, then the hard rules, the
// coordination numbers and the smoothing penalty (as at a reset).
void default_start(Run& run);

}  // namespace yosta
