// The save schedule and the end of the cycle.
#pragma once

#include "base/console.h"
#include "fit/run.h"

namespace yosta {

// After every move: saves when due, clears running at the time limit (or a
// negative elapsed time), at --max-moves or on an interrupt. The time is read
// after every run.control.clock_every-th move and on moves that end the run
// or complete the target sets.
void save_check(Run& run, Console& console);

// The program reads the clock every this many moves: a save or the time
// limit comes at most this many moves late.
inline constexpr std::int32_t clock_check_moves = 256;

}  // namespace yosta
