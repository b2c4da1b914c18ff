#include "fit/evaluation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {

// The evaluation of the move cycle, kept up to date move by move.
//
// Everything the evaluation needs from the compared model M is linear or
// quadratic in M: with e = M - F over the fitted range, the refit sums are
// R0 = T0 + E0, RF = FF + EF, R1 = T1 + E1, R2 = T2 + E2 (E0 = sum e/var,
// EF = sum e F/var, E1 = sum e Q/var, E2 = sum e Q^2/var), and chi-squared,
// with x = beta - 1, is the quadratic form
//   sum (e - x F - a0 - a1 Q - a2 Q^2)^2 / var
//     = EE - 2x EF - 2a0 E0 - 2a1 E1 - 2a2 E2 + x^2 FF + 2x (a0 T0 + a1 T1 + a2 T2)
//       + a0^2 S0 + 2a0 a1 S1 + (a1^2 + 2a0 a2) S2 + 2a1 a2 S3 + a2^2 S4
// with EE = sum e^2/var. So a trial move needs only the changes of the E
// sums, which one pass over the changed model gives together with the update
// of F_calc itself; the refit and chi-squared are then a few dozen operations.
// The sums are of e, not of M, so they stay at the size of the misfit and
// chi-squared is not the small difference of large numbers.
//
// The changes are summed from the values actually stored (new minus old), in
// single-precision lanes of a fixed layout flushed into double lanes, so every
// build gives the same bits. A rejected move keeps the old sums as they were;
// F_calc is undone by subtraction as the method says, which may leave it a
// rounding away from where it was, so the sums are recomputed from the model
// every refresh_interval evaluations to bound such drift (a fixed schedule,
// so a seed still gives the same run).
//
// The passes read and write a copy of the compared model on 64-byte
// boundaries: without resolution a copy of F_calc over the whole grid,
// updated with the same operations (F_calc gets each new value stored), with
// resolution the broadened model in two buffers: a trial writes the spare
// one, acceptance flips them, and a rejection costs nothing. The change of the
// broadened model is the broadened change of F_calc; for a set whose
// coefficient of the moved function is one value at every Q it is that
// coefficient times the amplitude times a broadened row prepared at the first
// move (W K(., j), or W G(., j) for whole Gaussian bumps), and otherwise the
// change of F_calc spread through the windows.

