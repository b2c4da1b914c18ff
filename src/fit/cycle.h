// The Monte Carlo move cycle: propose, update, evaluate, Metropolis test,
// accept or undo, then the progress, target and save checks.
#pragma once

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

// One trial move: propose, shape, evaluate, decide, then keep or undo, and
// the checks after it; returns true when accepted.
bool one_move(Run& run, Console& console);

// Turns until running is cleared: after a move on which the hook after a move
// (the save schedule) answers that the run ends. Returns true when every
// requested target set was saved.
bool run_cycle(Run& run, Console& console);

}  // namespace yosta
