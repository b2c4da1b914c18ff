#include "fit/rspace.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fit/evaluation.h"
#include "fit/run.h"
#include "model/corrections.h"
#include "model/transform.h"

namespace yosta {

// All sums here are in double, in a fixed order, in plain scalar code (the
// Gram products run on four-wide vectors whose lanes are separate sums), so
// every build and processor gives the same bits.

namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

// True when every coefficient of set s is one value at every Q.
bool flat_coefficients(const Run& run, const DataSet& set) {
  for (int p = 1; p <= run.params.nbasis; ++p) {
    const auto& c = set.coef[u(p)];
    for (int k = 2; k <= run.model.q.nq; ++k) {
      if (c[u(k)] != c[1]) return false;
    }
  }
  return true;
}

int families_of(const Run& run, const DataSet& set) { return flat_coefficients(run, set) ? 1 : run.params.nbasis; }

// The whole bump centred at j: its half-width and shape, or n = -1 when it
// leaves the grid.
struct Bump {
  int n = -1;
  const float* shape = nullptr;  // shape[m], m = 1..2n+1
};
Bump bump_at(const Run& run, int j) {
  const int range = gaussian_range(run.params, static_cast<float>(j) * run.model.r.dr);
  Bump b;
  const int n = run.model.gauss.ngauss[u(range)];
  if (j - n < 1 || j + n > run.model.r.nr) return b;
  b.n = n;
  b.shape = run.model.gauss.shape[u(range)].data();
  return b;
}

// The rows of family f of set s over its fitted range first..last:
// V[(j - 1) * nfit + k - first], in double.
std::vector<double> family_rows(const Run& run, const DataSet& set, int families, int f) {
  const int nq = run.model.q.nq, nr = run.model.r.nr;
  const int first = set.settings.q_first, last = set.settings.q_last;
  const int nfit = last - first + 1;
  std::vector<double> V(u(nr) * u(nfit), 0.0);
  std::vector<double> row(u(nq) + 1);
  float K[max_q + 1];
  for (int j = 1; j <= nr; ++j) {
    kernel_row(run.model, j, K);
    for (int k = 1; k <= nq; ++k) {
      const double c = families == 1 ? 1.0 : static_cast<double>(set.coef[u(f + 1)][u(k)]);
      row[u(k)] = c * static_cast<double>(K[k]);
    }
    double* out = V.data() + u(j - 1) * u(nfit);
    if (!run.params.resolution_on) {
      for (int k = first; k <= last; ++k) out[k - first] = row[u(k)];
      continue;
    }
    // Broadened as the model is: point i gets weight_k(i) row(k) from every
    // fitted k whose window holds it.
    for (int k = first; k <= last; ++k) {
      const double x = row[u(k)];
      for (int i = set.lo[u(k)]; i <= set.hi[u(k)]; ++i) {
        if (i >= first && i <= last) out[i - first] += static_cast<double>(set.weight[u(k)][u(i - set.lo[u(k)])]) * x;
      }
    }
  }
  return V;
}

typedef double d4 __attribute__((vector_size(32)));

// G_fg(i, j) = sum over k of (w_k V_f(i, k)) V_g(j, k), k in order, for i in
// blocks of four (one lane each); j from i on when f == g (then mirrored).
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

// The rows and entries of the two layouts.
std::size_t block_row(const RSpaceSet& t, int f, int g, int j) {
  const auto NR = static_cast<std::size_t>(t.nr);
  return ((u(f) * u(t.families) + u(g)) * NR + u(j - 1)) * NR;
}
void dense_row(const RSpaceSet& t, double* D, double a, int f, int g, int j) {
  kernels::add_row(D, a, t.G.data() + block_row(t, f, g, j), t.nr);
}
void dense_bump_row(const RSpaceSet& t, double* D, double a, int f, int g, int j) {
  kernels::add_row(D, a, t.cross.data() + block_row(t, f, g, j), t.nr);
}
double dense_entry(const RSpaceSet& t, int f, int g, int i, int j) {
  return static_cast<double>(t.G[block_row(t, f, g, i) + u(j - 1)]);
}
void toeplitz_row(const RSpaceSet& t, double* D, double a, int f, int g, int j) {
  kernels::add_gram_row(D, a, t.gram.row(f, g, j), t.nr);
}
void toeplitz_bump_row(const RSpaceSet& t, double* D, double a, int f, int g, int j) {
  kernels::add_bump_row(D, a, t.gram.bump_row(f, g, j), t.nr);
}
double toeplitz_entry(const RSpaceSet& t, int f, int g, int i, int j) { return t.gram.entry(f, g, i, j); }

// The linear sums of family f at every r point (the tables `lin`) from its
// rows V (dense layout), or from the kernel rows directly.
void linear_sums(const Run& run, const DataSet& set, RSpaceSet& t, int f, const std::vector<double>* V,
                 const std::vector<double>& w) {
  const int nr = run.model.r.nr;
  const int first = set.settings.q_first, last = set.settings.q_last;
  const int nfit = last - first + 1;
  std::vector<double> row(u(nfit));
  float K[max_q + 1];
  for (int j = 1; j <= nr; ++j) {
    const double* v;
    if (V != nullptr) {
      v = V->data() + u(j - 1) * u(nfit);
    } else {
      kernel_row(run.model, j, K);
      for (int k = first; k <= last; ++k) {
        const double c = t.families == 1 ? 1.0 : static_cast<double>(set.coef[u(f + 1)][u(k)]);
        row[u(k - first)] = c * static_cast<double>(K[k]);
      }
      v = row.data();
    }
    double a0 = 0.0, aF = 0.0, a1 = 0.0, a2 = 0.0;
    for (int k = first; k <= last; ++k) {
      const double wv = w[u(k - first)] * v[k - first];
      const float q = run.model.q.Q[u(k)];
      a0 += wv;
      aF += wv * static_cast<double>(set.F[u(k)]);
      a1 += wv * static_cast<double>(q);
      a2 += wv * static_cast<double>(q * q);
    }
    double* l = t.lin.data() + (u(f) * u(nr) + u(j - 1)) * 4;
    l[0] = a0;
    l[1] = aF;
    l[2] = a1;
    l[3] = a2;
  }
}

// The kept sums of every set and D, formed from F_calc.
void form_from_model(Run& run) {
  RSpaceState& rs = run.kept.rspace;
  const int nq = run.model.q.nq, nr = run.model.r.nr;
  float K[max_q + 1];
  float M[max_q + 1];
  std::vector<double> z(u(nq) + 1);
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[u(s)];
    RSpaceSet& t = rs.sets[u(s)];
    run.kept.sets[u(s)].kept = recompute_kept_sums(run, s);
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
        for (int i = set.lo[u(k)]; i <= set.hi[u(k)]; ++i) {
          if (i < first || i > last) continue;
          const double y = set.inv_var[u(i)] * (static_cast<double>(model[i]) - static_cast<double>(set.F[u(i)]));
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
          const double c = t.families == 1 ? 1.0 : static_cast<double>(set.coef[u(f + 1)][u(k)]);
          sum += c * static_cast<double>(K[k]) * z[u(k)];
        }
        t.D[u(f) * u(nr) + u(j - 1)] = sum;
      }
    }
  }
  rs.since_refresh = 0;
}

}  // namespace