namespace {

using kernels::need0;
using kernels::need1;
using kernels::need2;
using kernels::needF;
using kernels::Pass;
using kernels::SetPart;
using kernels::Source;
using kernels::SumPass;

constexpr std::int32_t refresh_interval = 1024;
// Memory allowed for the per-r-point rows: the kernel (or smoothed kernel)
// rows and the broadened rows together. A grid of 12000 r points and 1100 Q
// points needs 53 MB for one kind, so at the largest sizes the broadened rows
// give way to spreading the change through the windows.
constexpr std::size_t max_row_bytes = std::size_t{64} << 20;

// Which E sums a fit case reads besides EE.
constexpr unsigned needs_of(FitCase c) {
  switch (c) {
    case FitCase::none:
      return 0u;
    case FitCase::scale:
      return needF;
    case FitCase::zero:
      return need0;
    case FitCase::zero_linear:
      return need0 | need1;
    case FitCase::zero_all:
      return need0 | need1 | need2;
    case FitCase::scale_zero:
      return need0 | needF;
    case FitCase::scale_zero_linear:
      return need0 | need1 | needF;
    case FitCase::scale_all:
      return need0 | need1 | need2 | needF;
  }
  return need0 | need1 | need2 | needF;
}

// Adds the changes in d to the sums for the fit case's needs (the others stay).
inline KeptSums plus(const KeptSums& k, const KeptSums& d, unsigned need) {
  KeptSums r = k;
  r.EE += d.EE;
  if ((need & need0) != 0) r.E0 += d.E0;
  if ((need & needF) != 0) r.EF += d.EF;
  if ((need & need1) != 0) r.E1 += d.E1;
  if ((need & need2) != 0) r.E2 += d.E2;
  return r;
}

// Sets with the same fitted range and the same windows share broadened rows.
bool same_windows(const DataSet& a, const DataSet& b) {
  const int first = a.settings.q_first, last = a.settings.q_last;
  if (first != b.settings.q_first || last != b.settings.q_last) return false;
  for (int k = first; k <= last; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    if (a.lo[uk] != b.lo[uk] || a.hi[uk] != b.hi[uk]) return false;
    // Bit for bit: windows equal to the last bit give the same broadened rows.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    if (std::memcmp(a.weight[uk].data(), b.weight[uk].data(), sizeof(float) * max_window) != 0) return false;
  }
  return true;
}

// The rows, the per-set copies and the fixed sums of the kept evaluation.
void build_kept_tables(Run& run, bool rows) {
  KeptState& ks = run.kept;
  const int nq = run.model.q.nq;
  ks.Q = LineQ{};
  ks.QQ = LineQ{};
  ks.dM = LineQ{};
  for (int k = 1; k <= nq; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    ks.Q[uk] = run.model.q.Q[uk];
    ks.QQ[uk] = run.model.q.Q[uk] * run.model.q.Q[uk];
  }

  if (rows)
    build_move_rows(run, max_row_bytes);
  else {
    ks.rows = LineFloats();
    ks.row_stride = 0;
  }
  std::size_t used = ks.rows.size() * sizeof(float);
  const auto stride = static_cast<std::size_t>(ks.row_stride);

  ks.broadened.clear();
  std::vector<int> owner;  // the first set of each broadened table
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    const int first = set.settings.q_first, last = set.settings.q_last;

    k.w = LineQ{};
    k.F = LineQ{};
    k.change = LineQ{};
    for (int q = 1; q <= nq; ++q) {
      const auto uq = static_cast<std::size_t>(q);
      const bool fitted = q >= first && q <= last;
      k.w[uq] = fitted ? static_cast<float>(set.inv_var[uq]) : 0.0f;
      k.F[uq] = set.F[uq];
    }
    // The fixed sums again, kept in double (the data set stores them in single).
    for (double& x : k.S) x = 0.0;
    for (double& x : k.T) x = 0.0;
    k.FF = 0.0;
    for (int q = first; q <= last; ++q) {
      const auto uq = static_cast<std::size_t>(q);
      const double w = set.inv_var[uq], x = ks.Q[uq], xx = ks.QQ[uq], f = set.F[uq];
      k.S[0] += w;
      k.S[1] += x * w;
      k.S[2] += xx * w;
      k.S[3] += xx * x * w;
      k.S[4] += xx * xx * w;
      k.T[0] += f * w;
      k.T[1] += x * f * w;
      k.T[2] += xx * f * w;
      k.FF += f * f * w;
    }
    for (int p = 1; p <= run.params.nbasis; ++p) {
      const auto& c = set.coef[static_cast<std::size_t>(p)];
      bool flat = true;
      for (int q = 2; q <= nq && flat; ++q) flat = c[static_cast<std::size_t>(q)] == c[1];
      k.flat[static_cast<std::size_t>(p)] = flat;
      auto& copy = k.coef[static_cast<std::size_t>(p)];
      copy = LineQ{};
      std::memcpy(copy.data() + 1, c.data() + 1, sizeof(float) * static_cast<std::size_t>(nq));
    }

    k.table = -1;
    if (!run.params.resolution_on || ks.rows.empty() || last < first) continue;
    for (std::size_t t = 0; t < owner.size(); ++t) {
      if (same_windows(run.model.sets[static_cast<std::size_t>(owner[t])], set)) k.table = static_cast<std::int32_t>(t);
    }
    if (k.table >= 0) continue;
    const std::size_t bytes = ks.rows.size() * sizeof(float);
    if (used + bytes > max_row_bytes) continue;  // this set spreads its changes instead
    used += bytes;
    // Row j: row j of the move rows broadened, in double, at the fitted
    // points: B(i) = sum over fitted k whose window holds i of weight_k(i) row(k).
    LineFloats table(ks.rows.size(), 0.0f);
    std::vector<double> acc(static_cast<std::size_t>(nq) + 1);
    for (int j = 1; j <= run.model.r.nr; ++j) {
      const float* row = ks.rows.data() + static_cast<std::size_t>(j - 1) * stride;
      std::fill(acc.begin(), acc.end(), 0.0);
      for (int q = first; q <= last; ++q) {
        const auto uq = static_cast<std::size_t>(q);
        const double f = row[q];
        for (int i = set.lo[uq]; i <= set.hi[uq]; ++i) {
          acc[static_cast<std::size_t>(i)] +=
              static_cast<double>(set.weight[uq][static_cast<std::size_t>(i - set.lo[uq])]) * f;
        }
      }
      float* out = table.data() + static_cast<std::size_t>(j - 1) * stride;
      for (int i = first; i <= last; ++i) out[i] = static_cast<float>(acc[static_cast<std::size_t>(i)]);
    }
    k.table = static_cast<std::int32_t>(ks.broadened.size());
    ks.broadened.push_back(std::move(table));
    owner.push_back(s);
  }
}

