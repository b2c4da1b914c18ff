// The save check after every move and the save it makes: the program's side
// of the save schedule (fit/schedule.h), which alone decides when to save and
// when the run ends.
#pragma once

#include "base/console.h"
#include "fit/run.h"

namespace yosta {

// The hook after every move: asks the run's schedule, saves when it says so
// and returns whether the cycle goes on.
bool save_check(Run& run, Console& console, const MoveReport& report);

// A save of the current state: the model brought up to date and refitted for
// the current basis values (after a rejected move the corrections in memory
// belong to the rejected trial), the result files written, and the schedule
// told. The walk does not depend on it.
void save_now(Run& run, Console& console);

// The program reads the clock every this many moves: a save or the time
// limit comes at most this many moves late.
inline constexpr std::int32_t clock_check_moves = 256;
static_assert((clock_check_moves & (clock_check_moves - 1)) == 0, "the schedule tests the count with a mask");

}  // namespace yosta
