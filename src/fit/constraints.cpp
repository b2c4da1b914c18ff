// Hard rules on the basis values (zero and positivity constraints) and the two
// penalty terms of the cost (coordination numbers and smoothing).
//
// "Zero" here always means the floor value Z: the stored value that stands for
// g(r) = 0. Constraints are visited in parameter-file order; all values are
// single precision, sums are accumulated in double and stored in single.
#include "fit/constraints.h"

#include <cmath>

#include "run/stop.h"

namespace yosta {

namespace {

// pi as half of the single-precision 2 pi constant the grid and tables use.
constexpr float pi = 6.283185f * 0.5f;

inline float r_at(const Run& run, int j) { return static_cast<float>(j) * run.r.dr; }

// 4 pi times the integral of r^2 over the cell r_j - dr/2 .. r_j + dr/2.
inline float cell_factor(float r, float dr) {
  return pi * dr * (4.0f * r * r + dr * dr / 3.0f);
}

inline bool smoothing_active(const Run& run) {
  return run.params.smoothing_on && (run.params.smoothing_type == 1 || run.params.smoothing_type == 2);
}

// Smoothing term t(i, p) of the column v (1-based), without the cut-off test.
inline float smoothing_term(const float* v, int type, int i, float r, float L) {
  const float factor = r * std::exp(r / L);
  if (type == 1) {
    const float slope = v[i + 1] - v[i];
    return factor * (std::sqrt(1.0f + slope * slope) - 1.0f);
  }
  const float curvature = v[i + 1] - 2.0f * v[i] + v[i - 1];
  return factor * (curvature * curvature);
}

// Sum of the smoothing terms i = lo..hi of basis function p, cut-off applied.
float smoothing_window(const Run& run, int p, int lo, int hi) {
  const float* v = run.v[static_cast<std::size_t>(p)].data();
  const int type = run.params.smoothing_type;
  const float L = run.params.smoothing_exponent;
  const float cutoff = run.params.smoothing_cutoff;
  double sum = 0.0;
  for (int i = lo; i <= hi; ++i) {
    const float r = r_at(run, i);
    if (r >= cutoff) sum += static_cast<double>(smoothing_term(v, type, i, r, L));
  }
  return static_cast<float>(sum);
}

// The terms of type 1 run over i = 1..nr-1, those of type 2 over 2..nr-1.
inline int first_term(const Run& run) { return run.params.smoothing_type == 1 ? 1 : 2; }

}  // namespace

bool centre_refused(const Run& run, int p, float r) {
  for (const ZeroConstraint& z : run.params.zero) {
    if (z.partial == p && z.r_from <= r && r <= z.r_to) return true;
  }
  return false;
}

bool zero_masked(const Run& run, int p, float r) {
  for (const ZeroConstraint& z : run.params.zero) {
    if (z.partial == p && z.r_from < r && r < z.r_to) return true;
  }
  return false;
}

float positivity_rule(const Run& run, int p, int j, float x) {
  const float v = run.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)];
  // QUIRK: any positivity constraint at all, of whatever basis function and
  // range, stops every point of every basis function from crossing below Z;
  // only inside a range of its own basis function is the point set to Z.
  if (!(v + x < run.Z) || run.params.positivity.empty()) return x;
  float change = 0.0f;
  const float r = r_at(run, j);
  for (const PositivityConstraint& c : run.params.positivity) {
    if (c.partial == p && c.r_from <= r && r <= c.r_to) change = run.Z - v;
  }
  return change;
}

void enforce_zero_and_positivity(Run& run) {
  for (int j = 1; j <= run.r.nr; ++j) {
    const float r = r_at(run, j);
    const auto jj = static_cast<std::size_t>(j);
    for (const ZeroConstraint& z : run.params.zero) {
      if (z.r_from <= r && r <= z.r_to) run.v[static_cast<std::size_t>(z.partial)][jj] = run.Z;
    }
    for (const PositivityConstraint& c : run.params.positivity) {
      if (c.r_from <= r && r <= c.r_to) {
        float& v = run.v[static_cast<std::size_t>(c.partial)][jj];
        if (v < run.Z) v = run.Z;
      }
    }
  }
}

