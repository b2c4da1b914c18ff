// The transform from basis values on the r grid to model F(Q) on the Q grid,
// through one sine table: Q_k r_j = 2 pi (k + q_offset) j / P.
#pragma once

#include "model/run.h"

namespace yosta {

// dq, q_offset, nq_grid; stops with " Q-values are not multiples of dq ",
// and on Q values that do not increase or a first Q value below zero.
void check_q_grid(Run& run);

// Reciprocal Q table, P, sinqr, the Q-zero factor; stops with
// " Vector sinqr to small (re-dimension) " when P > 16500.
void build_tables(Run& run);

// K(k, j) = 4 pi rho dr r_j sin(Q_k r_j) / Q_k, in single precision.
inline float kernel(const Run& run, int k, int j) {
  const std::int32_t a = k + run.q.q_offset;
  if (a == 0) return static_cast<float>(j * j) * run.tables.q_zero_factor;
  const std::int32_t m = (a * j) % run.tables.P;
  return run.tables.sinqr[static_cast<std::size_t>(m)] * run.tables.reciprocal[static_cast<std::size_t>(k)] *
         static_cast<float>(j);
}

// F_calc of every set at every Q point from the basis values, plus background.
void full_model(Run& run);

// The change of F_calc of every set for changes d[0..n-1] of basis function p
// at r points j0..j0+n-1 (zero changes and points off the grid skipped);
// writes set.change and adds it to set.F_calc. Bit for bit the sum
// change(k, s) = sum_i K(k, j0+i) c(k, s, p) d_i in single precision.
void move_update(Run& run, int p, int j0, const float* d, int n);

// The same change written to set.change only, F_calc untouched; false (and
// every change 0) when no change is non-zero on the grid.
bool move_change(Run& run, int p, int j0, const float* d, int n);

// The Gaussian r range of a bump centred at r: the first range whose upper
// limit reaches r, or range 1 when there is only one range or none reaches it.
int gaussian_range(const RunParameters& par, float r);

// The per-r-point rows of run.kept that the move cycle reads instead of the
// sine table: K(., j) for single-point moves, or for Gaussian moves the kernel
// smoothed by the bump shape of j's range (whole bumps only). Left empty when
// they would take more than max_bytes.
void build_move_rows(Run& run, std::size_t max_bytes);

// Partial structure factor of basis function p at Q point k: sum_j K(k,j) v(j,p).
float partial_sq(const Run& run, int p, int k);

}  // namespace yosta
