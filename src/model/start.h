// The starting basis functions: from root + ".g" or the default start, with
// zero and positivity enforced, the starting coordination numbers and
// smoothing penalty, and the saved sums of root + ".gsv" when saving targets.
#pragma once

#include "model/run.h"
#include "run/console.h"

namespace yosta {

// Warns on the console when a start file's dr differs from the derived one.
// Stops on a start or sums file whose nr lies outside 1..12000 (before any row
// is read), on a start file whose first r is not positive, and when the zero
// constraints leave no r point of any basis function free for a move.
void prepare_start(Run& run, Console& console);

// The default start: all values 0, counters 0, then the hard rules, the
// coordination numbers and the smoothing penalty (as at a reset).
void default_start(Run& run);

}  // namespace yosta
