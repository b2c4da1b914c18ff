// The transform from basis values to model F(Q). Because dr = 2 pi / (Q_nq Mr)
// and Q_k = (k + q_offset) dq, every product Q_k r_j is 2 pi m / P for an
// integer m, so one sine table of P + 1 entries replaces an nq x nr matrix.
#include "model/transform.h"

#include <cmath>
#include <string>

#include "run/stop.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

constexpr float two_pi = 6.283185f;
constexpr float four_pi = 12.56637f;

// Rounds halves away from zero in double precision; saturates far outside the
// 32-bit range so that a degenerate grid reaches the table-size check.
std::int32_t nint(float x) {
  const double shifted = static_cast<double>(x) + std::copysign(0.5, static_cast<double>(x));
  if (!(shifted < 1.0e9)) return 1000000000;
  if (!(shifted > -1.0e9)) return -1000000000;
  return static_cast<std::int32_t>(shifted);
}

// K(k, j) for k = 1..nq into K[1..nq]: bit for bit the kernel() value, but the
// table index advances by j per Q point instead of taking a remainder.
void kernel_row(const Run& run, int j, float* K) {
  const std::int32_t nq = run.q.nq;
  const std::int32_t P = run.tables.P;
  const float* sinqr = run.tables.sinqr.data();
  const float* reciprocal = run.tables.reciprocal.data();
  const float fj = static_cast<float>(j);
  int k = 1;
  if (1 + run.q.q_offset == 0) {  // the first point lies at Q = 0
    K[1] = static_cast<float>(j * j) * run.tables.q_zero_factor;
    k = 2;
  }
  if (k > nq) return;
  std::int32_t m = ((k + run.q.q_offset) * j) % P;
  const std::int32_t step = j % P;
  for (; k <= nq; ++k) {
    K[k] = sinqr[m] * reciprocal[k] * fj;
    m += step;
    if (m >= P) m -= P;
  }
}

}  // namespace

void check_q_grid(Run& run) {
  QGrid& q = run.q;
  const float q_first = q.Q[1];
  const float q_last = q.Q[static_cast<std::size_t>(q.nq)];
  q.dq = (q_last - q_first) / static_cast<float>(q.nq - 1);
  if (!(q.dq > 0.0f) || !std::isfinite(q.dq)) {
    throw Stop("The Q values of the data files do not increase: the first is " + text::real_text(q_first) +
               ", the last " + text::real_text(q_last));
  }
  q.nq_grid = nint(q_last / q.dq);
  q.q_offset = nint(q_first / q.dq) - 1;

  const float miss = std::fabs(static_cast<float>(-1 - q.q_offset) * q.dq + q_first) / q.dq;
  if (miss > 0.01f) throw Stop(" Q-values are not multiples of dq ");
  // A first point below Q = 0 would index the sine table below its start.
  if (q.q_offset < -1) {
    throw Stop("The first Q value " + text::real_text(q_first) + " is negative; the Q grid must start at 0 or above");
  }
}

void build_tables(Run& run) {
  TransformTables& t = run.tables;
  const float dr = run.r.dr;
  for (int k = 1; k <= run.q.nq; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    t.reciprocal[uk] = 1.0f / run.q.Q[uk];  // infinite at Q = 0, where it is not used
  }
  t.f = dr * dr * run.params.density * four_pi;
  t.q_zero_factor = t.f * dr;

  const std::int64_t period = static_cast<std::int64_t>(run.params.Mr) * run.q.nq_grid;
  if (period > max_sinqr - 1) throw Stop(" Vector sinqr to small (re-dimension) ");
  t.P = static_cast<std::int32_t>(period);
  const float period_f = static_cast<float>(t.P);
  for (int m = 0; m <= t.P; ++m) {
    t.sinqr[static_cast<std::size_t>(m)] = std::sin(static_cast<float>(m) / period_f * two_pi) * t.f;
  }
}

