// The transform from basis values on the r grid to model F(Q) on the Q grid,
// through one sine table: Q_k r_j = 2 pi (k + q_offset) j / P.
#pragma once

#include "model/state.h"

namespace yosta {

// dq, q_offset, nq_grid; stops with " Q-values are not multiples of dq ",
// and on Q values that do not increase or a first Q value below zero.
void check_q_grid(Model& model);

// Reciprocal Q table, P, sinqr, the Q-zero factor; stops with
// " Vector sinqr to small (re-dimension) " when P > 16500.
void build_tables(const RunParameters& par, Model& model);

// K(k, j) = 4 pi rho dr r_j sin(Q_k r_j) / Q_k, in single precision.
inline float kernel(const Model& model, int k, int j) {
  const std::int32_t a = k + model.q.q_offset;
  if (a == 0) return static_cast<float>(j * j) * model.tables.q_zero_factor;
  const std::int32_t m = (a * j) % model.tables.P;
  return model.tables.sinqr[m] * model.tables.reciprocal[k] * static_cast<float>(j);
}

// F_calc of every set at every Q point from the basis values, plus background.
// K(k, j) for k = 1..nq into K[1..nq]: bit for bit the kernel() value, with
// the table index advanced by j per Q point instead of a remainder.
void kernel_row(const Model& model, int j, float* K);

void full_model(const RunParameters& par, Model& model);

// The change of F_calc of every set for changes d[0..n-1] of basis function p
// at r points j0..j0+n-1 (zero changes and points off the grid skipped);
// writes set.change and adds it to set.F_calc. Bit for bit the sum
// change(k, s) = sum_i K(k, j0+i) c(k, s, p) d_i in single precision.
void move_update(const RunParameters& par, Model& model, int p, int j0, const float* d, int n);

// The same change written to set.change only, F_calc untouched; false (and
// every change 0) when no change is non-zero on the grid.
bool move_change(const RunParameters& par, Model& model, int p, int j0, const float* d, int n);

// The Gaussian r range of a bump centred at r: the first range whose upper
// limit reaches r, or range 1 when there is only one range or none reaches it.
int gaussian_range(const RunParameters& par, float r);

// Partial structure factor of basis function p at Q point k: sum_j K(k,j) v(j,p).
float partial_sq(const Model& model, int p, int k);

}  // namespace yosta