// The E sums of the model from scratch, in double, and the kept compared
// model rebuilt from F_calc.
void refresh_sums(Run& run) {
  KeptState& ks = run.kept;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    k.kept = recompute_kept_sums(run, s);
    if (run.params.resolution_on) {
      float M[max_q + 1];
      broaden(set, run.model.q.nq, set.F_calc.data(), M);
      std::memcpy(k.M[static_cast<std::size_t>(k.current)].data(), M, sizeof M);
    } else {
      k.current = 0;
      k.M[0] = LineQ{};
      std::memcpy(k.M[0].data() + 1, set.F_calc.data() + 1, sizeof(float) * static_cast<std::size_t>(run.model.q.nq));
    }
  }
  ks.since_refresh = 0;
}

// chi2 of a set with its current coefficients from the sums (see above),
// its terms grouped so that they can be formed side by side. The terms of
// coefficients the case does not fit (zero, or beta - 1 zero) are left out:
// they would add exact zeros.
template <FitCase C>
double chi_squared_from(const KeptSet& k, const KeptSums& e, const DataSet& set) {
  using Terms = CaseTerms<C>;
  constexpr bool scaled = Terms::scaled;
  constexpr int n = Terms::offsets;
  const double x = static_cast<double>(set.beta) - 1.0;
  const double a0 = set.a0, a1 = set.a1, a2 = set.a2;
  double cross = 0.0, data = 0.0, poly = 0.0;
  if constexpr (scaled && n >= 1)
    cross = x * e.EF + a0 * e.E0;
  else if constexpr (scaled)
    cross = x * e.EF;
  else if constexpr (n >= 1)
    cross = a0 * e.E0;
  if constexpr (n == 2) cross = cross + a1 * e.E1;
  if constexpr (n == 3) cross = cross + (a1 * e.E1 + a2 * e.E2);
  if constexpr (scaled) {
    data = x * x * k.FF;
    if constexpr (n == 1) data = data + 2.0 * x * (a0 * k.T[0]);
    if constexpr (n == 2) data = data + 2.0 * x * (a0 * k.T[0] + a1 * k.T[1]);
    if constexpr (n == 3) data = data + 2.0 * x * ((a0 * k.T[0] + a1 * k.T[1]) + a2 * k.T[2]);
  }
  if constexpr (n == 1) poly = a0 * a0 * k.S[0];
  if constexpr (n == 2) poly = (a0 * a0 * k.S[0] + 2.0 * a0 * a1 * k.S[1]) + a1 * a1 * k.S[2];
  if constexpr (n == 3)
    poly = (a0 * a0 * k.S[0] + 2.0 * a0 * a1 * k.S[1]) +
           ((a1 * a1 + 2.0 * a0 * a2) * k.S[2] + (2.0 * a1 * a2 * k.S[3] + a2 * a2 * k.S[4]));
  double chi2 = e.EE;
  if constexpr (scaled || n >= 1) chi2 = chi2 - 2.0 * cross;
  if constexpr (scaled && n >= 1)
    chi2 = chi2 + (data + poly);
  else if constexpr (scaled)
    chi2 = chi2 + data;
  else if constexpr (n >= 1)
    chi2 = chi2 + poly;
  // The exact value is a sum of squares; rounding must not make it negative
  // (nor a negative zero). A NaN stays a NaN: it must not pass for a perfect
  // fit.
  return chi2 <= 0.0 ? 0.0 : chi2;
}

