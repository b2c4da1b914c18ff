// The r-space evaluator: tables over r points, built once per model, from
// which a trial move's change of the kept sums follows in a number of
// operations that does not depend on the number of Q points.
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
// D_g: O(families x r points); sets that share their blocks up to a factor
// share these rows too (RSpaceGroup), one row per move for all of them. A
// set alone with single-point moves holds its rows back and adds them eight
// at a time (a trial reads D at one point and adds the held rows there), so
// that each vector of D is read and written once for eight rows. A
// Gaussian bump is a sum of such changes; whole bumps read tables of their own
// (the bump's linear sums, its Gram value and its row of G summed over the
// bump), other bumps sum over their points.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/one_based.h"
#include "fit/evaluation_helpers.h"
#include "fit/evaluator.h"
#include "fit/gram.h"

namespace yosta {

// The Gram blocks of one data set and what is derived from them, read only
// through the accessors below (the storage is this class's own). Indices:
// families f, g (0-based), r points i, j (1..nr). Without resolution
// broadening the blocks are formed from one T array per pair of families
// (fit/gram.h): memory in proportion to the r points, and rows that stay in
// the first-level cache. With resolution (the windows couple the Q points)
// they are dense, summed in double and stored in single precision: an
// accepted move reads a row of them per set and family, and half the bytes
// is nearly half the time. The layout is chosen at set-up, with the row
// functions that read it.
class GramTables {
 public:
  // The memory the tables of `set` take for `families` row families.
  static std::size_t bytes(const Run& run, const DataSet& set, int families);

  // The dense blocks from the family rows V[f] ((j - 1) * nfit + k, over the
  // fitted points) and the weights w over the fitted points; with Gaussian
  // moves also the tables of whole bumps.
  void build(const Run& run, const std::vector<std::vector<double>>& V, const std::vector<double>& w, int nfit);
  // The blocks of a set without resolution, from its T arrays.
  void build_toeplitz(const Run& run, const DataSet& set, int families, double weight_scale = 1.0);
  bool toeplitz() const { return at_ == &GramTables::toeplitz_at; }

  // G_fg(i, j).
  double at(int f, int g, int i, int j) const { return (this->*at_)(f, g, i, j); }
  // The sum over k = 0..count-1 of d[k] G_ff(i, first + k), term by term
  // in that order (what at() gives, without a call per term).
  double row_dot(int f, int i, const float* d, int first, int count) const {
    double sum = 0.0;
    if (toeplitz()) {
      for (int k = 0; k < count; ++k) sum += static_cast<double>(d[k]) * T_.entry(f, f, i, first + k);
    } else {
      const float* g = G_.data() + block(f, f) + row_start(i) + static_cast<std::size_t>(first - 1);
      for (int k = 0; k < count; ++k) sum += static_cast<double>(d[k]) * static_cast<double>(g[k]);
    }
    return sum;
  }
  // G_ff(j, j).
  double diagonal(int f, int j) const { return diag_[index(f, j)]; }
  // The Gram value of the whole bump centred at j: sum over m, m2 of
  // shape_m shape_m2 G_ff(j_m, j_m2).
  double bump(int f, int j) const { return bump_gram_[index(f, j)]; }
  // D += a G_fg(j, .) over the nr points of D.
  void add_row(double* D, double a, int f, int g, int j) const { (this->*add_row_)(D, a, f, g, j); }
  // Blocks formed from T: the row a G_fg(j, .) for add_rows, which adds
  // rows together with the bits of adding them one at a time.
  kernels::GramRow row(int f, int g, int j, double a) const { return T_.row(f, g, j, a); }
  void add_rows(double* D, const kernels::GramRow* rows, int count) const { gram_row_(D, rows, count, nr_); }
  // D += a sum_m shape_m G_fg(j_m, .) for the whole bump centred at j.
  void add_bump_row(double* D, double a, int f, int g, int j) const { (this->*add_bump_row_)(D, a, f, g, j); }

