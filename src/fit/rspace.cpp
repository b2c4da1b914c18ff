#include "fit/rspace.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "fit/evaluation.h"
#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"
#include "base/lanes.h"

namespace yosta {

// All sums here are in double, in a fixed order, in plain scalar code (the
// Gram products run on four-wide vectors whose lanes are separate sums), so
// every build and processor gives the same bits.

namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

int families_of(const Run& run, const DataSet& set) {
  return flat_coefficients(set, run.params.nbasis, run.model.q.nq) ? 1 : run.params.nbasis;
}

// The rows of family f of set s over its fitted range first..last:
// V[(j - 1) * nfit + k - first], in double.
std::vector<double> family_rows(const Run& run, const DataSet& set, int families, int f) {
  const int nq = run.model.q.nq, nr = run.model.r.nr;
  const int first = set.settings.q_first, last = set.settings.q_last;
  const int nfit = last - first + 1;
  std::vector<double> V(u(nr) * u(nfit), 0.0);
  std::vector<double> row(u(nq) + 1), broadened(u(nq) + 1);
  float K[max_q + 1];
  for (int j = 1; j <= nr; ++j) {
    kernel_row(run.model, j, K);
    for (int k = 1; k <= nq; ++k) {
      const double c = families == 1 ? 1.0 : static_cast<double>(set.coef[f + 1][k]);
      row[u(k)] = c * static_cast<double>(K[k]);
    }
    const double* from = row.data();
    if (run.params.resolution_on) {
      broaden_row(set, row.data(), broadened.data());
      from = broadened.data();
    }
    double* out = V.data() + u(j - 1) * u(nfit);
    for (int k = first; k <= last; ++k) out[k - first] = from[k];
  }
  return V;
}

using d4 = lanes::v4d;

// G_fg(i, j) = sum over k of (w_k V_f(i, k)) V_g(j, k), k in order, for i in
// blocks of four (one lane each); j from i on when f == g (then mirrored).
// G and G_mirror are blocks (f, g) and (g, f), rows of nr values.
void gram_block(const std::vector<double>& Vf, const std::vector<double>& Vg, const double* w, int nr, int nfit,
                bool diagonal, float* G, float* G_mirror) {
  std::vector<d4> wa(u(nfit));
  for (int i0 = 1; i0 <= nr; i0 += 4) {
    for (int k = 0; k < nfit; ++k) {
      d4 x = {0.0, 0.0, 0.0, 0.0};
      for (int l = 0; l < 4 && i0 + l <= nr; ++l) x[l] = w[k] * Vf[u(i0 + l - 1) * u(nfit) + u(k)];
      wa[u(k)] = x;
    }
    for (int j = diagonal ? i0 : 1; j <= nr; ++j) {
      const double* vj = Vg.data() + u(j - 1) * u(nfit);
      d4 acc = {0.0, 0.0, 0.0, 0.0};
      for (int k = 0; k < nfit; ++k) acc += wa[u(k)] * vj[k];
      for (int l = 0; l < 4 && i0 + l <= nr; ++l) {
        const int i = i0 + l;
        if (diagonal && j < i) continue;
        G[u(i - 1) * u(nr) + u(j - 1)] = static_cast<float>(acc[l]);
        G_mirror[u(j - 1) * u(nr) + u(i - 1)] = static_cast<float>(acc[l]);
      }
    }
  }
}

// Which sets share their Gram blocks (RSpaceGroup), decided from the model.
struct SetGroup {
  int group = 0;
  double scale = 1.0;
};
struct Grouping {
  std::vector<SetGroup> of;  // [s - 1]
  std::vector<int> leader;   // [group]: its first set, whose tables the group builds
  std::vector<int> size;     // [group]: its sets
};

bool shareable(const Run& run, const DataSet& set) {
  return families_of(run, set) == 1 && set.settings.q_first <= set.settings.q_last &&
         toeplitz_applies(run.params, run.model, set);
}

// 1/var of the set when it is one positive value over the fitted range, else 1.
double weight_scale(const DataSet& set) {
  const int first = set.settings.q_first, last = set.settings.q_last;
  const double w = set.inv_var[u(first)];
  for (int k = first; k <= last; ++k) {
    if (set.inv_var[u(k)] != w) return 1.0;
  }
  return w > 0.0 && std::isfinite(w) ? w : 1.0;
}

// The same fitted range and the same weights once each is divided by its scale.
bool same_weights(const DataSet& a, double scale_a, const DataSet& b, double scale_b) {
  if (a.settings.q_first != b.settings.q_first || a.settings.q_last != b.settings.q_last) return false;
  for (int k = a.settings.q_first; k <= a.settings.q_last; ++k) {
    if (a.inv_var[u(k)] / scale_a != b.inv_var[u(k)] / scale_b) return false;
  }
  return true;
}

Grouping group_sets(const Run& run) {
  Grouping g;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    SetGroup mine{static_cast<int>(g.leader.size()), 1.0};
    if (shareable(run, set)) {
      mine.scale = weight_scale(set);
      for (std::size_t x = 0; x < g.leader.size(); ++x) {
        const int l = g.leader[x];
        const DataSet& other = run.model.sets[l];
        if (shareable(run, other) && same_weights(set, mine.scale, other, g.of[u(l - 1)].scale)) {
          mine.group = static_cast<int>(x);
          break;
        }
      }
    }
    if (mine.group == static_cast<int>(g.leader.size())) {
      g.leader.push_back(s);
      g.size.push_back(0);
    }
    ++g.size[u(mine.group)];
    g.of.push_back(mine);
  }
  // A set alone keeps its own weights in its tables.
  for (SetGroup& x : g.of) {
    if (g.size[u(x.group)] == 1) x.scale = 1.0;
  }
  return g;
}

}  // namespace