// One set's trial sums, corrections and chi2 for its fit case.
template <FitCase C>
float refit_set(KeptSet& k, DataSet& set, bool changed, const KeptSums& d) {
  k.trial = changed ? plus(k.kept, d, needs_of(C)) : k.kept;
  const KeptSums& e = k.trial;
  RefitSums r{0.0f, 0.0f, 0.0f, 0.0f};
  constexpr int n = CaseTerms<C>::offsets;
  if constexpr (n >= 1) r.R0 = static_cast<float>(k.T[0] + e.E0);
  if constexpr (CaseTerms<C>::scaled) r.RF = static_cast<float>(k.FF + e.EF);
  if constexpr (n >= 2) r.R1 = static_cast<float>(k.T[1] + e.E1);
  if constexpr (n >= 3) r.R2 = static_cast<float>(k.T[2] + e.E2);
  refit_case<C>(set, r);
  set.chi2 = static_cast<float>(chi_squared_from<C>(k, e, set));
  return set.chi2;
}

// The trial sums of every set (the kept ones plus the changes d), the
// corrections refitted from them and chi2; returns the total chi-squared.
double refit_all(Run& run, bool changed, const KeptSums* d) {
  double total = 0.0;
  for (int s = 1; s <= run.params.nsets; ++s) {
    DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    KeptSet& k = run.kept.sets[static_cast<std::size_t>(s)];
    const KeptSums& ds = d[s - 1];
    const float chi2 =
        with_fit_case(set.fit_case, [&](auto c) { return refit_set<decltype(c)::value>(k, set, changed, ds); });
    total += static_cast<double>(chi2);
  }
  return total;
}

// Index of the first point of the line holding k, and one past the last
// point of the line holding k.
inline int line_start(int k) { return k / 16 * 16; }
inline int line_end(int k) { return (k + 16) / 16 * 16; }

// The pass of set s over points from..to for the trial's change, reading the
// change from the trial's row or from the set's kept copy of its change.
Pass pass_for(Run& run, int s, int from, int to) {
  KeptState& ks = run.kept;
  KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
  const auto up = static_cast<std::size_t>(ks.trial_p);
  Pass a{};
  a.ch_out = run.model.sets[static_cast<std::size_t>(s)].change.data();
  a.src = ks.trial_row > 0
              ? ks.rows.data() + static_cast<std::size_t>(ks.trial_row - 1) * static_cast<std::size_t>(ks.row_stride)
              : k.change.data();
  a.c = k.coef[up].data();
  a.c_flat = k.coef[up][1];
  a.d = ks.trial_amplitude;
  a.w = k.w.data();
  a.Fd = k.F.data();
  a.Q = ks.Q.data();
  a.QQ = ks.QQ.data();
  a.from = from;
  a.to = to;
  return a;
}

// F_calc of set s from its kept copy at the points the summing pass does not
// copy: 1..15, and those after the last whole line within 1..nq.
void copy_edges(Run& run, int s) {
  float* F = run.model.sets[static_cast<std::size_t>(s)].F_calc.data();
  const float* M = run.kept.sets[static_cast<std::size_t>(s)].M[0].data();
  const int nq = run.model.q.nq;
  const int whole_end = (nq + 1) / 16 * 16;  // first point after the last whole line
  for (int k = 1; k <= nq && k < 16; ++k) F[k] = M[k];
  for (int k = std::max(16, whole_end); k <= nq; ++k) F[k] = M[k];
}

}  // namespace

