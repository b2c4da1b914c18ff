// The starting basis functions: from root + ".g" or the default start, with
// zero and positivity enforced, the starting coordination numbers and
// smoothing penalty, and the saved sums of root + ".gsv" when saving targets.
#pragma once

#include "model/state.h"
#include "base/console.h"

namespace yosta {

// Warns on the console when a start file's dr differs from the derived one.
// Stops on a start or sums file whose nr lies outside 1..12000 (before any row
// is read), on a start file whose first r is not positive, and when the zero
// constraints leave no r point of any basis function free for a move.
// The move counters come from the start file (0 for the default start), the
// sums from the sums file (0 when there is none).
void prepare_start(const RunParameters& par, Model& model, MoveCounts& counts, SaveSums& sums, Console& console);

// The default start: all values 0, then the hard rules, the coordination
// numbers and the smoothing penalty (as at a reset).
void default_start(const RunParameters& par, Model& model);

}  // namespace yosta