std::size_t GramTables::bytes(const Run& run, const DataSet& set, int families) {
  const auto f = static_cast<std::size_t>(families), n = static_cast<std::size_t>(run.model.r.nr);
  const std::size_t times = run.params.gaussian_moves ? 2 : 1;
  const std::size_t doubles = times * f * n;  // diag; bump_gram
  if (toeplitz_applies(run.params, run.model, set))
    return doubles * sizeof(double) + toeplitz_bytes(run.params, run.model, families);
  return doubles * sizeof(double) + times * f * f * n * n * sizeof(float);  // G; cross
}

void GramTables::build(const Run& run, const std::vector<std::vector<double>>& V, const std::vector<double>& w,
                       int nfit) {
  *this = GramTables{};
  families_ = static_cast<std::int32_t>(V.size());
  nr_ = run.model.r.nr;
  const int nf = families_, nr = nr_;
  const bool gaussian = run.params.gaussian_moves;
  G_.assign(block(nf, 0), 0.0f);
  cross_.assign(gaussian ? G_.size() : 0, 0.0f);
  if (nfit >= 1) {
    for (int f = 0; f < nf; ++f) {
      for (int g = f; g < nf; ++g)
        gram_block(V[u(f)], V[u(g)], w.data(), nr, nfit, f == g, G_.data() + block(f, g), G_.data() + block(g, f));
    }
  }
  derived(run);
  if (!gaussian || nfit < 1) return;
  std::vector<double> c(u(nr));
  for (int j = 1; j <= nr; ++j) {
    const Bump b = bump_at(run, j);
    if (b.n < 0) continue;
    const int j0 = j - b.n;
    for (int f = 0; f < nf; ++f) {
      for (int g = 0; g < nf; ++g) {
        std::fill(c.begin(), c.end(), 0.0);
        for (int m = 1; m <= 2 * b.n + 1; ++m) {
          const double sm = b.shape[m];
          const float* row = G_.data() + block(f, g) + row_start(j0 + m - 1);
          for (int i = 0; i < nr; ++i) c[u(i)] += sm * static_cast<double>(row[i]);
        }
        float* out = cross_.data() + block(f, g) + row_start(j);
        for (int i = 0; i < nr; ++i) out[i] = static_cast<float>(c[u(i)]);
      }
    }
  }
}

void GramTables::build_toeplitz(const Run& run, const DataSet& set, int families, double weight_scale) {
  *this = GramTables{};
  families_ = families;
  nr_ = run.model.r.nr;
  at_ = &GramTables::toeplitz_at;
  add_row_ = &GramTables::toeplitz_row;
  add_bump_row_ = &GramTables::toeplitz_bump_row;
  build_toeplitz_gram(run.params, run.model, set, families, T_, weight_scale);
  derived(run);
}

