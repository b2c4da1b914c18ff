// The transform from basis values to model F(Q). Because dr = 2 pi / (Q_nq Mr)
// and Q_k = (k + q_offset) dq, every product Q_k r_j is 2 pi m / P for an
// integer m, so one sine table of P + 1 entries replaces an nq x nr matrix.
#include "model/transform.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include "base/stop.h"
#include "text/free_writer.h"
#include "base/circle.h"
#include "base/lanes.h"

namespace yosta {
namespace {

// Four single-precision lanes.
using lanes::v4f;
inline v4f load4(const float* p) { return lanes::load<v4f>(p); }
inline void store4(float* p, v4f v) { lanes::store(p, v); }

// Rounds halves away from zero in double precision; saturates far outside the
// 32-bit range so that a degenerate grid reaches the table-size check.
std::int32_t nint(float x) {
  const double shifted = static_cast<double>(x) + std::copysign(0.5, static_cast<double>(x));
  if (!(shifted < 1.0e9)) return 1000000000;
  if (!(shifted > -1.0e9)) return -1000000000;
  return static_cast<std::int32_t>(shifted);
}

// K[b] = sinqr(m_b) * rk[b] * fj for b = 0..len-1, where m_b = (m + b step)
// mod P; returns m_len. Four interleaved index sequences, each advancing by
// 4 step (mod P), keep the index updates off the critical path.
inline std::int32_t fill_kernel(const float* sinqr, std::int32_t P, const float* rk, float fj, std::int32_t m,
                                std::int32_t step, float* K, int len) {
  auto wrap = [P](std::int32_t x) { return x >= P ? x - P : x; };
  int b = 0;
  if (len >= 4) {
    std::int32_t m0 = m, m1 = wrap(m0 + step), m2 = wrap(m1 + step), m3 = wrap(m2 + step);
    const std::int32_t step4 = static_cast<std::int32_t>((4LL * step) % P);
    for (; b + 4 <= len; b += 4) {
      K[b] = sinqr[m0] * rk[b] * fj;
      K[b + 1] = sinqr[m1] * rk[b + 1] * fj;
      K[b + 2] = sinqr[m2] * rk[b + 2] * fj;
      K[b + 3] = sinqr[m3] * rk[b + 3] * fj;
      m0 = wrap(m0 + step4);
      m1 = wrap(m1 + step4);
      m2 = wrap(m2 + step4);
      m3 = wrap(m3 + step4);
    }
    m = m0;
  }
  for (; b < len; ++b) {
    K[b] = sinqr[m] * rk[b] * fj;
    m = wrap(m + step);
  }
  return m;
}

}  // namespace

void kernel_row(const Model& model, int j, float* K) {
  const std::int32_t nq = model.q.nq;
  const std::int32_t P = model.tables.P;
  int k = 1;
  if (1 + model.q.q_offset == 0) {  // the first point lies at Q = 0
    K[1] = static_cast<float>(j * j) * model.tables.q_zero_factor;
    k = 2;
  }
  if (k > nq) return;
  const std::int32_t m = ((k + model.q.q_offset) * j) % P;
  fill_kernel(model.tables.sinqr.data(), P, model.tables.reciprocal.data() + k, static_cast<float>(j), m, j % P, K + k,
              nq - k + 1);
}

void check_q_grid(Model& model) {
  QGrid& q = model.q;
  const float q_first = q.Q[1];
  const float q_last = q.Q[q.nq];
  q.dq = (q_last - q_first) / static_cast<float>(q.nq - 1);
  if (!(q.dq > 0.0f) || !std::isfinite(q.dq)) {
    throw Stop("The Q values of the data files do not increase: the first is " + text::real_text(q_first) +
               ", the last " + text::real_text(q_last));
  }
  q.nq_grid = nint(q_last / q.dq);
  q.q_offset = nint(q_first / q.dq) - 1;

  const float miss = std::fabs(static_cast<float>(-1 - q.q_offset) * q.dq + q_first) / q.dq;
  if (miss > 0.01f) {
    // The Q values kept are those of the last file read.
    std::string file;
    for (const DataSet& set : model.sets) {
      if (!set.settings.data_file.empty()) file = set.settings.data_file;
    }
    throw Stop(
        {" Q-values are not multiples of dq ",
         (file.empty() ? std::string("The data") : "Data file " + file) + ": first Q " + text::real_text(q_first) +
             ", dq " + text::real_text(q.dq) + ", Q/dq " + text::real_text(q_first / q.dq) +
             " (must be within 0.01 of a whole number); use yosta-tools import to put the points on "
             "multiples of dq"},
        1);
  }
  // A first point below Q = 0 would index the sine table below its start.
  if (q.q_offset < -1) {
    throw Stop("The first Q value " + text::real_text(q_first) + " is negative; the Q grid must start at 0 or above");
  }
}

void build_tables(const RunParameters& par, Model& model) {
  TransformTables& t = model.tables;
  const float dr = model.r.dr;
  for (int k = 1; k <= model.q.nq; ++k) {
    t.reciprocal[k] = 1.0f / model.q.Q[k];  // infinite at Q = 0, where it is not used
  }
  t.f = dr * dr * par.density * four_pi_f;
  t.q_zero_factor = t.f * dr;

  const std::int64_t period = static_cast<std::int64_t>(par.Mr) * model.q.nq_grid;
  // QUIRK: "to small" is the message as users know it.
  if (period > max_sinqr - 1) {
    const std::int32_t mr_fits = (max_sinqr - 1) / std::max(1, model.q.nq_grid);
    throw Stop(
        {" Vector sinqr to small (re-dimension) ",
         "Mr " + std::to_string(par.Mr) + " times " + std::to_string(model.q.nq_grid) + " (the last Q over dq) is " +
             std::to_string(period) + ", more than " + std::to_string(max_sinqr - 1) + "; " +
             (mr_fits >= 1 ? "use Mr " + std::to_string(mr_fits) + " or less"
                           : std::string("use a coarser Q grid (yosta-tools import --rebin)"))},
        1);
  }
  t.P = static_cast<std::int32_t>(period);
  const float period_f = static_cast<float>(t.P);
  for (int m = 0; m <= t.P; ++m) {
    t.sinqr[m] = std::sin(static_cast<float>(m) / period_f * two_pi_f) * t.f;
  }
}

void full_model(const RunParameters& par, Model& model) {
  const std::int32_t nq = model.q.nq;
  const int nsets = par.nsets;
  for (int s = 1; s <= nsets; ++s) {
    auto& F_calc = model.sets[s].F_calc;
    for (int k = 1; k <= nq; ++k) F_calc[k] = 0.0f;
  }

  // Terms are added in the order p, then j, into the single-precision values.
  // A zero basis value adds a zero term, which never changes a sum that
  // started at +0, so such points are skipped.
  float K[max_q + 1];
  for (int p = 1; p <= par.nbasis; ++p) {
    for (int j = 1; j <= model.r.nr; ++j) {
      const float vj = model.v[p][j];
      if (vj == 0.0f) continue;
      kernel_row(model, j, K);
      const v4f vv = {vj, vj, vj, vj};
      for (int s = 1; s <= nsets; ++s) {
        DataSet& set = model.sets[s];
        float* F_calc = set.F_calc.data();
        const float* c = set.coef[p].data();
        int k = 1;
        for (; k + 3 <= nq; k += 4) store4(F_calc + k, load4(F_calc + k) + load4(K + k) * load4(c + k) * vv);
        for (; k <= nq; ++k) F_calc[k] = F_calc[k] + K[k] * c[k] * vj;
      }
    }
  }

  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = model.sets[s];
    for (int k = 1; k <= nq; ++k) {
      set.F_calc[k] = set.background[k] + set.F_calc[k];
    }
  }
}

