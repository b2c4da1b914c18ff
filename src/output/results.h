// The result files root + ".g", ".gsv", ".out" and the save schedule.
#pragma once

#include <string>

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

// Text of each file, as written by a save.
std::string g_file_text(const Run& run);
std::string gsv_file_text(const Run& run);
std::string out_file_text(Run& run);  // refits the corrections for the current model first

// "Saving results ... Do not interrupt", the files (each replaced whole),
// next_save_time += save_interval, "Saving completed".
void save_results(Run& run, Console& console);


}  // namespace yosta
