// The run report: the echo of the whole set-up, ending with the progress header.
#pragma once

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

void write_report(const Run& run, Console& console);

}  // namespace yosta