 private:
  std::size_t index(int f, int j) const {
    return static_cast<std::size_t>(f) * static_cast<std::size_t>(nr_) + static_cast<std::size_t>(j - 1);
  }
  std::size_t row_start(int i) const { return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nr_); }
  // The start of dense block (f, g): the one place of the blocks' layout.
  std::size_t block(int f, int g) const {
    const auto NF = static_cast<std::size_t>(families_), NR = static_cast<std::size_t>(nr_);
    return (static_cast<std::size_t>(f) * NF + static_cast<std::size_t>(g)) * NR * NR;
  }
  double dense_at(int f, int g, int i, int j) const {
    return static_cast<double>(G_[block(f, g) + row_start(i) + static_cast<std::size_t>(j - 1)]);
  }
  double toeplitz_at(int f, int g, int i, int j) const { return T_.entry(f, g, i, j); }
  void dense_row(double* D, double a, int f, int g, int j) const;
  void dense_bump_row(double* D, double a, int f, int g, int j) const;
  void toeplitz_row(double* D, double a, int f, int g, int j) const;
  void toeplitz_bump_row(double* D, double a, int f, int g, int j) const;
  // The diagonal and the Gram values of whole bumps, from at().
  void derived(const Run& run);

  std::int32_t families_ = 0, nr_ = 0;
  // The row updates for the processor, chosen when the tables are built.
  kernels::RowFn row_ = kernels::row_version();
  kernels::GramRowFn gram_row_ = kernels::gram_row_version();
  kernels::BumpRowFn bump_row_ = kernels::bump_row_version();
  double (GramTables::*at_)(int, int, int, int) const = &GramTables::dense_at;
  void (GramTables::*add_row_)(double*, double, int, int, int) const = &GramTables::dense_row;
  void (GramTables::*add_bump_row_)(double*, double, int, int, int) const = &GramTables::dense_bump_row;
  std::vector<float> G_;           // dense: G_fg(i, j) at block(f, g) + row_start(i) + j - 1
  std::vector<float> cross_;       // dense: row j of bump sums of block (f, g): at block(f, g) + row_start(j)
  ToeplitzGram T_;                 // without resolution
  std::vector<double> diag_;       // at index(f, j)
  std::vector<double> bump_gram_;  // at index(f, j)
};

// Sets whose Gram blocks are one block times a number of their own share it,
// and share what accepted moves add: a group. Sets with one row family each
// (coefficients that do not vary with Q), no resolution broadening, the same
// fitted range and weights equal up to a factor (the same constant 1/var, or
// the same errors) have G_s = scale_s G, so an accepted move of basis
// function p adds one row of G to the group's accumulated row of p (a
// channel) instead of one row to the D of every set; a set reads
//   D_s(j) = D0_s(j) + scale_s sum_p c_sp U_p(j)
// with D0_s formed at the last refresh. A set alone in its group has one
// channel that is its D itself (D0 zero, scale and weight one): rows go in
// with the set's own factor. Where the rows are formed from T, D0 and U are
// kept divided by the r point (RSpaceGroup::point).
struct RSpaceGroup {
  std::int32_t families = 0;                   // row families of the block
  bool shared = false;                         // more than one set
  std::int32_t channels = 1;                   // accumulated rows per family
  OneBased<std::int32_t, max_basis> family{};  // family of basis function p
  OneBased<std::int32_t, max_basis> channel{};
  OneBased<double, max_basis> amplitude{};  // a move's amplitude is multiplied by this before its rows go in
  std::vector<double> U;                    // [(f * channels + channel) * nr + j - 1]
  // What D is kept divided by, [j - 1]: the r point j where the rows are
  // formed from T (a row then needs no factor of its r point), else 1.
  std::vector<double> point;
  GramTables gram;
  // Rows formed from T that accepted moves have added but that are not yet
  // in U, by slot (f * channels + channel), in the order they came. A slot's
  // rows go into U together when it holds `defer` of them,
  // each vector of U read and written once for all of them; until then a
  // read of U adds them at its point, with the same bits.
  struct Pending {
    std::array<kernels::GramRow, kernels::max_gram_rows> row{};
    std::int32_t count = 0;
  };
  std::vector<Pending> pending;
  // Rows a slot holds before they go into U (1: at once). Trials of Gaussian
  // moves read D at every point of a bump, and a set of a shared group reads
  // every channel, so there rows go in at once; a set alone with
  // single-point moves reads one point per trial.
  std::int32_t defer = 1;

  // U of family f, channel c at r point j, with the rows not yet in it.
  double accumulated(int f, int c, int j) const {
    const auto slot = static_cast<std::size_t>(f * channels + c);
    double v = U[slot * point.size() + static_cast<std::size_t>(j - 1)];  // point: one value per r point
    const Pending& q = pending[slot];
    for (int r = 0; r < q.count; ++r) v += kernels::gram_row_at(q.row[static_cast<std::size_t>(r)], j - 1);
    return v;
  }
};

