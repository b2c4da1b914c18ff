// The model of one run: the data sets, the grids and tables, the basis
// functions and the penalty terms, sized once at start-up and owned until
// exit. Nothing in it is reallocated in the move cycle.
//
// Arrays over r points, Q points and Gaussian shape positions are indexed from
// 1 as the method's formulas are (element 0 is unused), so that r_j = j * dr
// and Q_k = (k + q_offset) * dq read the same in code as on paper.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/one_based.h"
#include "input/parameters.h"

namespace yosta {

template <class T, int N>
using Array1 = OneBased<T, N>;

// The Q points shared by all data sets.
struct QGrid {
  std::int32_t nq = 0;
  Array1<float, max_q> Q{};   // inverse Angstrom; the Q values of the last file read
  float dq = 0;               // (Q_nq - Q_1) / (nq - 1)
  std::int32_t q_offset = 0;  // Q_k = (k + q_offset) * dq
  std::int32_t nq_grid = 0;   // nint(Q_nq / dq)
};

struct RealGrid {
  float dr = 0;         // Angstrom
  std::int32_t nr = 0;  // 1..max_r; r_j = j * dr
};

// Which correction coefficients a data set fits.
enum class FitCase : std::int8_t {
  none,               // beta = 1, a0 = a1 = a2 = 0
  scale,              // beta = RF / FF
  scale_zero,         // a0, beta
  scale_zero_linear,  // a0, a1, beta
  scale_all,          // a0, a1, a2, beta
  zero,               // a0 = D0 / S0
  zero_linear,        // a0, a1
  zero_all,           // a0, a1, a2
};

// One experimental total structure factor and everything fitted to it.
struct DataSet {
  DataSetSettings settings;    // from the parameter file; sigma and q_last as adjusted
  Array1<float, max_q> F{};    // experimental value; offset-corrected at set-up
  Array1<float, max_q> err{};  // error; squared (variance) over the fitted range at set-up
  Array1<float, max_q> background{};
  OneBased<Array1<float, max_q>, max_basis> coef{};  // coef[p][k], p = 1..nbasis

  Array1<float, max_q> F_calc{};  // model F(Q) before broadening
  Array1<float, max_q> M{};       // model as compared with the data
  Array1<float, max_q> change{};  // change of F_calc by the current trial move

  // Fixed sums over the fitted range, stored in single precision.
  float N = 0, S0 = 0, S1 = 0, S2 = 0, S3 = 0, S4 = 0, T0 = 0, T1 = 0, T2 = 0, FF = 0;
  // Weights of the refit sums over the fitted range, fixed at set-up:
  // 1/var, F/var, Q/var and Q*Q/var.
  Array1<double, max_q> inv_var{}, F_w{}, Q_w{}, QQ_w{};
  FitCase fit_case = FitCase::none;
  std::array<std::array<float, 4>, 4> inverse{};  // inverse normal matrix, 0-based rows/cols

  float beta = 1, a0 = 0, a1 = 0, a2 = 0;
  float chi2 = 0;

  // Resolution windows, for fitted points only: lo[k]..hi[k], at most 40 points,
  // weight[k][i - lo[k]] for i = lo[k]..hi[k].
  Array1<std::int32_t, max_q> lo{}, hi{};
  OneBased<std::array<float, max_window>, max_q> weight{};
};

// Gaussian move shapes, one per r range.
struct GaussianShapes {
  OneBased<float, max_ranges> sigma{};  // 1-based ranges
  OneBased<std::int32_t, max_ranges> ngauss{};
  // shape[i][m], m = 1..2 ngauss(i) + 1, peak 1 at m = ngauss(i) + 1
  OneBased<std::array<float, 2 * max_gauss_half + 2>, max_ranges> shape{};
};

// Sine table and the other transform tables.
struct TransformTables {
  std::int32_t P = 0;                 // table period Mr * nq_grid
  Array1<float, max_sinqr> sinqr{};   // sinqr[m], m = 0..P (element 0 used)
  Array1<float, max_q> reciprocal{};  // 1 / Q_k
  float f = 0;                        // 4 pi rho dr^2
  float q_zero_factor = 0;            // 4 pi rho dr^3
};

// The running sums of the g(r) sets taken at the target levels.
struct SaveSums {
  std::int32_t nsaved = 0;
  std::int32_t collect_count = 0;
  OneBased<Array1<float, max_r>, max_basis> S1{};  // S1[p][j]
  OneBased<Array1<float, max_r>, max_basis> S2{};
};

// The move counters a start file carries.
struct MoveCounts {
  std::int32_t generated = 0, accepted = 0;
};

// The model as set-up leaves it and the move cycle changes it.
struct Model {
  OneBased<DataSet, max_sets> sets{};  // 1-based: sets[1..nsets]
  QGrid q;
  RealGrid r;
  GaussianShapes gauss;
  TransformTables tables;

  float Z = 0;                                    // floor value of the basis values
  OneBased<Array1<float, max_r>, max_basis> v{};  // basis values v[p][j]

  OneBased<float, max_constraints> Nc{};  // coordination numbers, 1-based
  float P = 0;                            // coordination penalty
  float S = 0;                            // smoothing penalty
  float N_total = 0;                      // fitted points (+ nr*nbasis with smoothing)
};

}  // namespace yosta
