// The program's phases from start-up to exit, in one straight sequence.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

struct ProgramOptions {
  std::string parameter_file;        // empty: asked for on the console
  std::optional<std::int32_t> seed;  // instead of the seed from the clock
  std::int64_t max_moves = -1;       // moves this process may make; -1: no limit
  std::string plot_device;           // empty: the interactive plot windows
  std::string names;                 // --names: the basis functions' names for the plots; empty: none
};

// Runs the whole program and returns its exit status: 0 after a run that saved
// every requested solution or when the user declines to begin, 10 after any
// other completed run. Set-up failures throw Stop (status 1).
[[nodiscard]] int run_program(const ProgramOptions& options, Console& console);

// The name of the parameter file typed at a console prompt, used as typed.
// Throws Stop when the input ends before a name is given.
std::string ask_parameter_file(Console& console);

// "Begin (Y/N)?": true unless the answer starts with "N" or the input ends.
bool ask_to_begin(Console& console);

// Exit status at the end of the move cycle.
[[nodiscard]] int finish_run(bool all_saved);

}  // namespace yosta
