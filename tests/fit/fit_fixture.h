// Small runs built by hand for the fit tests: a grid only (for the rules and
// penalties), or a full model with data, tables and corrections (for the cycle,
// model_run of the test support).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "model/corrections.h"
#include "fit/evaluation.h"
#include "fit/run.h"
#include "support/run_builder.h"
#include "model/transform.h"

namespace yosta::fit_test {

// A run with only the r grid and basis values, and runs ready to move, from
// the test support.
inline std::unique_ptr<Run> grid_run(int nbasis, int nr, float dr, float Z = -1.0f) {
  return testing::r_grid_run(nbasis, nr, dr, Z);
}
using testing::model_run;
using testing::ModelOptions;
using testing::never;
using testing::use_gaussian_moves;

}  // namespace yosta::fit_test
