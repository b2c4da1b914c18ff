// Reading the experimental data files onto the common Q grid.
#pragma once

#include "base/console.h"
#include "model/state.h"

namespace yosta {

// Reads the data file of every set (fixed-coefficient sets first) into
// model.sets[1..nsets] and model.q; lowers q_last to nq; applies the sigma rules.
// Stops with "Too many Q points" / "Incompatible Q points in data files", and
// with a message naming the file on a file of fewer than two points, a last Q
// value not above zero, or a fitted point range outside the file's points.
// Values left over on point rows, and lines after the last point, are ignored
// with one warning line each per file on `console` (when given).
void read_data_sets(const RunParameters& par, Model& model, Console* console = nullptr);

}  // namespace yosta
