#include "fit/gram.h"

#include <algorithm>
#include <vector>

#include "model/transform.h"
#include "base/circle.h"

namespace yosta {

namespace {

std::size_t u(std::int64_t i) { return static_cast<std::size_t>(i); }

// 1/n! with the sign of the term of x^n in a sine or cosine series.
constexpr double series_term(int n) {
  double x = 1.0;
  for (int i = 2; i <= n; ++i) x /= i;
  return (n / 2) % 2 == 0 ? x : -x;
}

// The half-widths of the bumps whose whole shape fits on the grid, by range.
struct UsedRanges {
  std::int32_t widest = 0;
  std::int32_t count = 0;
  std::array<std::int32_t, max_ranges + 1> slot{};
};

UsedRanges used_ranges(const RunParameters& par, const Model& model) {
  UsedRanges used;
  used.slot.fill(-1);
  if (!par.gaussian_moves) return used;
  const int nr = model.r.nr;
  for (int j = 1; j <= nr; ++j) {
    const int range = gaussian_range(par, static_cast<float>(j) * model.r.dr);
    const int n = model.gauss.ngauss[range];
    if (j - n < 1 || j + n > nr) continue;
    if (used.slot[u(range)] < 0) used.slot[u(range)] = used.count++;
    used.widest = std::max(used.widest, n);
  }
  return used;
}

}  // namespace

double turn_cos(std::int64_t n, std::int64_t P) {
  n %= P;
  // 4n = q P + rest with |rest| <= P/2: the angle is q quarter turns and
  // theta = (rest / P) pi/2, |theta| <= pi/4, where the series converge fast.
  const std::int64_t q = (8 * n + P) / (2 * P);
  const std::int64_t rest = 4 * n - q * P;
  const double theta = static_cast<double>(rest) / static_cast<double>(P) * half_pi;
  const double z = theta * theta;
  double c = series_term(16), s = series_term(17);
  for (int k = 14; k >= 0; k -= 2) {
    c = series_term(k) + z * c;
    s = series_term(k + 1) + z * s;
  }
  s = theta * s;
  switch (q % 4) {
    case 0:
      return c;
    case 1:
      return -s;
    case 2:
      return -c;
    default:
      return s;
  }
}

kernels::BumpRow ToeplitzGram::bump_row(int f, int g, int j) const {
  const std::size_t base = (u(pair[u(f)][u(g)]) * u(slots) + u(centre_slot[u(j - 1)])) * 4 * u(span);
  const float* A = bump.data() + base;
  const float* B = A + span;
  const float* Ar = B + span;
  const float* Br = Ar + span;
  return kernels::BumpRow{A + nr + 1 - j, B + nr + 1 - j, Ar + 1 + j, Br + 1 + j, static_cast<double>(j)};
}

bool toeplitz_applies(const RunParameters& par, const Model& model, const DataSet& set) {
  if (par.resolution_on) return false;
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    if (k + model.q.q_offset == 0) return false;
  }
  return true;
}

std::size_t toeplitz_bytes(const RunParameters& par, const Model& model, int families) {
  const auto nr = static_cast<std::size_t>(model.r.nr);
  const auto pairs = static_cast<std::size_t>(families * (families + 1) / 2);
  const UsedRanges used = used_ranges(par, model);
  const std::size_t length = 3 * nr + 2 * static_cast<std::size_t>(used.widest) + 1;
  const std::size_t span = 2 * nr + 1;
  const std::size_t floats = pairs * length + pairs * static_cast<std::size_t>(used.count) * 4 * span;
  const std::size_t ints = used.count > 0 ? nr : 0;
  return pairs * length * sizeof(double) + floats * sizeof(float) + ints * sizeof(std::int32_t);
}