// The tables of one data set. Indices: family f (0-based), r points j
// (1..nr, stored at j - 1).
struct RSpaceSet {
  std::int32_t families = 0;
  std::int32_t group = 0;                      // 0-based
  double scale = 1.0;                          // the set's Gram blocks are this times its group's
  OneBased<std::int32_t, max_basis> family{};  // family of basis function p
  OneBased<double, max_basis> factor{};        // c of basis function p
  std::array<double, max_basis> weight{};      // by channel: its share of the group's rows in this set's D
  std::vector<double> lin;                     // [(f * nr + j - 1) * 4 + t], t: E0, EF, E1, E2
  std::vector<double> D0;                      // [f * nr + j - 1], formed at the last refresh
  std::vector<double> bump_lin;                // as lin, for whole Gaussian bumps centred at j
};

// Memory allowed for the tables of all sets together; a model whose tables
// would need more is evaluated in Q-space.
inline constexpr std::size_t rspace_max_bytes = std::size_t{256} << 20;
// Evaluated moves between two recomputations of the kept sums and of D from
// the basis values (a fixed schedule, so a seed gives the same run).
inline constexpr std::int64_t rspace_refresh_interval = std::int64_t{1} << 20;
// Rows from T a slot holds back with single-point moves (at most
// kernels::max_gram_rows).
inline constexpr std::int32_t rspace_deferred_rows = 8;
static_assert(rspace_deferred_rows >= 1 && rspace_deferred_rows <= kernels::max_gram_rows);

// The memory the tables of the run's model would take.
std::size_t rspace_bytes(const Run& run);
// True when the run's model has points and its tables fit in max_bytes.
bool rspace_fits(const Run& run, std::size_t max_bytes);

class RSpaceEvaluator {
 public:
  // Builds the tables; F_calc must be that of the basis values.
  void prepare(Run& run);
  double trial(Run& run, const TrialChange& tc);
  // D follows the trial; F_calc is marked as lagging.
  void keep(Run& run);
  void undo(Run& run);
  void rebuilt(Run& run);
  void sync(Run& run);

  bool stale = false;     // F_calc lags the basis values
  std::size_t bytes = 0;  // memory of the tables
  std::int32_t nr = 0;
  std::int64_t since_refresh = 0;  // evaluated moves since D and the sums were formed afresh
  OneBased<RSpaceSet, max_sets> sets{};
  std::vector<RSpaceGroup> groups;

  // D_f(j) of set s as it is now.
  double D(int s, int f, int j) const {
    const RSpaceSet& t = sets[s];
    const RSpaceGroup& g = groups[static_cast<std::size_t>(t.group)];
    // A set alone: its D is its group's one channel (what the sum below
    // gives too, in fewer operations: a whole bump reads D at every point).
    if (!g.shared) return g.point[static_cast<std::size_t>(j - 1)] * g.accumulated(f, 0, j);
    // The channels of a shared group hold no rows back.
    const double* U = g.U.data() + static_cast<std::size_t>(f * g.channels * nr + j - 1);
    double sum = 0.0;
    for (int c = 0; c < g.channels; ++c) sum += t.weight[static_cast<std::size_t>(c)] * U[c * nr];
    return g.point[static_cast<std::size_t>(j - 1)] * (t.D0[static_cast<std::size_t>(f * nr + j - 1)] + t.scale * sum);
  }
  // D of set s at every family and r point, [f * nr + j - 1].
  std::vector<double> D_values(int s) const {
    std::vector<double> out;
    for (int f = 0; f < sets[s].families; ++f) {
      for (int j = 1; j <= nr; ++j) out.push_back(D(s, f, j));
    }
    return out;
  }
  // The Gram tables of set s's group; set s's blocks are scale times these.
  const GramTables& gram(int s) const { return groups[static_cast<std::size_t>(sets[s].group)].gram; }

 private:
  // The kept sums of every set and D, formed from F_calc.
  void form(Run& run);
  // The changes of set s's sums for a change through row trial.row (a single
  // point, or the whole bump b), or point by point.
  KeptSums row_change(const Run& run, int s, const Bump& b) const;
  KeptSums point_change(int s, const TrialChange& tc) const;

  // Adds the row a G_fg(j, .) to U of the slot: at once where the group
  // holds no rows back (defer 1), else to the slot's held rows.
  void add_row(RSpaceGroup& G, std::size_t slot, int f, int g, int j, double a);
  // Puts the rows a slot holds into U.
  void flush(RSpaceGroup& G, std::size_t slot);

  std::array<KeptSums, max_sets> changes_{};  // of the trial, per set
};

}  // namespace yosta