void GramTables::derived(const Run& run) {
  const int nf = families_, nr = nr_;
  diag_.assign(u(nf) * u(nr), 0.0);
  for (int f = 0; f < nf; ++f) {
    for (int j = 1; j <= nr; ++j) diag_[index(f, j)] = at(f, f, j, j);
  }
  if (!run.params.gaussian_moves) return;
  bump_gram_.assign(diag_.size(), 0.0);
  for (int j = 1; j <= nr; ++j) {
    const Bump b = bump_at(run, j);
    if (b.n < 0) continue;
    const int j0 = j - b.n;
    for (int f = 0; f < nf; ++f) {
      double gram = 0.0;
      for (int m = 1; m <= 2 * b.n + 1; ++m) {
        double row = 0.0;
        for (int m2 = 1; m2 <= 2 * b.n + 1; ++m2)
          row += static_cast<double>(b.shape[m2]) * at(f, f, j0 + m - 1, j0 + m2 - 1);
        gram += static_cast<double>(b.shape[m]) * row;
      }
      bump_gram_[index(f, j)] = gram;
    }
  }
}

void GramTables::dense_row(double* D, double a, int f, int g, int j) const {
  row_(D, a, G_.data() + block(f, g) + row_start(j), nr_);
}

void GramTables::dense_bump_row(double* D, double a, int f, int g, int j) const {
  row_(D, a, cross_.data() + block(f, g) + row_start(j), nr_);
}

void GramTables::toeplitz_row(double* D, double a, int f, int g, int j) const {
  const kernels::GramRow row = T_.row(f, g, j, a);
  gram_row_(D, &row, 1, nr_);
}

void GramTables::toeplitz_bump_row(double* D, double a, int f, int g, int j) const {
  bump_row_(D, a, T_.bump_row(f, g, j), nr_);
}

std::size_t rspace_bytes(const Run& run) {
  const auto nr = static_cast<std::size_t>(run.model.r.nr);
  const bool gaussian = run.params.gaussian_moves;
  const Grouping grouping = group_sets(run);
  std::size_t bytes = 0;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const auto f = static_cast<std::size_t>(families_of(run, run.model.sets[s]));
    bytes += (gaussian ? 9 : 5) * f * nr * sizeof(double);  // lin, D0; bump_lin
  }
  for (std::size_t x = 0; x < grouping.leader.size(); ++x) {
    const DataSet& set = run.model.sets[grouping.leader[x]];
    const int families = families_of(run, set);
    const std::size_t channels = grouping.size[x] > 1 ? static_cast<std::size_t>(run.params.nbasis) : 1;
    bytes += static_cast<std::size_t>(families) * channels * nr * sizeof(double) +  // U
             GramTables::bytes(run, set, families);
  }
  return bytes;
}

bool rspace_fits(const Run& run, std::size_t max_bytes) {
  return run.model.r.nr >= 1 && run.model.q.nq >= 1 && rspace_bytes(run) <= max_bytes;
}

