// The evaluation of a trial move in r-space: tables over r points, built once
// per model, from which a trial move's change of the kept sums follows in a
// number of operations that does not depend on the number of Q points.
//
// The compared model of a data set is linear in the basis values: a change d
// of basis function p at r point j changes it by d c U_f,j, where U_f,j is the
// (broadened, with resolution) row of the transform at j of the set's row
// family f, and c a factor. A set whose coefficients are one value at every Q
// has one family, the kernel row itself, with c its coefficient of p; a set
// with coefficients that vary with Q has a family per basis function (the row
// times the coefficients) with c = 1. With e the misfit and w = 1/var over the
// fitted range, the kept sums change by
//   dE0 = d c sum w U, dEF = d c sum w F U, dE1 = d c sum w Q U,
//   dE2 = d c sum w Q^2 U                        (the tables `lin`)
//   dEE = 2 d c D_f(j) + (d c)^2 G_ff(j, j)
// with D_f(j) = sum w e U_f,j kept up to date and the Gram blocks
// G_fg(i, j) = sum w U_f,i U_g,j. An accepted move adds d c G_fg(j, .) to every
// D_g: O(families x r points). A Gaussian bump is a sum of such changes; whole
// bumps read tables of their own (the bump's linear sums, its Gram value and
// its row of G summed over the bump), other bumps sum over their points.
// Without resolution broadening the Gram blocks are formed from one array
// per pair of families (fit/gram.h): memory in proportion to the r points,
// and a row that stays in the first-level cache. With resolution (the
// windows couple the Q points) they are dense, summed in double and stored
// in single precision: an accepted move reads a row of them per set and
// family, and half the bytes is nearly half the time. D is kept in double.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fit/gram.h"
#include "fit/kernels.h"
#include "input/parameters.h"

namespace yosta {

struct Run;
struct TrialChange;

// The tables of one data set. Indices: family f (0-based), r points i, j
// (1..nr, stored at i - 1).
struct RSpaceSet {
  std::int32_t families = 0;
  std::array<std::int32_t, max_basis + 1> family{};  // family of basis function p
  std::array<double, max_basis + 1> factor{};        // c of basis function p
  std::vector<double> lin;                           // [(f * nr + j - 1) * 4 + t], t: E0, EF, E1, E2
  std::vector<double> D;                             // [f * nr + j - 1]
  std::vector<double> diag;                          // [f * nr + j - 1]: G_ff(j, j)
  // The Gram blocks: from T arrays (toeplitz), or dense.
  bool toeplitz = false;
  ToeplitzGram gram;     // toeplitz
  std::vector<float> G;  // dense: [((f * families + g) * nr + i - 1) * nr + j - 1]
  // Whole Gaussian bumps centred at j (zero where the bump leaves the grid).
  std::vector<double> bump_lin;   // as lin
  std::vector<double> bump_gram;  // [f * nr + j - 1]
  std::vector<float> cross;       // dense: [((f * families + g) * nr + j - 1) * nr + i - 1]: sum_m shape_m G_fg(j_m, i)
  // Chosen with the layout at set-up: D += a G_fg(j, .); D += a times the row
  // of the whole bump centred at j; G_fg(i, j).
  void (*add_row)(const RSpaceSet& t, double* D, double a, int f, int g, int j) = nullptr;
  void (*add_bump_row)(const RSpaceSet& t, double* D, double a, int f, int g, int j) = nullptr;
  double (*entry)(const RSpaceSet& t, int f, int g, int i, int j) = nullptr;
  std::int32_t nr = 0;
};

struct RSpaceState {
  bool on = false;        // trials are evaluated from the tables
  bool stale = false;     // F_calc lags the basis values
  std::size_t bytes = 0;  // memory of the tables
  std::int32_t nr = 0;
  std::int64_t since_refresh = 0;  // evaluated moves since the tables' D and the sums were formed afresh
  std::array<RSpaceSet, max_sets + 1> sets{};
  // The trial being evaluated, for its acceptance.
  bool trial_changed = false;
  std::int32_t trial_p = 1, trial_row = 0, trial_first = 1, trial_count = 0;
  float trial_amplitude = 0;
  std::array<float, 2 * max_gauss_half + 2> trial_d{};
};

// Memory allowed for the tables of all sets together; a model whose tables
// would need more is evaluated in Q-space.
inline constexpr std::size_t rspace_max_bytes = std::size_t{256} << 20;
// Evaluated moves between two recomputations of the kept sums and of D from
// the basis values (a fixed schedule, so a seed gives the same run).
inline constexpr std::int64_t rspace_refresh_interval = std::int64_t{1} << 20;

// The memory the tables of the run's model would take.
std::size_t rspace_bytes(const Run& run);

// Builds the tables when they fit in max_bytes (run.kept.rspace.on tells);
// F_calc must be that of the basis values.
void rspace_prepare(Run& run, std::size_t max_bytes);

// The kept sums and D formed afresh from F_calc, which must be that of the
// basis values.
void rspace_form(Run& run);
// F_calc rebuilt from the basis values, then rspace_form.
void rspace_refresh(Run& run);

// The changes of the kept sums of every set for the trial, into d[0..nsets-1].
void rspace_trial(Run& run, const TrialChange& tc, KeptSums* d);

// The trial is accepted: D follows it, F_calc is marked as lagging.
void rspace_keep(Run& run);

}  // namespace yosta
