#include "fit/qspace.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fit/evaluation_helpers.h"
#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {

// A trial move needs only the changes of the kept sums (fit/evaluator.h),
// which one pass over the changed model gives together with the update of
// F_calc itself; the refit and chi-squared are then a few dozen operations.
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
// coefficient times the amplitude times a broadened row prepared with the
// tables (W K(., j), or W G(., j) for whole Gaussian bumps), and otherwise the
// change of F_calc spread through the windows.

namespace {

using kernels::Pass;
using kernels::SetPart;
using kernels::Source;
using kernels::SumPass;

std::size_t u(int i) { return static_cast<std::size_t>(i); }

constexpr std::int32_t refresh_interval = 1024;
// Memory allowed for the per-r-point rows: the kernel (or smoothed kernel)
// rows and the broadened rows together. A grid of 12000 r points and 1100 Q
// points needs 53 MB for one kind, so at the largest sizes the broadened rows
// give way to spreading the change through the windows.
constexpr std::size_t max_row_bytes = std::size_t{64} << 20;

// Sets with the same fitted range and the same windows share broadened rows.
bool same_windows(const DataSet& a, const DataSet& b) {
  const int first = a.settings.q_first, last = a.settings.q_last;
  if (first != b.settings.q_first || last != b.settings.q_last) return false;
  for (int k = first; k <= last; ++k) {
    if (a.lo[k] != b.lo[k] || a.hi[k] != b.hi[k]) return false;
    // Bit for bit: windows equal to the last bit give the same broadened rows.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    if (std::memcmp(a.weight[k].data(), b.weight[k].data(), sizeof(float) * max_window) != 0) return false;
  }
  return true;
}

// Index of the first point of the line holding k, and one past the last
// point of the line holding k.
inline int line_start(int k) { return k / 16 * 16; }
inline int line_end(int k) { return (k + 16) / 16 * 16; }

}  // namespace

void QSpaceEvaluator::build_move_rows(const Run& run, std::size_t max_bytes) {
  const std::int32_t nq = run.model.q.nq;
  const std::int32_t nr = run.model.r.nr;
  // One row of nq values per r point, padded to whole 64-byte lines.
  const std::int32_t stride = (nq + 1 + 15) / 16 * 16;
  const std::size_t count = u(nr) * u(stride);
  rows = LineFloats();
  row_stride = 0;
  if (nr < 1 || nq < 1 || count * sizeof(float) > max_bytes) return;
  rows.assign(count, 0.0f);
  row_stride = stride;

  float K[max_q + 1];
  if (!run.params.gaussian_moves) {
    // K(k, j) itself, bit for bit: a single-point move reads its row instead
    // of gathering the sine table with an index step per Q point.
    for (int j = 1; j <= nr; ++j) {
      kernel_row(run.model, j, K);
      std::memcpy(rows.data() + u(j - 1) * u(stride) + 1, K + 1, sizeof(float) * u(nq));
    }
    return;
  }

  // A whole bump centred at j changes v(j0 + m - 1) by shape(m) delta, so its
  // transform is delta times G(k, j) = sum over m of shape(m) K(k, j0 + m - 1),
  // the kernel smoothed by the shape of j's range. Summed in double and
  // rounded once. Rows of centres whose bump leaves the grid stay zero: such
  // moves take the point-by-point path.
  std::vector<double> G(u(nq) + 1);
  for (int j = 1; j <= nr; ++j) {
    const Bump b = bump_at(run, j);
    if (b.n < 0) continue;
    std::fill(G.begin(), G.end(), 0.0);
    for (int m = 1; m <= 2 * b.n + 1; ++m) {
      kernel_row(run.model, j - b.n + m - 1, K);
      const double sm = b.shape[m];
      for (int k = 1; k <= nq; ++k) G[u(k)] += sm * static_cast<double>(K[k]);
    }
    float* out = rows.data() + u(j - 1) * u(stride);
    for (int k = 1; k <= nq; ++k) out[k] = static_cast<float>(G[u(k)]);
  }
}

