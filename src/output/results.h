// The result files root + ".g", ".gsv", ".out" and the save schedule.
#pragma once

#include <string>

#include "model/run.h"
#include "run/console.h"

namespace yosta {

// Text of each file, as written by a save.
std::string g_file_text(const Run& run);
std::string gsv_file_text(const Run& run);
std::string out_file_text(Run& run);  // refits the corrections for the current model first

// "Saving results ... Do not interrupt", the files (each replaced whole),
// next_save_time += save_interval, "Saving completed".
void save_results(Run& run, Console& console);

// After every move: saves when due, clears running at the time limit (or a
// negative elapsed time), at --max-moves or on an interrupt.
void save_check(Run& run, Console& console);

}  // namespace yosta
