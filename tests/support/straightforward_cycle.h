// A straightforward move cycle that follows the move steps literally: the
// kernel with an integer remainder at every value, the model update set by
// set, and separate passes for the compared model, the four sums and
// chi-squared. The yardstick for the speed of the real cycle, and a second
// opinion on its numbers.
#pragma once

#include "fit/run.h"

namespace yosta::bench {

// M, corrections and chi2 of every set from F_calc, pass by pass; returns the
// total data chi-squared.
double baseline_evaluate(Run& run);

// F_calc of every set recomputed from the basis values, point by point.
void baseline_full_model(Run& run);

// One trial move, without progress lines, targets or saves.
bool baseline_move(Run& run);

}  // namespace yosta::bench