namespace {

// The general change, one changed point at a time over all Q points. Used
// only for more changed points than a Gaussian move can have.
bool move_change_any(const RunParameters& par, Model& model, int p, int j0, const float* d, int n) {
  const std::int32_t nq = model.q.nq;
  const int nsets = par.nsets;
  for (int s = 1; s <= nsets; ++s) {
    float* change = model.sets[s].change.data();
    for (int k = 1; k <= nq; ++k) change[k] = 0.0f;
  }
  float K[max_q + 1];
  bool any = false;
  for (int i = 0; i < n; ++i) {
    const float di = d[i];
    const int j = j0 + i;
    if (di == 0.0f || j < 1 || j > model.r.nr) continue;
    any = true;
    kernel_row(model, j, K);
    for (int s = 1; s <= nsets; ++s) {
      DataSet& set = model.sets[s];
      float* change = set.change.data();
      const float* c = set.coef[p].data();
      for (int k = 1; k <= nq; ++k) change[k] = change[k] + K[k] * c[k] * di;
    }
  }
  return any;
}

}  // namespace

bool move_change(const RunParameters& par, Model& model, int p, int j0, const float* d, int n) {
  constexpr int capacity = 2 * max_gauss_half + 1;
  if (n > capacity) return move_change_any(par, model, p, j0, d, n);
  const std::int32_t nq = model.q.nq;
  const int nsets = par.nsets;
  float* change[max_sets];
  const float* coef[max_sets];
  for (int s = 0; s < nsets; ++s) {
    DataSet& set = model.sets[static_cast<std::size_t>(s) + 1];
    change[s] = set.change.data();
    coef[s] = set.coef[p].data();
  }

  // The changed points that lie on the grid; zero changes cost nothing.
  std::int32_t jj[capacity];
  float dd[capacity], fj[capacity];
  int count = 0;
  for (int i = 0; i < n; ++i) {
    const int j = j0 + i;
    if (d[i] == 0.0f || j < 1 || j > model.r.nr) continue;
    jj[count] = j;
    dd[count] = d[i];
    fj[count] = static_cast<float>(j);
    ++count;
  }
  if (count == 0) {
    for (int s = 0; s < nsets; ++s) {
      for (int k = 1; k <= nq; ++k) change[s][k] = 0.0f;
    }
    return false;
  }

  // change(k, s) = sum over the points in order of K(k, j_i) c(k, s, p) d_i.
  // The Q points go in blocks: the kernel values of a block are computed once
  // for all data sets (each table index advancing by j per Q point, mod P),
  // then every set's sums run four Q points at a time; each lane does exactly
  // the single-precision operations of the formula, so the result is the same
  // bit for bit.
  int k = 1;
  if (1 + model.q.q_offset == 0) {  // the first point lies at Q = 0
    float K0[capacity];
    for (int t = 0; t < count; ++t) K0[t] = static_cast<float>(jj[t] * jj[t]) * model.tables.q_zero_factor;
    for (int s = 0; s < nsets; ++s) {
      const float c = coef[s][1];
      float ch = 0.0f;
      for (int t = 0; t < count; ++t) ch = ch + K0[t] * c * dd[t];
      change[s][1] = ch;
    }
    k = 2;
  }
  if (k > nq) return true;

  const std::int32_t P = model.tables.P;
  const float* sinqr = model.tables.sinqr.data();
  const float* reciprocal = model.tables.reciprocal.data();
  std::int32_t m[capacity], step[capacity];
  for (int t = 0; t < count; ++t) {
    m[t] = ((k + model.q.q_offset) * jj[t]) % P;
    step[t] = jj[t] % P;
  }

  constexpr int block = 64;
  alignas(16) float K[capacity][block];
  for (int kb = k; kb <= nq; kb += block) {
    const int len = nq - kb + 1 < block ? nq - kb + 1 : block;
    const float* rk = reciprocal + kb;
    for (int t = 0; t < count; ++t) m[t] = fill_kernel(sinqr, P, rk, fj[t], m[t], step[t], K[t], len);
    for (int s = 0; s < nsets; ++s) {
      const float* c = coef[s] + kb;
      float* ch_out = change[s] + kb;
      int b = 0;
      for (; b + 16 <= len; b += 16) {  // four independent sums in flight
        const v4f c0 = load4(c + b), c1 = load4(c + b + 4), c2 = load4(c + b + 8), c3 = load4(c + b + 12);
        v4f h0 = {0.0f, 0.0f, 0.0f, 0.0f}, h1 = h0, h2 = h0, h3 = h0;
        for (int t = 0; t < count; ++t) {
          const v4f dv = {dd[t], dd[t], dd[t], dd[t]};
          const float* Kt = K[t] + b;
          h0 = h0 + load4(Kt) * c0 * dv;
          h1 = h1 + load4(Kt + 4) * c1 * dv;
          h2 = h2 + load4(Kt + 8) * c2 * dv;
          h3 = h3 + load4(Kt + 12) * c3 * dv;
        }
        store4(ch_out + b, h0);
        store4(ch_out + b + 4, h1);
        store4(ch_out + b + 8, h2);
        store4(ch_out + b + 12, h3);
      }
      for (; b + 4 <= len; b += 4) {
        const v4f cv = load4(c + b);
        v4f ch = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int t = 0; t < count; ++t) {
          const v4f dv = {dd[t], dd[t], dd[t], dd[t]};
          ch = ch + load4(K[t] + b) * cv * dv;
        }
        store4(ch_out + b, ch);
      }
      for (; b < len; ++b) {
        float ch = 0.0f;
        for (int t = 0; t < count; ++t) ch = ch + K[t][b] * c[b] * dd[t];
        ch_out[b] = ch;
      }
    }
  }
  return true;
}