std::size_t rspace_bytes(const Run& run) {
  const auto nr = static_cast<std::size_t>(run.model.r.nr);
  std::size_t bytes = 0;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[u(s)];
    const int nf = families_of(run, set);
    const auto f = static_cast<std::size_t>(nf);
    const bool toeplitz = toeplitz_applies(run.params, run.model, set);
    std::size_t doubles = 6 * f * nr, floats = toeplitz ? 0 : f * f * nr * nr;  // lin, D, diag; G
    if (run.params.gaussian_moves) {
      doubles += 5 * f * nr;                     // bump_lin, bump_gram
      if (!toeplitz) floats += f * f * nr * nr;  // cross
    }
    bytes += doubles * sizeof(double) + floats * sizeof(float);
    if (toeplitz) bytes += toeplitz_bytes(run.params, run.model, nf);
  }
  return bytes;
}

void rspace_prepare(Run& run, std::size_t max_bytes) {
  RSpaceState& rs = run.kept.rspace;
  rs = RSpaceState{};
  const int nr = run.model.r.nr;
  if (nr < 1 || run.model.q.nq < 1) return;
  const std::size_t bytes = rspace_bytes(run);
  if (bytes > max_bytes) return;
  rs.bytes = bytes;
  rs.nr = nr;
  const bool gaussian = run.params.gaussian_moves;
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[u(s)];
    RSpaceSet& t = rs.sets[u(s)];
    const int nf = families_of(run, set);
    t.families = nf;
    for (int p = 1; p <= run.params.nbasis; ++p) {
      t.family[u(p)] = nf == 1 ? 0 : p - 1;
      t.factor[u(p)] = nf == 1 ? static_cast<double>(set.coef[u(p)][1]) : 1.0;
    }
    const auto NF = static_cast<std::size_t>(nf), NR = static_cast<std::size_t>(nr);
    t.nr = nr;
    t.toeplitz = toeplitz_applies(run.params, run.model, set);
    t.add_row = t.toeplitz ? toeplitz_row : dense_row;
    t.add_bump_row = t.toeplitz ? toeplitz_bump_row : dense_bump_row;
    t.entry = t.toeplitz ? toeplitz_entry : dense_entry;
    t.lin.assign(NF * NR * 4, 0.0);
    t.D.assign(NF * NR, 0.0);
    t.diag.assign(NF * NR, 0.0);
    if (!t.toeplitz) t.G.assign(NF * NF * NR * NR, 0.0f);
    const int first = set.settings.q_first, last = set.settings.q_last;
    const int nfit = last - first + 1;
    if (nfit < 1) {
      if (t.toeplitz) build_toeplitz_gram(run.params, run.model, set, nf, t.gram);
      if (gaussian) {
        t.bump_lin.assign(NF * NR * 4, 0.0);
        t.bump_gram.assign(NF * NR, 0.0);
        if (!t.toeplitz) t.cross.assign(NF * NF * NR * NR, 0.0f);
      }
      continue;
    }
    std::vector<double> w(u(nfit));
    for (int k = first; k <= last; ++k) w[u(k - first)] = set.inv_var[u(k)];
    if (t.toeplitz) {
      for (int f = 0; f < nf; ++f) linear_sums(run, set, t, f, nullptr, w);
      build_toeplitz_gram(run.params, run.model, set, nf, t.gram);
    } else {
      std::vector<std::vector<double>> V(NF);
      for (int f = 0; f < nf; ++f) V[u(f)] = family_rows(run, set, nf, f);
      for (int f = 0; f < nf; ++f) {
        linear_sums(run, set, t, f, &V[u(f)], w);
        for (int g = f; g < nf; ++g) {
          gram_block(V[u(f)], V[u(g)], w.data(), nr, nfit, f == g, t.G.data() + (u(f) * NF + u(g)) * NR * NR,
                     t.G.data() + (u(g) * NF + u(f)) * NR * NR);
        }
      }
    }
    for (int f = 0; f < nf; ++f) {
      for (int j = 1; j <= nr; ++j) t.diag[u(f) * NR + u(j - 1)] = t.entry(t, f, f, j, j);
    }
    if (!gaussian) continue;
    t.bump_lin.assign(NF * NR * 4, 0.0);
    t.bump_gram.assign(NF * NR, 0.0);
    if (!t.toeplitz) t.cross.assign(NF * NF * NR * NR, 0.0f);
    for (int j = 1; j <= nr; ++j) {
      const Bump b = bump_at(run, j);
      if (b.n < 0) continue;
      const int j0 = j - b.n;
      for (int f = 0; f < nf; ++f) {
        double* bl = t.bump_lin.data() + (u(f) * NR + u(j - 1)) * 4;
        for (int m = 1; m <= 2 * b.n + 1; ++m) {
          const double sm = b.shape[m];
          const double* l = t.lin.data() + (u(f) * NR + u(j0 + m - 2)) * 4;
          for (int x = 0; x < 4; ++x) bl[x] += sm * l[x];
        }
        double gram = 0.0;
        for (int m = 1; m <= 2 * b.n + 1; ++m) {
          double row = 0.0;
          for (int m2 = 1; m2 <= 2 * b.n + 1; ++m2)
            row += static_cast<double>(b.shape[m2]) * t.entry(t, f, f, j0 + m - 1, j0 + m2 - 1);
          gram += static_cast<double>(b.shape[m]) * row;
        }
        t.bump_gram[u(f) * NR + u(j - 1)] = gram;
        if (t.toeplitz) continue;
        for (int g = 0; g < nf; ++g) {
          const float* Gfg = t.G.data() + (u(f) * NF + u(g)) * NR * NR;
          std::vector<double> c(NR, 0.0);
          for (int m = 1; m <= 2 * b.n + 1; ++m) {
            const double sm = b.shape[m];
            const float* row = Gfg + u(j0 + m - 2) * NR;
            for (int i = 0; i < nr; ++i) c[u(i)] += sm * static_cast<double>(row[i]);
          }
          float* out = t.cross.data() + ((u(f) * NF + u(g)) * NR + u(j - 1)) * NR;
          for (int i = 0; i < nr; ++i) out[i] = static_cast<float>(c[u(i)]);
        }
      }
    }
  }
  rs.on = true;
  form_from_model(run);
}