void build_move_rows(Run& run, std::size_t max_bytes) {
  KeptState& kept = run.kept;
  const std::int32_t nq = run.model.q.nq;
  const std::int32_t nr = run.model.r.nr;
  // One row of nq values per r point, padded to whole 64-byte lines.
  const std::int32_t stride = (nq + 1 + 15) / 16 * 16;
  const std::size_t count = static_cast<std::size_t>(nr) * static_cast<std::size_t>(stride);
  kept.rows = LineFloats();
  kept.row_stride = 0;
  if (nr < 1 || nq < 1 || count * sizeof(float) > max_bytes) return;
  kept.rows.assign(count, 0.0f);
  kept.row_stride = stride;

  float K[max_q + 1];
  if (!run.params.gaussian_moves) {
    // K(k, j) itself, bit for bit: a single-point move reads its row instead
    // of gathering the sine table with an index step per Q point.
    for (int j = 1; j <= nr; ++j) {
      kernel_row(run.model, j, K);
      float* row = kept.rows.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(stride);
      std::memcpy(row + 1, K + 1, sizeof(float) * static_cast<std::size_t>(nq));
    }
    return;
  }

  // A whole bump centred at j changes v(j0 + m - 1) by shape(m) delta, so its
  // transform is delta times G(k, j) = sum over m of shape(m) K(k, j0 + m - 1),
  // the kernel smoothed by the shape of j's range. Summed in double and
  // rounded once. Rows of centres whose bump leaves the grid stay zero: such
  // moves take the point-by-point path.
  std::vector<double> G(static_cast<std::size_t>(nq) + 1);
  const float dr = run.model.r.dr;
  for (int j = 1; j <= nr; ++j) {
    const int range = gaussian_range(run.params, static_cast<float>(j) * dr);
    const int n = run.model.gauss.ngauss[static_cast<std::size_t>(range)];
    if (j - n < 1 || j + n > nr) continue;
    const auto& shape = run.model.gauss.shape[static_cast<std::size_t>(range)];
    std::fill(G.begin(), G.end(), 0.0);
    for (int m = 1; m <= 2 * n + 1; ++m) {
      kernel_row(run.model, j - n + m - 1, K);
      const double sm = shape[static_cast<std::size_t>(m)];
      for (int k = 1; k <= nq; ++k) G[static_cast<std::size_t>(k)] += sm * static_cast<double>(K[k]);
    }
    float* row = kept.rows.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(stride);
    for (int k = 1; k <= nq; ++k) row[k] = static_cast<float>(G[static_cast<std::size_t>(k)]);
  }
}

void prepare_evaluation(Run& run, EvaluationPath path) {
  KeptState& ks = run.kept;
  ks.rspace = RSpaceState{};
  if (path == EvaluationPath::best) rspace_prepare(run, rspace_max_bytes);
  // The Q-space tables where the r-space ones are not in use; the fixed sums
  // and the per-set data in any case.
  build_kept_tables(run, !ks.rspace.on);
  if (ks.rspace.on) {
    ks.broadened.clear();
    for (int s = 1; s <= run.params.nsets; ++s) ks.sets[static_cast<std::size_t>(s)].table = -1;
    rspace_form(run);
  } else {
    refresh_sums(run);
  }
  ks.prepared = true;
}

void model_rebuilt(Run& run) {
  if (run.kept.rspace.on)
    rspace_form(run);
  else
    refresh_sums(run);
}

bool rspace_in_use(const Run& run) { return run.kept.rspace.on; }

void sync_model(Run& run) {
  RSpaceState& rs = run.kept.rspace;
  if (rs.on && rs.stale) {
    full_model(run.params, run.model);
    rs.stale = false;
  }
  if (run.params.resolution_on) {
    for (int s = 1; s <= run.params.nsets; ++s)
      compared_model(run.params, run.model, run.model.sets[static_cast<std::size_t>(s)]);
  }
}

