// The starting basis functions: from root + ".g" or the default start, with
// zero and positivity enforced, the starting coordination numbers and
// smoothing penalty, and the saved sums of root + ".gsv" when saving targets.
#pragma once

#include "model/state.h"
#include "base/console.h"

namespace yosta {

// Warns on the console when a start file's dr differs from the derived one.
// Stops (through the readers of formats/result_files.h) on a start or sums
// file whose nr lies outside 1..12000 (before any row is read), whose r is not
// positive or out of step, of the other kind (a ".gsv" given as the start), of
// another number of basis functions, or whose sums are impossible.
// The move counters come from the start file (0 for the default start), the
// sums from the sums file (0 when there is none).
void prepare_start(const RunParameters& par, Model& model, MoveCounts& counts, SaveSums& sums, Console& console);

// The default start: all values 0, then the hard rules, the coordination
// numbers and the smoothing penalty (as at a reset).
void default_start(const RunParameters& par, Model& model);

}  // namespace yosta