void move_update(const RunParameters& par, Model& model, int p, int j0, const float* d, int n) {
  if (!move_change(par, model, p, j0, d, n)) return;  // nothing to add
  const std::int32_t nq = model.q.nq;
  for (int s = 1; s <= par.nsets; ++s) {
    DataSet& set = model.sets[s];
    float* F = set.F_calc.data();
    const float* ch = set.change.data();
    int k = 1;
    for (; k + 3 <= nq; k += 4) store4(F + k, load4(F + k) + load4(ch + k));
    for (; k <= nq; ++k) F[k] = F[k] + ch[k];
  }
}

int gaussian_range(const RunParameters& par, float r) {
  if (par.nranges >= 2) {
    for (int i = 1; i <= par.nranges; ++i) {
      if (par.ranges[static_cast<std::size_t>(i - 1)].rch >= r) return i;
    }
  }
  return 1;
}

float partial_sq(const Model& model, int p, int k) {
  const std::int32_t a = k + model.q.q_offset;
  const std::int32_t P = model.tables.P;
  double sum = 0.0;
  if (a == 0) {
    for (int j = 1; j <= model.r.nr; ++j) {
      sum += static_cast<double>(kernel(model, k, j) * model.v[p][j]);
    }
    return static_cast<float>(sum);
  }
  // m = (a j) mod P, advanced by a per r point.
  const float rk = model.tables.reciprocal[k];
  const std::int32_t step = a % P;
  std::int32_t m = step;
  for (int j = 1; j <= model.r.nr; ++j) {
    const float K = model.tables.sinqr[m] * rk * static_cast<float>(j);
    sum += static_cast<double>(K * model.v[p][j]);
    m += step;
    if (m >= P) m -= P;
  }
  return static_cast<float>(sum);
}

}  // namespace yosta