KeptSums recompute_kept_sums(const Run& run, int s) {
  const DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
  const int first = set.settings.q_first, last = set.settings.q_last;
  float broadened[max_q + 1];
  const float* M = set.F_calc.data();
  if (run.params.resolution_on) {
    broaden(set, run.model.q.nq, set.F_calc.data(), broadened);
    M = broadened;
  }
  KeptSums e;
  for (int q = first; q <= last; ++q) {
    const auto uq = static_cast<std::size_t>(q);
    const double diff = static_cast<double>(M[q]) - static_cast<double>(set.F[uq]);
    const double dw = diff * set.inv_var[uq];
    e.E0 += dw;
    e.EF += dw * static_cast<double>(set.F[uq]);
    e.E1 += dw * static_cast<double>(run.model.q.Q[uq]);
    e.E2 += dw * static_cast<double>(run.model.q.Q[uq] * run.model.q.Q[uq]);
    e.EE += dw * diff;
  }
  return e;
}

double evaluate_trial(Run& run, const TrialChange& tc) {
  KeptState& ks = run.kept;
  const RunParameters& par = run.params;
  if (!ks.prepared) prepare_evaluation(run);
  KeptSums d[max_sets];
  if (ks.rspace.on) {
    if (ks.rspace.since_refresh >= rspace_refresh_interval) rspace_refresh(run);
    ++ks.rspace.since_refresh;
    ks.trial_changed = tc.changed;
    rspace_trial(run, tc, d);
    return refit_all(run, tc.changed, d);
  }
  if (ks.since_refresh >= refresh_interval) refresh_sums(run);
  ++ks.since_refresh;

  const int nq = run.model.q.nq;
  const bool resolution = par.resolution_on;
  // A move row applies to a single point, or to a whole bump when the rows
  // hold the smoothed kernel; otherwise the change goes point by point into
  // each set's `change` first.
  const bool by_row = tc.changed && tc.row >= 1 && tc.row <= run.model.r.nr && !ks.rows.empty();
  ks.trial_changed = tc.changed;
  ks.trial_row = by_row ? tc.row : 0;
  ks.trial_p = tc.p;
  ks.trial_amplitude = tc.amplitude;
  if (tc.changed && !by_row) move_change(run.params, run.model, tc.p, tc.first, tc.d, tc.count);
  const int nsets = par.nsets;
  const auto up = static_cast<std::size_t>(tc.p);
  const float* row =
      by_row ? ks.rows.data() + static_cast<std::size_t>(tc.row - 1) * static_cast<std::size_t>(ks.row_stride)
             : nullptr;
  if (tc.changed && !by_row) {
    for (int s = 1; s <= nsets; ++s) {
      std::memcpy(ks.sets[static_cast<std::size_t>(s)].change.data() + 1,
                  run.model.sets[static_cast<std::size_t>(s)].change.data() + 1,
                  sizeof(float) * static_cast<std::size_t>(nq));
    }
  }
  if (tc.changed && !resolution) {
    // The copies of F_calc are updated over the whole grid and summed on the
    // fitted ranges (w is 0 elsewhere), all sets in one pass that also stores
    // the new values into F_calc (its first and last few points after it).
    // The change of a row is not stored: an undo forms it again.
    SumPass a{};
    bool flat = true;
    for (int s = 1; s <= nsets; ++s) {
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      flat = flat && k.flat[up];
      a.part[s - 1] =
          SetPart{k.M[0].data(),   k.M[0].data(),     run.model.sets[static_cast<std::size_t>(s)].F_calc.data(),
                  k.change.data(), k.coef[up].data(), k.coef[up][1],
                  k.w.data(),      k.F.data()};
    }
    a.row = row;
    a.d = tc.amplitude;
    a.Q = ks.Q.data();
    a.QQ = ks.QQ.data();
    a.from = 0;
    a.to = line_end(nq) - 1;
    a.copy_last = nq;
    if (!by_row)
      kernels::summing_pass(Source::given, nsets, a, d);
    else if (flat)
      kernels::summing_pass(Source::row_flat, nsets, a, d);
    else
      kernels::summing_pass(Source::row, nsets, a, d);
    for (int s = 1; s <= nsets; ++s) copy_edges(run, s);
  } else if (tc.changed) {
    for (int s = 1; s <= nsets; ++s) {
      // F_calc over the whole grid (its change stored for the undo and the
      // windows), then the broadened change into the spare buffer of M,
      // summed on the fitted range.
      DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      const bool flat = k.flat[up];
      Pass all = pass_for(run, s, 1, nq);
      all.out = set.F_calc.data();
      all.X = all.out;
      if (!by_row)
        kernels::plain_pass(Source::given, false, false, all);
      else if (flat)
        kernels::plain_pass(Source::row_flat, true, false, all);
      else
        kernels::plain_pass(Source::row, true, false, all);
      const int first = set.settings.q_first, last = set.settings.q_last;
      SumPass m{};
      m.part[0] = SetPart{k.M[static_cast<std::size_t>(k.current)].data(),
                          k.M[static_cast<std::size_t>(1 - k.current)].data(),
                          nullptr,
                          ks.dM.data(),
                          nullptr,
                          k.coef[up][1],
                          k.w.data(),
                          k.F.data()};
      m.d = tc.amplitude;
      m.Q = ks.Q.data();
      m.QQ = ks.QQ.data();
      m.from = line_start(first);
      m.to = line_end(last) - 1;
      if (by_row && flat && k.table >= 0) {
        m.row = ks.broadened[static_cast<std::size_t>(k.table)].data() +
                static_cast<std::size_t>(tc.row - 1) * static_cast<std::size_t>(ks.row_stride);
        kernels::summing_pass(Source::row_flat, 1, m, &d[s - 1]);
      } else {
        broaden(set, nq, set.change.data(), ks.dM.data());
        kernels::summing_pass(Source::given, 1, m, &d[s - 1]);
      }
    }
  }

  return refit_all(run, tc.changed, d);
}

