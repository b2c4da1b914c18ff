// The Gram blocks of a data set without resolution broadening, in memory that
// grows as the number of r points rather than its square.
//
// With K(k, j) = f j sin(Q_k r_j) / Q_k (f = 4 pi rho dr^2, Q_k r_j =
// 2 pi a_k j / P on the grids) and a product of sines written as a
// difference of cosines, a block of set s and row families f, g is
//   G_fg(i, j) = sum_k w_k c_f(k) c_g(k) K(k, i) K(k, j) = i j [T(i - j) - T(i + j)],
//   T(m) = 1/2 f^2 sum_k (w_k c_f(k) c_g(k) / Q_k^2) cos(2 pi a_k m / P),
// over the fitted points k (c = 1 for a set with one family). T is even and
// the same for (f, g) and (g, f): one array per pair of families, over
// m = -nr - h .. 2 nr + h (h the half-width of the widest bump). A row of G is
// formed from two stretches of it, a diagonal entry from two values.
//
// A whole Gaussian bump centred at j (shape s_t, t = -n..n) has the row
//   C(j, i) = sum_t s_t G(j + t, i) = i [(j A(i - j) + B(i - j)) - (j Ar(i + j) + Br(i + j))]
// with A(m) = sum_t s_t T(m - t), B(m) = sum_t s_t t T(m - t),
// Ar(m) = sum_t s_t T(m + t), Br(m) = sum_t s_t t T(m + t): four arrays per
// pair and bump shape.
//
// Everything is summed in double in a fixed order, from the single-precision
// f and 1/Q_k the kernel uses and a cosine of this file's own (the same bits
// on every processor and build). The rows that accepted moves add are read
// from T and the bump arrays rounded to single precision, as dense blocks
// are stored. The products of sines of the kernel are
// rounded to single precision and those of T are not, so the two forms of G
// differ by the kernel's rounding (some 1e-7 of the size of the block).
// Not for a set whose fitted range holds Q = 0, where the kernel is not a
// sine over Q.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fit/kernels.h"
#include "input/parameters.h"
#include "model/state.h"

namespace yosta {

// cos(2 pi n / P) for 0 <= n, 1 <= P (n taken modulo P), within a few units
// in the last place, the same bits everywhere.
double turn_cos(std::int64_t n, std::int64_t P);

struct ToeplitzGram {
  std::int32_t nr = 0;
  std::int32_t families = 0;
  std::int32_t zero = 0;                                              // index of m = 0 in each T array
  std::int32_t length = 0;                                            // values per T array
  std::array<std::array<std::int32_t, max_basis>, max_basis> pair{};  // pair index of families (f, g)
  std::vector<double> T;                                              // [pair * length + zero + m]
  // T rounded to single precision, which the rows are formed from: an
  // accepted move reads a row per set and pair of families, and half the
  // bytes is nearly half the time (the entries, the diagonal and the Gram
  // values of bumps, which trials read, come from T itself).
  std::vector<float> Tf;
  // Whole Gaussian bumps: the four arrays of each pair and used r range,
  // span values each: A and B at m = i - j (index m + nr), Ar and Br at
  // m = i + j (index m).
  std::int32_t span = 0;
  std::int32_t slots = 0;
  std::vector<std::int32_t> centre_slot;  // [j - 1]: slot of the whole bump centred at j, -1: it leaves the grid
  std::vector<float> bump;                // [((pair * slots + slot) * 4 + array) * span + index], summed in double

  // G_fg(i, j), 1 <= i, j <= nr.
  double entry(int f, int g, int i, int j) const {
    const double* t = T.data() +
                      static_cast<std::size_t>(pair[static_cast<std::size_t>(f)][static_cast<std::size_t>(g)]) *
                          static_cast<std::size_t>(length) +
                      zero;
    return (static_cast<double>(j) * static_cast<double>(i)) * (t[i - j] - t[i + j]);
  }
  // The row a G_fg(j, .) as the row kernels read it.
  kernels::GramRow row(int f, int g, int j, double a) const {
    const float* t = Tf.data() +
                     static_cast<std::size_t>(pair[static_cast<std::size_t>(f)][static_cast<std::size_t>(g)]) *
                         static_cast<std::size_t>(length) +
                     zero;
    return kernels::GramRow{t + 1 - j, t + 1 + j, a * static_cast<double>(j)};
  }
  // The row of the whole bump centred at j (centre_slot >= 0).
  kernels::BumpRow bump_row(int f, int g, int j) const;
};

// True when set s's Gram blocks can be formed from T: no resolution
// broadening and no Q = 0 point in its fitted range.
bool toeplitz_applies(const RunParameters& par, const Model& model, const DataSet& set);

// The bytes a ToeplitzGram of the model's grids takes for `families` row
// families (with Gaussian moves, the bump arrays of the ranges used).
std::size_t toeplitz_bytes(const RunParameters& par, const Model& model, int families);

// Builds the arrays of `set` for `families` row families (1: the kernel
// itself; otherwise family f has the coefficients of basis function f + 1),
// with the set's weights divided by `weight_scale` (the blocks a group of
// sets shares, each set's being its own scale times these).
void build_toeplitz_gram(const RunParameters& par, const Model& model, const DataSet& set, int families,
                         ToeplitzGram& out, double weight_scale = 1.0);

}  // namespace yosta
