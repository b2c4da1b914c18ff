// Helpers both evaluators use to build their tables: the flat-coefficient
// test, the broadening of one row as the model is broadened, and the look-up
// of the whole Gaussian bump centred at an r point.
#pragma once

#include "input/parameters.h"
#include "model/state.h"

namespace yosta {

struct Run;

// True when coefficient p of the set is one value at every Q point 1..nq.
bool flat_coefficient(const DataSet& set, int p, int nq);

// True when every coefficient 1..nbasis of the set is flat.
bool flat_coefficients(const DataSet& set, int nbasis, int nq);

// A row over Q points broadened as the model is, on the set's fitted range:
// out[i] = sum over fitted k (in order) whose window holds i of
// weight_k(i) row[k], for i = q_first..q_last; out and row are indexed by Q
// point and hold at least q_last + 1 values.
void broaden_row(const DataSet& set, const double* row, double* out);

// The whole bump centred at r point j: its half-width and shape, or n = -1
// when it leaves the grid.
struct Bump {
  int n = -1;
  const float* shape = nullptr;  // shape[m], m = 1..2n+1
};
Bump bump_at(const Run& run, int j);

}  // namespace yosta