void rspace_form(Run& run) {
  form_from_model(run);
  run.kept.rspace.stale = false;
}

void rspace_refresh(Run& run) {
  full_model(run.params, run.model);
  rspace_form(run);
}

void rspace_trial(Run& run, const TrialChange& tc, KeptSums* d) {
  RSpaceState& rs = run.kept.rspace;
  const int nsets = run.params.nsets;
  rs.trial_changed = tc.changed;
  rs.trial_p = tc.p;
  rs.trial_row = tc.changed && tc.row >= 1 && tc.row <= rs.nr ? tc.row : 0;
  rs.trial_amplitude = tc.amplitude;
  // Every field of d[s] is set below; an unchanged model reads none of them.
  if (!tc.changed) return;
  const std::size_t NR = u(rs.nr);
  const bool gaussian = run.params.gaussian_moves;
  if (rs.trial_row > 0 && !gaussian) {
    // A single point, the most common trial: three reads of the tables per set.
    const std::size_t j = u(rs.trial_row - 1);
    for (int s = 1; s <= nsets; ++s) {
      const RSpaceSet& t = rs.sets[u(s)];
      const std::size_t fj = u(t.family[u(tc.p)]) * NR + j;
      const double a = static_cast<double>(tc.amplitude) * t.factor[u(tc.p)];
      const double* l = t.lin.data() + fj * 4;
      KeptSums& e = d[s - 1];
      e.E0 = a * l[0];
      e.EF = a * l[1];
      e.E1 = a * l[2];
      e.E2 = a * l[3];
      e.EE = 2.0 * a * t.D[fj] + a * a * t.diag[fj];
    }
    return;
  }
  rs.trial_first = tc.first;
  rs.trial_count = tc.count;
  for (int i = 0; i < tc.count; ++i) rs.trial_d[u(i)] = tc.d[i];
  Bump b;
  if (rs.trial_row > 0 && gaussian) {
    b = bump_at(run, rs.trial_row);
    if (b.n < 0) rs.trial_row = 0;  // not a whole bump after all: point by point
  }
  for (int s = 1; s <= nsets; ++s) {
    const RSpaceSet& t = rs.sets[u(s)];
    const int f = t.family[u(tc.p)];
    const double c = t.factor[u(tc.p)];
    const double* D = t.D.data() + u(f) * NR;
    KeptSums& e = d[s - 1];
    if (rs.trial_row > 0) {
      const int j = rs.trial_row;
      const double a = static_cast<double>(tc.amplitude) * c;
      const double* l;
      double Dx, Gx;
      if (!gaussian) {
        l = t.lin.data() + (u(f) * NR + u(j - 1)) * 4;
        Dx = D[j - 1];
        Gx = t.diag[u(f) * NR + u(j - 1)];
      } else {
        l = t.bump_lin.data() + (u(f) * NR + u(j - 1)) * 4;
        Dx = 0.0;
        for (int m = 1; m <= 2 * b.n + 1; ++m) Dx += static_cast<double>(b.shape[m]) * D[j - b.n + m - 2];
        Gx = t.bump_gram[u(f) * NR + u(j - 1)];
      }
      e.E0 = a * l[0];
      e.EF = a * l[1];
      e.E1 = a * l[2];
      e.E2 = a * l[3];
      e.EE = 2.0 * a * Dx + a * a * Gx;
      continue;
    }
    // Point by point: a bump cut by the grid's end, a mask or positivity.
    double l[4] = {0.0, 0.0, 0.0, 0.0};
    double X = 0.0, Qd = 0.0;
    for (int i = 0; i < tc.count; ++i) {
      const double di = tc.d[i];
      if (di == 0.0) continue;
      const int ji = tc.first + i;
      const double* li = t.lin.data() + (u(f) * NR + u(ji - 1)) * 4;
      for (int x = 0; x < 4; ++x) l[x] += di * li[x];
      X += di * D[ji - 1];
      double row = 0.0;
      for (int i2 = 0; i2 < tc.count; ++i2) row += static_cast<double>(tc.d[i2]) * t.entry(t, f, f, ji, tc.first + i2);
      Qd += di * row;
    }
    e.E0 = c * l[0];
    e.EF = c * l[1];
    e.E1 = c * l[2];
    e.E2 = c * l[3];
    e.EE = 2.0 * c * X + c * c * Qd;
  }
}