void RSpaceEvaluator::prepare(Run& run) {
  *this = RSpaceEvaluator{};
  nr = run.model.r.nr;
  bytes = rspace_bytes(run);
  const bool gaussian = run.params.gaussian_moves;
  const int nbasis = run.params.nbasis;
  const Grouping grouping = group_sets(run);
  groups.resize(grouping.leader.size());
  for (std::size_t x = 0; x < groups.size(); ++x) {
    const DataSet& leader = run.model.sets[grouping.leader[x]];
    RSpaceGroup& G = groups[x];
    const int nf = families_of(run, leader);
    G.families = nf;
    G.shared = grouping.size[x] > 1;
    G.channels = G.shared ? nbasis : 1;
    for (int p = 1; p <= nbasis; ++p) {
      G.family[p] = nf == 1 ? 0 : p - 1;
      G.channel[p] = G.shared ? p - 1 : 0;
      // A set alone takes its coefficient into the rows it adds; the sets of
      // a shared group each weigh the channel of p by their own.
      G.amplitude[p] = nf == 1 && !G.shared ? static_cast<double>(leader.coef[p][1]) : 1.0;
    }
    G.U.assign(u(nf) * u(G.channels) * u(nr), 0.0);
    G.pending.assign(u(nf) * u(G.channels), RSpaceGroup::Pending{});
  }
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    RSpaceSet& t = sets[s];
    const SetGroup& sg = grouping.of[u(s - 1)];
    RSpaceGroup& G = groups[u(sg.group)];
    const int nf = families_of(run, set);
    t.families = nf;
    t.group = sg.group;
    t.scale = sg.scale;
    for (int p = 1; p <= nbasis; ++p) {
      t.family[p] = nf == 1 ? 0 : p - 1;
      t.factor[p] = nf == 1 ? static_cast<double>(set.coef[p][1]) : 1.0;
      t.weight[u(p - 1)] = G.shared ? static_cast<double>(set.coef[p][1]) : 0.0;
    }
    if (!G.shared) t.weight[0] = 1.0;
    const auto NF = static_cast<std::size_t>(nf), NR = static_cast<std::size_t>(nr);
    t.lin.assign(NF * NR * 4, 0.0);
    t.D0.assign(NF * NR, 0.0);
    t.bump_lin.assign(gaussian ? t.lin.size() : 0, 0.0);
    const int first = set.settings.q_first, last = set.settings.q_last;
    const int nfit = std::max(last - first + 1, 0);
    std::vector<double> w(u(nfit));
    for (int k = first; k <= last; ++k) w[u(k - first)] = set.inv_var[u(k)];
    // Without resolution the rows are the kernel's, formed one at a time
    // here; with it the broadened rows of every family are kept for the
    // dense blocks. The first set of a group builds the group's blocks.
    const bool toeplitz = toeplitz_applies(run.params, run.model, set);
    std::vector<std::vector<double>> V(NF);
    for (int f = 0; !toeplitz && nfit > 0 && f < nf; ++f) V[u(f)] = family_rows(run, set, nf, f);
    if (grouping.leader[u(sg.group)] == s) {
      if (toeplitz)
        G.gram.build_toeplitz(run, set, nf, sg.scale);
      else
        G.gram.build(run, V, w, nfit);
      G.point.resize(u(nr));
      for (int j = 1; j <= nr; ++j) G.point[u(j - 1)] = toeplitz ? static_cast<double>(j) : 1.0;
      G.defer = toeplitz && !gaussian && !G.shared ? rspace_deferred_rows : 1;
    }
    if (nfit < 1) continue;
    std::vector<double> row(u(nfit));
    float K[max_q + 1];
    for (int f = 0; f < nf; ++f) {
      for (int j = 1; j <= nr; ++j) {
        const double* v = row.data();
        if (toeplitz) {
          kernel_row(run.model, j, K);
          for (int k = first; k <= last; ++k) {
            const double c = nf == 1 ? 1.0 : static_cast<double>(set.coef[f + 1][k]);
            row[u(k - first)] = c * static_cast<double>(K[k]);
          }
        } else {
          v = V[u(f)].data() + u(j - 1) * u(nfit);
        }
        double a0 = 0.0, aF = 0.0, a1 = 0.0, a2 = 0.0;
        for (int k = first; k <= last; ++k) {
          const double wv = w[u(k - first)] * v[k - first];
          const float q = run.model.q.Q[k];
          a0 += wv;
          aF += wv * static_cast<double>(set.F[k]);
          a1 += wv * static_cast<double>(q);
          a2 += wv * static_cast<double>(q * q);
        }
        double* l = t.lin.data() + (u(f) * NR + u(j - 1)) * 4;
        l[0] = a0;
        l[1] = aF;
        l[2] = a1;
        l[3] = a2;
      }
    }
    if (!gaussian) continue;
    for (int j = 1; j <= nr; ++j) {
      const Bump b = bump_at(run, j);
      if (b.n < 0) continue;
      for (int f = 0; f < nf; ++f) {
        double* bl = t.bump_lin.data() + (u(f) * NR + u(j - 1)) * 4;
        for (int m = 1; m <= 2 * b.n + 1; ++m) {
          const double sm = b.shape[m];
          const double* l = t.lin.data() + (u(f) * NR + u(j - b.n + m - 2)) * 4;
          for (int x = 0; x < 4; ++x) bl[x] += sm * l[x];
        }
      }
    }
  }
  form(run);
}