void coordination_full(Run& run) {
  const float rho = run.params.density;
  const float dr = run.r.dr;
  int c = 0;
  for (const CoordinationConstraint& cc : run.params.coordination) {
    ++c;
    const auto& v = run.v[static_cast<std::size_t>(cc.partial)];
    double sum = 0.0;
    for (int j = 1; j <= run.r.nr; ++j) {
      const float r = r_at(run, j);
      if (cc.r_from <= r && r <= cc.r_to) {
        const float term = cell_factor(r, dr) * rho * (v[static_cast<std::size_t>(j)] - run.Z) *
                           cc.concentration / cc.basis_weight;
        sum += static_cast<double>(term);
      }
    }
    run.Nc[static_cast<std::size_t>(c)] = static_cast<float>(sum);
  }
  coordination_penalty(run);
}

void coordination_move(Run& run, int p, int j0, const float* d, int n, float* dNc) {
  const float rho = run.params.density;
  const float dr = run.r.dr;
  int c = 0;
  for (const CoordinationConstraint& cc : run.params.coordination) {
    ++c;
    double sum = 0.0;
    if (cc.partial == p) {
      for (int i = 0; i < n; ++i) {
        const float r = r_at(run, j0 + i);
        if (cc.r_from <= r && r <= cc.r_to) {
          const float term = cell_factor(r, dr) * rho * d[i] * cc.concentration / cc.basis_weight;
          sum += static_cast<double>(term);
        }
      }
    }
    const auto cu = static_cast<std::size_t>(c);
    dNc[cu] = static_cast<float>(sum);
    run.Nc[cu] += dNc[cu];
  }
  coordination_penalty(run);
}

void coordination_penalty(Run& run) {
  double sum = 0.0;
  int c = 0;
  for (const CoordinationConstraint& cc : run.params.coordination) {
    ++c;
    const float x = (run.Nc[static_cast<std::size_t>(c)] - cc.coordination) / cc.weighting;
    sum += static_cast<double>(x * x);
  }
  run.P = static_cast<float>(sum);
}

void smoothing_full(Run& run) {
  if (!smoothing_active(run)) {
    run.S = 0.0f;
    return;
  }
  const int lo = first_term(run);
  const int hi = run.r.nr - 1;
  double sum = 0.0;
  for (int p = 1; p <= run.params.nbasis; ++p) {
    const float* v = run.v[static_cast<std::size_t>(p)].data();
    for (int i = lo; i <= hi; ++i) {
      const float r = r_at(run, i);
      if (r >= run.params.smoothing_cutoff) {
        sum += static_cast<double>(
            smoothing_term(v, run.params.smoothing_type, i, r, run.params.smoothing_exponent));
      }
    }
  }
  run.S = static_cast<float>(sum) * run.params.smoothing_weight;
}

float smoothing_change(Run& run, int p, int j, float delta) {
  if (!smoothing_active(run)) {
    run.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] += delta;
    return 0.0f;
  }
  // The terms that contain v(j, p): i = j-1..j for the slope, j-1..j+1 for
  // the curvature, clipped to the terms that exist.
  const int lo = j - 1 > first_term(run) ? j - 1 : first_term(run);
  const int last = run.params.smoothing_type == 1 ? j : j + 1;
  const int hi = last < run.r.nr - 1 ? last : run.r.nr - 1;
  const float before = smoothing_window(run, p, lo, hi);
  run.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] += delta;
  const float after = smoothing_window(run, p, lo, hi);
  return (after - before) * run.params.smoothing_weight;
}

void check_free_centre(const Run& run) {
  for (int p = 1; p <= run.params.nbasis; ++p) {
    for (int j = 1; j <= run.r.nr; ++j) {
      if (!centre_refused(run, p, r_at(run, j))) return;
    }
  }
  throw Stop(" Zero constraints leave no r point free for a move: widen the free ranges");
}

void check_smoothing_factor(const Run& run) {
  if (!smoothing_active(run) || run.r.nr < 2) return;
  // The largest factor belongs to the last term, at r point nr - 1.
  const float r = r_at(run, run.r.nr - 1);
  if (r < run.params.smoothing_cutoff) return;
  const float factor = r * std::exp(r / run.params.smoothing_exponent);
  if (!std::isfinite(factor)) {
    throw Stop(" Smoothing factor r*exp(r/L) overflows: increase the smoothing exponent or reduce rmax");
  }
}

}  // namespace yosta