// The rows and the per-set copies.
void QSpaceEvaluator::build_tables(const Run& run) {
  const int nq = run.model.q.nq;
  for (int k = 1; k <= nq; ++k) {
    Q[u(k)] = run.model.q.Q[u(k)];
    QQ[u(k)] = run.model.q.Q[u(k)] * run.model.q.Q[u(k)];
  }
  build_move_rows(run, max_row_bytes);
  std::size_t used = rows.size() * sizeof(float);
  const auto stride = static_cast<std::size_t>(row_stride);

  std::vector<int> owner;  // the first set of each broadened table
  std::vector<double> row(u(nq) + 1), acc(u(nq) + 1);
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    QSpaceSet& k = sets[s];
    const int first = set.settings.q_first, last = set.settings.q_last;
    for (int q = 1; q <= nq; ++q) {
      const bool fitted = q >= first && q <= last;
      k.w[u(q)] = fitted ? static_cast<float>(set.inv_var[u(q)]) : 0.0f;
      k.F[u(q)] = set.F[u(q)];
    }
    for (int p = 1; p <= run.params.nbasis; ++p) {
      k.flat[p] = flat_coefficient(set, p, nq);
      std::memcpy(k.coef[p].data() + 1, set.coef[p].data() + 1, sizeof(float) * u(nq));
    }

    k.table = -1;
    if (!run.params.resolution_on || rows.empty() || last < first) continue;
    for (std::size_t t = 0; t < owner.size(); ++t) {
      if (same_windows(run.model.sets[owner[t]], set)) k.table = static_cast<std::int32_t>(t);
    }
    if (k.table >= 0) continue;
    const std::size_t bytes = rows.size() * sizeof(float);
    if (used + bytes > max_row_bytes) continue;  // this set spreads its changes instead
    used += bytes;
    // Row j: row j of the move rows broadened, in double, at the fitted points.
    LineFloats table(rows.size(), 0.0f);
    for (int j = 1; j <= run.model.r.nr; ++j) {
      const float* from = this->row(j);
      for (int q = 1; q <= nq; ++q) row[u(q)] = static_cast<double>(from[q]);
      broaden_row(set, row.data(), acc.data());
      float* out = table.data() + u(j - 1) * stride;
      for (int i = first; i <= last; ++i) out[i] = static_cast<float>(acc[u(i)]);
    }
    k.table = static_cast<std::int32_t>(broadened.size());
    broadened.push_back(std::move(table));
    owner.push_back(s);
  }
}

// The kept sums of the model from scratch, in double, and the kept compared
// model rebuilt from F_calc.
void QSpaceEvaluator::refresh(Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    QSpaceSet& k = sets[s];
    run.kept.sets[s].kept = recompute_kept_sums(run, s);
    if (run.params.resolution_on) {
      // Zero beyond 1..nq too: the passes run over whole lines, where a
      // weight of zero must not meet whatever was there before.
      LineQ& M = k.M[u(k.current)];
      M = LineQ{};
      broaden(set, run.model.q.nq, set.F_calc.data(), M.data());
    } else {
      k.current = 0;
      k.M[0] = LineQ{};
      std::memcpy(k.M[0].data() + 1, set.F_calc.data() + 1, sizeof(float) * u(run.model.q.nq));
    }
  }
  since_refresh = 0;
}

// F_calc of set s from its kept copy at the points the summing pass does not
// copy: 1..15, and those after the last whole line within 1..nq.
void QSpaceEvaluator::copy_edges(Run& run, int s) const {
  float* F = run.model.sets[s].F_calc.data();
  const float* M = sets[s].M[0].data();
  const int nq = run.model.q.nq;
  const int whole_end = (nq + 1) / 16 * 16;  // first point after the last whole line
  for (int k = 1; k <= nq && k < 16; ++k) F[k] = M[k];
  for (int k = std::max(16, whole_end); k <= nq; ++k) F[k] = M[k];
}

void QSpaceEvaluator::prepare(Run& run) {
  build_tables(run);
  refresh(run);
}

void QSpaceEvaluator::rebuilt(Run& run) { refresh(run); }

void QSpaceEvaluator::sync(Run& run) { broaden_compared_models(run); }