void build_toeplitz_gram(const RunParameters& par, const Model& model, const DataSet& set, int families,
                         ToeplitzGram& out, double weight_scale) {
  const int nr = model.r.nr;
  const std::int64_t P = model.tables.P;
  const UsedRanges used = used_ranges(par, model);
  ToeplitzGram& g = out;
  g = ToeplitzGram{};
  g.nr = nr;
  g.families = families;
  g.zero = nr + used.widest;
  g.length = 3 * nr + 2 * used.widest + 1;
  int pairs = 0;
  for (int f = 0; f < families; ++f) {
    for (int h = f; h < families; ++h) {
      g.pair[u(f)][u(h)] = g.pair[u(h)][u(f)] = pairs;
      ++pairs;
    }
  }
  g.T.assign(u(pairs) * u(g.length), 0.0);

  const int first = set.settings.q_first, last = set.settings.q_last;
  const int nfit = last - first + 1;
  if (nfit >= 1 && P >= 1) {
    // The weight of point k in T of each pair: 1/2 f^2 w_k c_f c_g / Q_k^2.
    const double ff = static_cast<double>(model.tables.f) * static_cast<double>(model.tables.f);
    std::vector<double> wc(u(pairs) * u(nfit));
    for (int f = 0; f < families; ++f) {
      for (int h = f; h < families; ++h) {
        double* w = wc.data() + u(g.pair[u(f)][u(h)]) * u(nfit);
        for (int k = first; k <= last; ++k) {
          const double rk = model.tables.reciprocal[k];
          double x = 0.5 * ff * (set.inv_var[k] / weight_scale) * (rk * rk);
          if (families > 1) x = x * static_cast<double>(set.coef[f + 1][k]) * static_cast<double>(set.coef[h + 1][k]);
          w[k - first] = x;
        }
      }
    }
    std::vector<double> cosine(u(P));
    for (std::int64_t n = 0; n < P; ++n) cosine[u(n)] = turn_cos(n, P);
    // a_k m modulo P, advanced by a_k for each m.
    std::vector<std::int64_t> step(u(nfit)), at(u(nfit), 0);
    for (int k = first; k <= last; ++k) step[u(k - first)] = (k + model.q.q_offset) % P;
    std::vector<double> c(u(nfit));
    const int m_last = 2 * nr + used.widest;
    for (int m = 0; m <= m_last; ++m) {
      for (int k = 0; k < nfit; ++k) {
        c[u(k)] = cosine[u(at[u(k)])];
        at[u(k)] += step[u(k)];
        if (at[u(k)] >= P) at[u(k)] -= P;
      }
      for (int p = 0; p < pairs; ++p) {
        const double* w = wc.data() + u(p) * u(nfit);
        double sum = 0.0;
        for (int k = 0; k < nfit; ++k) sum += w[k] * c[u(k)];
        double* t = g.T.data() + u(p) * u(g.length) + g.zero;
        t[m] = sum;
        if (m <= g.zero) t[-m] = sum;
      }
    }
  }

  g.Tf.assign(g.T.size(), 0.0f);
  for (std::size_t i = 0; i < g.T.size(); ++i) g.Tf[i] = static_cast<float>(g.T[i]);

  if (used.count == 0) return;
  g.span = 2 * nr + 1;
  g.slots = used.count;
  g.centre_slot.assign(u(nr), -1);
  for (int j = 1; j <= nr; ++j) {
    const int range = gaussian_range(par, static_cast<float>(j) * model.r.dr);
    const int n = model.gauss.ngauss[range];
    if (j - n >= 1 && j + n <= nr) g.centre_slot[u(j - 1)] = used.slot[u(range)];
  }
  g.bump.assign(u(pairs) * u(g.slots) * 4 * u(g.span), 0.0f);
  for (int range = 1; range <= max_ranges; ++range) {
    const int slot = used.slot[u(range)];
    if (slot < 0) continue;
    const int n = model.gauss.ngauss[range];
    const auto& shape = model.gauss.shape[range];
    for (int p = 0; p < pairs; ++p) {
      const double* t = g.T.data() + u(p) * u(g.length) + g.zero;
      float* A = g.bump.data() + (u(p) * u(g.slots) + u(slot)) * 4 * u(g.span);
      float* B = A + g.span;
      float* Ar = B + g.span;
      float* Br = Ar + g.span;
      for (int m = -nr; m <= nr; ++m) {
        double a = 0.0, b = 0.0;
        for (int s = -n; s <= n; ++s) {
          const double sh = shape[u(s + n + 1)];
          a += sh * t[m - s];
          b += (sh * static_cast<double>(s)) * t[m - s];
        }
        A[m + nr] = static_cast<float>(a);
        B[m + nr] = static_cast<float>(b);
      }
      for (int m = 0; m <= 2 * nr; ++m) {
        double a = 0.0, b = 0.0;
        for (int s = -n; s <= n; ++s) {
          const double sh = shape[u(s + n + 1)];
          a += sh * t[m + s];
          b += (sh * static_cast<double>(s)) * t[m + s];
        }
        Ar[m] = static_cast<float>(a);
        Br[m] = static_cast<float>(b);
      }
    }
  }
}

}  // namespace yosta