void RSpaceEvaluator::form(Run& run) {
  const int nq = run.model.q.nq;
  float K[max_q + 1];
  float M[max_q + 1];
  std::vector<double> z(u(nq) + 1);
  for (RSpaceGroup& G : groups) {
    if (G.shared) std::fill(G.U.begin(), G.U.end(), 0.0);
    for (RSpaceGroup::Pending& q : G.pending) q.count = 0;  // U is formed afresh below
  }
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    RSpaceSet& t = sets[s];
    RSpaceGroup& G = groups[u(t.group)];
    run.kept.sets[s].kept = recompute_kept_sums(run, s);
    const int first = set.settings.q_first, last = set.settings.q_last;
    const float* model = set.F_calc.data();
    if (run.params.resolution_on) {
      broaden(set, nq, set.F_calc.data(), M);
      model = M;
    }
    // y = w e on the fitted range; z = y spread back through the windows
    // (the transpose of the broadening), or y itself.
    std::fill(z.begin(), z.end(), 0.0);
    if (!run.params.resolution_on) {
      for (int k = first; k <= last; ++k)
        z[u(k)] = set.inv_var[u(k)] * (static_cast<double>(model[k]) - static_cast<double>(set.F[u(k)]));
    } else {
      for (int k = first; k <= last; ++k) {
        double sum = 0.0;
        for (int i = set.lo[k]; i <= set.hi[k]; ++i) {
          if (i < first || i > last) continue;
          const double y = set.inv_var[i] * (static_cast<double>(model[i]) - static_cast<double>(set.F[i]));
          sum += static_cast<double>(set.weight[u(k)][u(i - set.lo[u(k)])]) * y;
        }
        z[u(k)] = sum;
      }
    }
    for (int j = 1; j <= nr; ++j) {
      kernel_row(run.model, j, K);
      for (int f = 0; f < t.families; ++f) {
        double sum = 0.0;
        for (int k = first; k <= last; ++k) {
          const double c = t.families == 1 ? 1.0 : static_cast<double>(set.coef[f + 1][k]);
          sum += c * static_cast<double>(K[k]) * z[u(k)];
        }
        // A set alone keeps its D in its group's one channel; the sets of a
        // shared group keep theirs apart, and the group's rows start again.
        (G.shared ? t.D0[u(f) * u(nr) + u(j - 1)] : G.U[u(f) * u(nr) + u(j - 1)]) = sum / G.point[u(j - 1)];
      }
    }
  }
  since_refresh = 0;
  stale = false;
}

void RSpaceEvaluator::rebuilt(Run& run) { form(run); }

void RSpaceEvaluator::sync(Run& run) {
  if (stale) {
    full_model(run.params, run.model);
    stale = false;
  }
  broaden_compared_models(run);
}

[[gnu::always_inline]] inline KeptSums RSpaceEvaluator::row_change(const Run& run, int s, const Bump& b) const {
  const Trial& tr = run.kept.trial;
  const RSpaceSet& t = sets[s];
  const int f = t.family[tr.p];
  const int j = tr.row;
  const std::size_t fj = u(f) * u(nr) + u(j - 1);
  const double a = static_cast<double>(tr.amplitude) * t.factor[tr.p];
  const double* l;
  double Dx, Gx;
  if (b.n < 0) {
    l = t.lin.data() + fj * 4;
    Dx = D(s, f, j);
    Gx = t.scale * gram(s).diagonal(f, j);
  } else {
    l = t.bump_lin.data() + fj * 4;
    Dx = 0.0;
    for (int m = 1; m <= 2 * b.n + 1; ++m) Dx += static_cast<double>(b.shape[m]) * D(s, f, j - b.n + m - 1);
    Gx = t.scale * gram(s).bump(f, j);
  }
  KeptSums e;
  e.E0 = a * l[0];
  e.EF = a * l[1];
  e.E1 = a * l[2];
  e.E2 = a * l[3];
  e.EE = 2.0 * a * Dx + a * a * Gx;
  return e;
}

