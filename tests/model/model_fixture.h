// Runs built by hand for the model tests: a regular Q grid, data files in a
// scratch folder, and a helper that catches a Stop and returns its lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fit/run.h"
#include "base/stop.h"

namespace yosta::model_test {

inline std::size_t u(int i) { return static_cast<std::size_t>(i); }

// A run with nq points Q_k = q1 + (k - 1) dq, one fixed-coefficient set per
// basis function count given, fitted over the whole grid.
inline std::unique_ptr<Run> grid_run(int nq, float q1, float dq, int nsets = 1, int nbasis = 1) {
  auto run = make_run();
  run->params.nbasis = nbasis;
  run->params.nsets = nsets;
  run->params.nsets_fixed = nsets;
  run->params.density = 0.05f;
  run->params.Mr = 2;
  run->model.q.nq = nq;
  for (int k = 1; k <= nq; ++k) run->model.q.Q[u(k)] = q1 + static_cast<float>(k - 1) * dq;
  for (int s = 1; s <= nsets; ++s) {
    DataSetSettings& st = run->model.sets[u(s)].settings;
    st.q_first = 1;
    st.q_last = nq;
    run->params.sets[u(s - 1)] = st;
  }
  return run;
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