void keep_trial(Run& run) {
  KeptState& ks = run.kept;
  if (ks.rspace.on) rspace_keep(run);
  for (int s = 1; s <= run.params.nsets; ++s) {
    KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
    k.kept = k.trial;
    if (ks.trial_changed && run.params.resolution_on && !ks.rspace.on) k.current = 1 - k.current;
  }
  ks.trial_changed = false;
}

void undo_trial(Run& run) {
  KeptState& ks = run.kept;
  if (ks.trial_changed && !ks.rspace.on) {
    // F_calc -= change, as the method undoes a move: with resolution on
    // F_calc itself; without, its copy (the change formed again from the row
    // when it was not stored), copied back. The kept sums and a broadened
    // model were never touched.
    const int nq = run.model.q.nq;
    for (int s = 1; s <= run.params.nsets; ++s) {
      DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
      KeptSet& k = ks.sets[static_cast<std::size_t>(s)];
      if (run.params.resolution_on) {
        Pass all = pass_for(run, s, 1, nq);
        all.src = set.change.data();
        all.out = set.F_calc.data();
        all.X = all.out;
        kernels::plain_pass(Source::given, false, true, all);
        continue;
      }
      Pass a = pass_for(run, s, 0, line_end(nq) - 1);
      a.out = k.M[0].data();
      a.X = a.out;
      a.copy = set.F_calc.data();
      a.copy_last = nq;
      if (ks.trial_row == 0)
        kernels::plain_pass(Source::given, false, true, a);
      else if (k.flat[static_cast<std::size_t>(ks.trial_p)])
        kernels::plain_pass(Source::row_flat, false, true, a);
      else
        kernels::plain_pass(Source::row, false, true, a);
      copy_edges(run, s);
    }
  }
  ks.trial_changed = false;
}

}  // namespace yosta