KeptSums RSpaceEvaluator::point_change(int s, const TrialChange& tc) const {
  const RSpaceSet& t = sets[s];
  const int f = t.family[tc.p];
  const double c = t.factor[tc.p];
  const GramTables& G = gram(s);
  double l[4] = {0.0, 0.0, 0.0, 0.0};
  double X = 0.0, Qd = 0.0;
  for (int i = 0; i < tc.count; ++i) {
    const double di = tc.d[i];
    if (di == 0.0) continue;
    const int ji = tc.first + i;
    const double* li = t.lin.data() + (u(f) * u(nr) + u(ji - 1)) * 4;
    for (int x = 0; x < 4; ++x) l[x] += di * li[x];
    X += di * D(s, f, ji);
    Qd += di * G.row_dot(f, ji, tc.d, tc.first, tc.count);
  }
  KeptSums e;
  e.E0 = c * l[0];
  e.EF = c * l[1];
  e.E1 = c * l[2];
  e.E2 = c * l[3];
  e.EE = 2.0 * c * X + c * c * (t.scale * Qd);
  return e;
}

double RSpaceEvaluator::trial(Run& run, const TrialChange& tc) {
  if (since_refresh >= rspace_refresh_interval) {
    full_model(run.params, run.model);
    form(run);
  }
  ++since_refresh;
  Trial& tr = run.kept.trial;
  tr.changed = tc.changed;
  tr.p = tc.p;
  tr.row = tc.changed && tc.row >= 1 && tc.row <= nr ? tc.row : 0;
  tr.amplitude = tc.amplitude;
  // Every field of changes_[s] is set below; an unchanged model reads none of
  // them. (A member, not a local: zeroing a local array each trial costs.)
  KeptSums* d = changes_.data();
  if (tc.changed) {
    Bump b;
    if (tr.row > 0 && run.params.gaussian_moves) {
      b = bump_at(run, tr.row);
      if (b.n < 0) tr.row = 0;  // not a whole bump after all: point by point
    }
    if (tr.row == 0) {
      tr.first = tc.first;
      tr.count = tc.count;
      for (int i = 0; i < tc.count; ++i) tr.d[u(i)] = tc.d[i];
    }
    for (int s = 1; s <= run.params.nsets; ++s) d[s - 1] = tr.row > 0 ? row_change(run, s, b) : point_change(s, tc);
  }
  return refit_all(run, tc.changed, d);
}

void RSpaceEvaluator::flush(RSpaceGroup& G, std::size_t slot) {
  RSpaceGroup::Pending& q = G.pending[slot];
  if (q.count == 0) return;
  G.gram.add_rows(G.U.data() + slot * u(nr), q.row.data(), q.count);
  q.count = 0;
}

[[gnu::always_inline]] inline void RSpaceEvaluator::add_row(RSpaceGroup& G, std::size_t slot, int f, int g, int j,
                                                            double a) {
  if (G.defer == 1) {
    G.gram.add_row(G.U.data() + slot * u(nr), a, f, g, j);
    return;
  }
  RSpaceGroup::Pending& q = G.pending[slot];
  q.row[u(q.count)] = G.gram.row(f, g, j, a);
  if (++q.count == G.defer) flush(G, slot);
}

void RSpaceEvaluator::keep(Run& run) {
  Trial& tr = run.kept.trial;
  keep_sums(run);
  if (!tr.changed) return;
  tr.changed = false;
  stale = true;
  const int p = tr.p;
  const bool bump = run.params.gaussian_moves;
  for (RSpaceGroup& G : groups) {
    const int f = G.family[p];
    const double c = G.amplitude[p];
    for (int g = 0; g < G.families; ++g) {
      const std::size_t slot = u(g) * u(G.channels) + u(G.channel[p]);
      if (tr.row > 0) {
        // U += a G_fg(j, .), or a times the bump's row of G.
        const double a = static_cast<double>(tr.amplitude) * c;
        if (bump) {
          flush(G, slot);
          G.gram.add_bump_row(G.U.data() + slot * u(nr), a, f, g, tr.row);
        } else {
          add_row(G, slot, f, g, tr.row, a);
        }
        continue;
      }
      for (int m = 0; m < tr.count; ++m) {
        if (tr.d[u(m)] == 0.0f) continue;
        add_row(G, slot, f, g, tr.first + m, static_cast<double>(tr.d[u(m)]) * c);
      }
    }
  }
}

void RSpaceEvaluator::undo(Run& run) { run.kept.trial.changed = false; }

}  // namespace yosta
