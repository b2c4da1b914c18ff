// Runs built by hand for the model tests: a regular Q grid, data files in a
// scratch folder, and a helper that catches a Stop and returns its lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fit/run.h"
#include "support/run_builder.h"
#include "base/stop.h"

namespace yosta::model_test {

inline std::size_t u(int i) { return static_cast<std::size_t>(i); }

// A run with nq points Q_k = q1 + (k - 1) dq and nsets fixed-coefficient
// sets fitted over the whole grid.
inline std::unique_ptr<Run> grid_run(int nq, float q1, float dq, int nsets = 1, int nbasis = 1) {
  return testing::RunBuilder().basis(nbasis).sets(nsets).q_grid(nq, q1, dq).build();
}

// The lines of the Stop that `f` throws; empty when it throws none.
inline std::vector<std::string> stop_lines(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& stop) {
    return stop.lines.empty() ? std::vector<std::string>{""} : stop.lines;
  }
  return {};
}

inline std::string first_line(const std::function<void()>& f) {
  const auto lines = stop_lines(f);
  return lines.empty() ? std::string("<no stop>") : lines.front();
}

}  // namespace yosta::model_test