void full_model(Run& run) {
  const std::int32_t nq = run.q.nq;
  const int nsets = run.params.nsets;
  for (int s = 1; s <= nsets; ++s) {
    auto& F_calc = run.sets[static_cast<std::size_t>(s)].F_calc;
    for (int k = 1; k <= nq; ++k) F_calc[static_cast<std::size_t>(k)] = 0.0f;
  }

  // Terms are added in the order p, then j, into the single-precision values.
  // A zero basis value adds a zero term, which never changes a sum that
  // started at +0, so such points are skipped.
  float K[max_q + 1];
  for (int p = 1; p <= run.params.nbasis; ++p) {
    const auto up = static_cast<std::size_t>(p);
    for (int j = 1; j <= run.r.nr; ++j) {
      const float vj = run.v[up][static_cast<std::size_t>(j)];
      if (vj == 0.0f) continue;
      kernel_row(run, j, K);
      for (int s = 1; s <= nsets; ++s) {
        DataSet& set = run.sets[static_cast<std::size_t>(s)];
        float* F_calc = set.F_calc.data();
        const float* c = set.coef[up].data();
        for (int k = 1; k <= nq; ++k) F_calc[k] = F_calc[k] + K[k] * c[k] * vj;
      }
    }
  }

  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run.sets[static_cast<std::size_t>(s)];
    for (int k = 1; k <= nq; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      set.F_calc[uk] = set.background[uk] + set.F_calc[uk];
    }
  }
}

void move_update(Run& run, int p, int j0, const float* d, int n) {
  const std::int32_t nq = run.q.nq;
  const int nsets = run.params.nsets;
  const auto up = static_cast<std::size_t>(p);
  for (int s = 1; s <= nsets; ++s) {
    float* change = run.sets[static_cast<std::size_t>(s)].change.data();
    for (int k = 1; k <= nq; ++k) change[k] = 0.0f;
  }

  // One kernel row per changed point, shared by all data sets; each change is
  // summed over the points in order, as change(k, s) = sum_i K c d_i.
  float K[max_q + 1];
  bool changed = false;
  for (int i = 0; i < n; ++i) {
    const float di = d[i];
    const int j = j0 + i;
    if (di == 0.0f || j < 1 || j > run.r.nr) continue;
    changed = true;
    kernel_row(run, j, K);
    for (int s = 1; s <= nsets; ++s) {
      DataSet& set = run.sets[static_cast<std::size_t>(s)];
      float* change = set.change.data();
      const float* c = set.coef[up].data();
      for (int k = 1; k <= nq; ++k) change[k] = change[k] + K[k] * c[k] * di;
    }
  }
  if (!changed) return;

  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run.sets[static_cast<std::size_t>(s)];
    float* F_calc = set.F_calc.data();
    const float* change = set.change.data();
    for (int k = 1; k <= nq; ++k) F_calc[k] = F_calc[k] + change[k];
  }
}

float partial_sq(const Run& run, int p, int k) {
  const auto up = static_cast<std::size_t>(p);
  const std::int32_t a = k + run.q.q_offset;
  const std::int32_t P = run.tables.P;
  double sum = 0.0;
  if (a == 0) {
    for (int j = 1; j <= run.r.nr; ++j) {
      sum += static_cast<double>(kernel(run, k, j) * run.v[up][static_cast<std::size_t>(j)]);
    }
    return static_cast<float>(sum);
  }
  // m = (a j) mod P, advanced by a per r point.
  const float rk = run.tables.reciprocal[static_cast<std::size_t>(k)];
  const std::int32_t step = a % P;
  std::int32_t m = step;
  for (int j = 1; j <= run.r.nr; ++j) {
    const float K = run.tables.sinqr[static_cast<std::size_t>(m)] * rk * static_cast<float>(j);
    sum += static_cast<double>(K * run.v[up][static_cast<std::size_t>(j)]);
    m += step;
    if (m >= P) m -= P;
  }
  return static_cast<float>(sum);
}

}  // namespace yosta
