// One run of the fit, by owner: the parameters (read once, then only read),
// the model, the control of the move cycle, the save schedule, the target
// sums, the kept evaluation and the hooks through which the cycle reports. Functions take the
// parts they use; the cycle and the saving take the whole.
#pragma once

#include <cstdint>
#include <memory>

#include "base/clock.h"
#include "fit/evaluation.h"
#include "fit/schedule.h"
#include "input/parameters.h"
#include "model/state.h"

namespace yosta {

// The control of the move cycle: the generator, the counters and the clock.
// `running` is cleared by the cycle alone, when the hook after a move (the
// save schedule) answers that the run ends.
struct CycleControl {
  float E_cur = 1.0e30f;  // cost of the current model
  bool running = true;
  std::int32_t seed = 1;
  std::int32_t generated = 0, accepted = 0;  // move counters
  RunClock clock;
  std::int64_t moves_made = 0;  // by this process
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
// accepted moves and, after every move, what happened on it to the save
// check, which answers whether the cycle goes on. Unset hooks do nothing (an
// unset after_move lets the cycle go on).
struct CycleHooks {
  PlotHook plots;
  void (*progress)(const Run& run, Console& console, float E) = nullptr;
  bool (*after_move)(Run& run, Console& console, const MoveReport& report) = nullptr;
};

struct Run {
  RunParameters params;
  Model model;
  CycleControl control;
  SaveSchedule schedule;
  SaveSums sums;
  EvaluationState kept;
  CycleHooks hooks;
};

// The run lives on the heap: its tables are too large for a stack frame.
std::unique_ptr<Run> make_run();

}  // namespace yosta
