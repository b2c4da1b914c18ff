// One run of the fit, by owner: the parameters (read once, then only read),
// the model, the control of the move cycle, the target sums, the kept
// evaluation and the hooks through which the cycle reports. Functions take the
// parts they use; the cycle and the saving take the whole.
#pragma once

#include <csignal>
#include <cstdint>
#include <memory>

#include "base/clock.h"
#include "fit/evaluation.h"
#include "input/parameters.h"
#include "model/state.h"

namespace yosta {

// The control of the move cycle: the generator, the counters, the clock and
// the limits that end the cycle.
struct CycleControl {
  float E_cur = 1.0e30f;  // cost of the current model
  bool running = true;
  std::int32_t seed = 1;
  std::int32_t generated = 0, accepted = 0;  // move counters
  RunClock clock;
  float next_save_time = 0;  // minutes
  // The save check reads the clock after every clock_every-th move only (a
  // clock read costs about a tenth of a move); 1 reads it after every move.
  std::int32_t clock_every = 1;

  // Extras of the command line.
  std::int64_t max_moves = -1;  // moves this process may make; -1: no limit
  std::int64_t moves_made = 0;
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by SIGINT/SIGTERM
};

// Called after an accepted move when the plots are due; set by the display.
// `refresh` brings the model up to date (sync_model) itself, and only when it
// draws: the cycle does not rebuild F(Q) for a refresh that is skipped.
// `repaint` copies the last drawing back to the windows (a covered window is
// restored between refreshes); the cycle calls it every few thousand moves.
struct PlotHook {
  void (*refresh)(void* context) = nullptr;
  void (*repaint)(void* context) = nullptr;
  void* context = nullptr;
};

struct Run;
class Console;

// What the cycle reports to the layers above it: the progress lines after
// accepted moves and the save check after every move (which may end the
// cycle). Unset hooks do nothing.
struct CycleHooks {
  PlotHook plots;
  void (*progress)(const Run& run, Console& console, float E) = nullptr;
  void (*after_move)(Run& run, Console& console) = nullptr;
};

struct Run {
  RunParameters params;
  Model model;
  CycleControl control;
  SaveSums sums;
  EvaluationState kept;
  CycleHooks hooks;
};

// The run lives on the heap: its tables are too large for a stack frame.
std::unique_ptr<Run> make_run();

}  // namespace yosta
