// The save schedule and the end of the cycle.
#pragma once

#include "base/console.h"
#include "fit/run.h"

namespace yosta {

// After every move: saves when due, clears running at the time limit (or a
// negative elapsed time), at --max-moves or on an interrupt.
void save_check(Run& run, Console& console);

}  // namespace yosta