void rspace_keep(Run& run) {
  RSpaceState& rs = run.kept.rspace;
  if (!rs.trial_changed) return;
  rs.trial_changed = false;
  rs.stale = true;
  const std::size_t NR = u(rs.nr);
  const int p = rs.trial_p;
  for (int s = 1; s <= run.params.nsets; ++s) {
    RSpaceSet& t = rs.sets[u(s)];
    const int f = t.family[u(p)];
    const double c = t.factor[u(p)];
    for (int g = 0; g < t.families; ++g) {
      double* D = t.D.data() + u(g) * NR;
      if (rs.trial_row > 0) {
        // D_g += a G_fg(j, .), or a times the bump's row of G.
        const double a = static_cast<double>(rs.trial_amplitude) * c;
        if (run.params.gaussian_moves)
          t.add_bump_row(t, D, a, f, g, rs.trial_row);
        else
          t.add_row(t, D, a, f, g, rs.trial_row);
        continue;
      }
      for (int m = 0; m < rs.trial_count; ++m) {
        if (rs.trial_d[u(m)] == 0.0f) continue;
        const double a = static_cast<double>(rs.trial_d[u(m)]) * c;
        t.add_row(t, D, a, f, g, rs.trial_first + m);
      }
    }
  }
}

}  // namespace yosta