double QSpaceEvaluator::trial(Run& run, const TrialChange& tc) {
  const RunParameters& par = run.params;
  if (since_refresh >= refresh_interval) refresh(run);
  ++since_refresh;

  const int nq = run.model.q.nq;
  const bool resolution = par.resolution_on;
  // A move row applies to a single point, or to a whole bump when the rows
  // hold the smoothed kernel; otherwise the change goes point by point into
  // each set's `change` first.
  const bool by_row = tc.changed && tc.row >= 1 && tc.row <= run.model.r.nr && !rows.empty();
  Trial& tr = run.kept.trial;
  tr.changed = tc.changed;
  tr.row = by_row ? tc.row : 0;
  tr.p = tc.p;
  tr.amplitude = tc.amplitude;
  KeptSums* d = changes_.data();  // a member: zeroing a local array each trial costs
  const int nsets = par.nsets;
  const auto up = u(tc.p);
  if (tc.changed && !by_row) {
    move_change(run.params, run.model, tc.p, tc.first, tc.d, tc.count);
    for (int s = 1; s <= nsets; ++s)
      std::memcpy(sets[s].change.data() + 1, run.model.sets[s].change.data() + 1, sizeof(float) * u(nq));
  }
  if (tc.changed && !resolution) {
    // The copies of F_calc are updated over the whole grid and summed on the
    // fitted ranges (w is 0 elsewhere), all sets in one pass that also stores
    // the new values into F_calc (its first and last few points after it).
    // The change of a row is not stored: an undo forms it again.
    SumPass a{};
    bool flat = true;
    for (int s = 1; s <= nsets; ++s) {
      QSpaceSet& k = sets[s];
      flat = flat && k.flat[up];
      a.part[s - 1] = SetPart{k.M[0].data(),   k.M[0].data(),     run.model.sets[s].F_calc.data(),
                              k.change.data(), k.coef[up].data(), k.coef[up][1],
                              k.w.data(),      k.F.data()};
    }
    a.row = by_row ? row(tc.row) : nullptr;
    a.d = tc.amplitude;
    a.Q = Q.data();
    a.QQ = QQ.data();
    a.from = 0;
    a.to = line_end(nq) - 1;
    a.copy_last = nq;
    kernels::summing_pass(!by_row ? Source::given : flat ? Source::row_flat : Source::row, nsets, a, d);
    for (int s = 1; s <= nsets; ++s) copy_edges(run, s);
  } else if (tc.changed) {
    for (int s = 1; s <= nsets; ++s) {
      // F_calc over the whole grid (its change stored for the undo and the
      // windows), then the broadened change into the spare buffer of M,
      // summed on the fitted range.
      DataSet& set = run.model.sets[s];
      QSpaceSet& k = sets[s];
      const bool flat = k.flat[up];
      Pass all{};
      all.ch_out = set.change.data();
      all.src = by_row ? row(tc.row) : k.change.data();
      all.c = k.coef[up].data();
      all.c_flat = k.coef[up][1];
      all.d = tc.amplitude;
      all.from = 1;
      all.to = nq;
      all.out = set.F_calc.data();
      all.X = all.out;
      if (!by_row)
        kernels::plain_pass(Source::given, false, false, all);
      else
        kernels::plain_pass(flat ? Source::row_flat : Source::row, true, false, all);
      const int first = set.settings.q_first, last = set.settings.q_last;
      SumPass m{};
      m.part[0] = SetPart{k.M[u(k.current)].data(),
                          k.M[u(1 - k.current)].data(),
                          nullptr,
                          dM.data(),
                          nullptr,
                          k.coef[up][1],
                          k.w.data(),
                          k.F.data()};
      m.d = tc.amplitude;
      m.Q = Q.data();
      m.QQ = QQ.data();
      m.from = line_start(first);
      m.to = line_end(last) - 1;
      if (by_row && flat && k.table >= 0) {
        m.row = broadened[u(k.table)].data() + u(tc.row - 1) * u(row_stride);
        kernels::summing_pass(Source::row_flat, 1, m, &d[s - 1]);
      } else {
        broaden(set, nq, set.change.data(), dM.data());
        kernels::summing_pass(Source::given, 1, m, &d[s - 1]);
      }
    }
  }
  return refit_all(run, tc.changed, d);
}

void QSpaceEvaluator::keep(Run& run) {
  Trial& tr = run.kept.trial;
  keep_sums(run);
  if (tr.changed && run.params.resolution_on) {
    for (int s = 1; s <= run.params.nsets; ++s) sets[s].current = 1 - sets[s].current;
  }
  tr.changed = false;
}

void QSpaceEvaluator::undo(Run& run) {
  Trial& tr = run.kept.trial;
  if (tr.changed) {
    // F_calc -= change, as the method undoes a move: with resolution on
    // F_calc itself; without, its copy (the change formed again from the row
    // when it was not stored), copied back. The kept sums and a broadened
    // model were never touched.
    const int nq = run.model.q.nq;
    const auto up = u(tr.p);
    for (int s = 1; s <= run.params.nsets; ++s) {
      DataSet& set = run.model.sets[s];
      QSpaceSet& k = sets[s];
      Pass a{};
      a.ch_out = set.change.data();
      a.c = k.coef[up].data();
      a.c_flat = k.coef[up][1];
      a.d = tr.amplitude;
      if (run.params.resolution_on) {
        a.src = set.change.data();
        a.out = set.F_calc.data();
        a.X = a.out;
        a.from = 1;
        a.to = nq;
        kernels::plain_pass(Source::given, false, true, a);
        continue;
      }
      a.src = tr.row > 0 ? row(tr.row) : k.change.data();
      a.out = k.M[0].data();
      a.X = a.out;
      a.copy = set.F_calc.data();
      a.copy_last = nq;
      a.from = 0;
      a.to = line_end(nq) - 1;
      kernels::plain_pass(tr.row == 0 ? Source::given : k.flat[up] ? Source::row_flat : Source::row, false, true, a);
      copy_edges(run, s);
    }
  }
  tr.changed = false;
}

}  // namespace yosta
