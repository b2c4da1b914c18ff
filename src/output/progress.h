// Progress lines written after accepted moves.
#pragma once

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

// Counts line, one correction line per data set, one line per coordination
// constraint. E is the cost of the move just accepted.
void write_progress(const Run& run, Console& console, float E);

}  // namespace yosta
