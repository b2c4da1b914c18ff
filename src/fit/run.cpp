#include "fit/run.h"

namespace yosta {

std::unique_ptr<Run> make_run() { return std::make_unique<Run>(); }

}  // namespace yosta
