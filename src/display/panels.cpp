#include "display/panels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace yosta {

namespace {

// Smallest and largest finite value of a[first..last]; both NaN when there is
// none. Non-finite values are skipped: they are not drawn either.
void finite_min_max(const float* a, int first, int last, float& m, float& M) {
  m = std::numeric_limits<float>::infinity();
  M = -m;
  for (int i = first; i <= last; ++i) {
    const float value = a[i];
    if (!std::isfinite(value)) continue;
    m = std::min(m, value);
    M = std::max(M, value);
  }
  if (m > M) m = M = std::numeric_limits<float>::quiet_NaN();
}

}  // namespace

void build_gr_panel(const Run& run, GrPanel& panel) {
  const std::int32_t nr = std::clamp(run.model.r.nr, 0, max_r);
  const float dr = run.model.r.dr;
  panel.x.fill(0.0f);
  panel.y.fill(0.0f);
  for (std::int32_t j = 1; j <= nr; ++j) panel.x[j] = static_cast<float>(j) * dr;
  panel.x_min = panel.x[1];
  panel.x_max = nr >= 1 ? std::min(panel.x[nr], 15.0f) : 0.0f;
  panel.n = 0;
  if (nr >= 1 && dr > 0.0f) {
    // The quotient is formed in double: in single precision 15.0f / 0.05f
    // rounds up to exactly 300, whereas the spacing stored is slightly above
    // 0.05 and the last point drawn is the one below 15 Angstrom (299).
    const double points = std::trunc(static_cast<double>(panel.x_max) / static_cast<double>(dr));
    panel.n = static_cast<std::int32_t>(std::clamp(points, 0.0, static_cast<double>(nr)));
  }
  update_gr_panel(run, panel);
}

void update_gr_panel(const Run& run, GrPanel& panel) {
  const std::int32_t nr = std::clamp(run.model.r.nr, 0, max_r);
  const auto& v1 = run.model.v[1];
  for (std::int32_t j = 1; j <= nr; ++j) panel.y[j] = v1[j];
  // Over every entry, the zeros beyond nr included, so zero always lies in
  // the range while nr < max_r, and the part beyond 15 Angstrom counts too.
  float m, M;
  finite_min_max(panel.y.data(), 1, max_r, m, M);
  panel.y_min = m - std::fabs(0.1f * m);
  panel.y_max = std::max(M + std::fabs(0.1f * M), 1.0f);
}

void build_fq_panel(const Run& run, FqPanel& panel) {
  const std::int32_t nq = std::clamp(run.model.q.nq, 0, max_q);
  panel.X.fill(0.0f);
  panel.A.fill(0.0f);
  panel.B.fill(0.0f);
  panel.C.fill(0.0f);
  for (std::int32_t k = 1; k <= nq; ++k) panel.X[k] = run.model.q.Q[k];
  panel.n = nq;
  panel.X_min = panel.X[1];
  panel.X_max = panel.X[std::max(nq, 1)];
  update_fq_panel(run, panel);
}

void update_fq_panel(const Run& run, FqPanel& panel) {
  const DataSet& set = run.model.sets[1];
  for (std::int32_t k = 1; k <= panel.n; ++k) {
    const float Q = panel.X[k];
    panel.A[k] = -(set.a0 + set.a1 * Q + set.a2 * (Q * Q));
    panel.B[k] = set.beta * set.F[k];
    panel.C[k] = set.F_calc[k] + panel.A[k];
  }
  // Over all entries of the three curves, the zeros beyond nq included.
  float m = std::numeric_limits<float>::infinity(), M = -m;
  for (const auto* curve : {&panel.C, &panel.B, &panel.A}) {
    float cm, cM;
    finite_min_max(curve->data(), 1, max_q, cm, cM);
    if (std::isnan(cm)) continue;
    m = std::min(m, cm);
    M = std::max(M, cM);
  }
  if (m > M) m = M = std::numeric_limits<float>::quiet_NaN();
  panel.Y_min = m - std::fabs(0.2f * m);
  panel.Y_max = M + std::fabs(0.2f * M);
}

AxisRange drawable_range(float lo, float hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {-1.0f, 1.0f};
  const float size = std::max(std::fabs(lo), std::fabs(hi));
  if (std::fabs(hi - lo) > 1.0e-6f * std::max(1.0f, size)) return {lo, hi};
  const float pad = std::max(1.0e-3f, 0.05f * size);
  return {std::min(lo, hi) - pad, std::max(lo, hi) + pad};
}

RobustRange robust_range(std::vector<float> values) {
  std::erase_if(values, [](float v) { return !std::isfinite(v); });
  RobustRange range;
  if (values.empty()) return range;
  std::sort(values.begin(), values.end());
  const std::size_t last = values.size() - 1;
  // Nearest-rank percentiles, in double so that the rank is exact.
  auto at = [&](double fraction) {
    return values[static_cast<std::size_t>(std::lround(fraction * static_cast<double>(last)))];
  };
  const float p_low = at(0.02), p_high = at(0.98);
  const float widen = 0.75f * (p_high - p_low);
  range.low = values.front();
  range.high = values.back();
  range.lo = std::max(range.low, p_low - widen);
  range.hi = std::min(range.high, p_high + widen);
  // Values only a little beyond are shown whole: cutting them gains little.
  const float keep = 0.5f * (range.hi - range.lo);
  if (range.high - range.hi <= keep) range.hi = range.high;
  if (range.lo - range.low <= keep) range.lo = range.low;
  return range;
}

}  // namespace yosta
