// Hard rules on the basis values (zero and positivity constraints) and the two
// penalty terms of the cost (coordination numbers and smoothing).
//
// "Zero" here always means the floor value Z: the stored value that stands for
// g(r) = 0. Constraints are visited in parameter-file order; all values are
// single precision, sums are accumulated in double and stored in single.
#include "model/constraints.h"

#include <cmath>

#include "base/stop.h"
#include "base/circle.h"

namespace yosta {

namespace {

inline float r_at(const Model& model, int j) { return static_cast<float>(j) * model.r.dr; }

// 4 pi times the integral of r^2 over the cell r_j - dr/2 .. r_j + dr/2.
inline float cell_factor(float r, float dr) { return pi_f * dr * (4.0f * r * r + dr * dr / 3.0f); }

inline bool smoothing_active(const RunParameters& par) {
  return par.smoothing_on && (par.smoothing_type == 1 || par.smoothing_type == 2);
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

// Sum of the smoothing terms i = lo..hi, cut-off applied, of the values w
// with w[0] = v(lo - 1) (the terms read v(lo - 1) .. v(hi + 1)).
float smoothing_window(const RunParameters& par, const Model& model, const float* w, int lo, int hi) {
  const int type = par.smoothing_type;
  const float L = par.smoothing_exponent;
  const float cutoff = par.smoothing_cutoff;
  double sum = 0.0;
  for (int i = lo; i <= hi; ++i) {
    const float r = r_at(model, i);
    if (r >= cutoff) sum += static_cast<double>(smoothing_term(w, type, i - lo + 1, r, L));
  }
  return static_cast<float>(sum);
}

// The terms of type 1 run over i = 1..nr-1, those of type 2 over 2..nr-1.
inline int first_term(const RunParameters& par) { return par.smoothing_type == 1 ? 1 : 2; }

}  // namespace

bool centre_refused(const RunParameters& par, int p, float r) {
  for (const ZeroConstraint& z : par.zero) {
    if (z.partial == p && z.r_from <= r && r <= z.r_to) return true;
  }
  return false;
}

bool zero_masked(const RunParameters& par, int p, float r) {
  for (const ZeroConstraint& z : par.zero) {
    if (z.partial == p && z.r_from < r && r < z.r_to) return true;
  }
  return false;
}

float positivity_rule(const RunParameters& par, const Model& model, int p, int j, float x) {
  const float v = model.v[p][j];
  // QUIRK: any positivity constraint at all, of whatever basis function and
  // range, stops every point of every basis function from crossing below Z;
  // only inside a range of its own basis function is the point set to Z.
  if (!(v + x < model.Z) || par.positivity.empty()) return x;
  float change = 0.0f;
  const float r = r_at(model, j);
  for (const PositivityConstraint& c : par.positivity) {
    if (c.partial == p && c.r_from <= r && r <= c.r_to) change = model.Z - v;
  }
  return change;
}

void enforce_zero_and_positivity(const RunParameters& par, Model& model) {
  for (int j = 1; j <= model.r.nr; ++j) {
    const float r = r_at(model, j);
    const auto jj = static_cast<std::size_t>(j);
    for (const ZeroConstraint& z : par.zero) {
      if (z.r_from <= r && r <= z.r_to) model.v[z.partial][jj] = model.Z;
    }
    for (const PositivityConstraint& c : par.positivity) {
      if (c.r_from <= r && r <= c.r_to) {
        float& v = model.v[c.partial][jj];
        if (v < model.Z) v = model.Z;
      }
    }
  }
}

void coordination_full(const RunParameters& par, Model& model) {
  const float rho = par.density;
  const float dr = model.r.dr;
  int c = 0;
  for (const CoordinationConstraint& cc : par.coordination) {
    ++c;
    const auto& v = model.v[cc.partial];
    double sum = 0.0;
    for (int j = 1; j <= model.r.nr; ++j) {
      const float r = r_at(model, j);
      if (cc.r_from <= r && r <= cc.r_to) {
        const float term = cell_factor(r, dr) * rho * (v[j] - model.Z) * cc.concentration / cc.basis_weight;
        sum += static_cast<double>(term);
      }
    }
    model.Nc[c] = static_cast<float>(sum);
  }
  coordination_penalty(par, model);
}

void coordination_move(const RunParameters& par, Model& model, int p, int j0, const float* d, int n, float* dNc) {
  const float rho = par.density;
  const float dr = model.r.dr;
  int c = 0;
  for (const CoordinationConstraint& cc : par.coordination) {
    ++c;
    double sum = 0.0;
    if (cc.partial == p) {
      for (int i = 0; i < n; ++i) {
        const float r = r_at(model, j0 + i);
        if (cc.r_from <= r && r <= cc.r_to) {
          const float term = cell_factor(r, dr) * rho * d[i] * cc.concentration / cc.basis_weight;
          sum += static_cast<double>(term);
        }
      }
    }
    const auto cu = static_cast<std::size_t>(c);
    dNc[cu] = static_cast<float>(sum);
    model.Nc[cu] += dNc[cu];
  }
  coordination_penalty(par, model);
}

void coordination_penalty(const RunParameters& par, Model& model) {
  double sum = 0.0;
  int c = 0;
  for (const CoordinationConstraint& cc : par.coordination) {
    ++c;
    const float x = (model.Nc[c] - cc.coordination) / cc.weighting;
    sum += static_cast<double>(x * x);
  }
  model.P = static_cast<float>(sum);
}

void smoothing_full(const RunParameters& par, Model& model) {
  if (!smoothing_active(par)) {
    model.S = 0.0f;
    return;
  }
  const int lo = first_term(par);
  const int hi = model.r.nr - 1;
  double sum = 0.0;
  for (int p = 1; p <= par.nbasis; ++p) {
    const float* v = model.v[p].data();
    for (int i = lo; i <= hi; ++i) {
      const float r = r_at(model, i);
      if (r >= par.smoothing_cutoff) {
        sum += static_cast<double>(smoothing_term(v, par.smoothing_type, i, r, par.smoothing_exponent));
      }
    }
  }
  model.S = static_cast<float>(sum) * par.smoothing_weight;
}

float smoothing_change(const RunParameters& par, const Model& model, int p, int j, float delta) {
  if (!smoothing_active(par)) return 0.0f;
  // The terms that contain v(j, p): i = j-1..j for the slope, j-1..j+1 for
  // the curvature, clipped to the terms that exist. They read the values
  // lo-1 .. hi+1, at most j-2 .. j+2.
  const int lo = j - 1 > first_term(par) ? j - 1 : first_term(par);
  const int last = par.smoothing_type == 1 ? j : j + 1;
  const int hi = last < model.r.nr - 1 ? last : model.r.nr - 1;
  const float* v = model.v[p].data();
  const float before = smoothing_window(par, model, v + (lo - 1), lo, hi);
  // The same terms of a copy of those values with v(j, p) + delta in it.
  float moved[5] = {};
  for (int i = lo - 1; i <= hi + 1; ++i) moved[i - (lo - 1)] = v[i];
  if (j >= lo - 1 && j <= hi + 1) moved[j - (lo - 1)] += delta;
  const float after = smoothing_window(par, model, moved, lo, hi);
  return (after - before) * par.smoothing_weight;
}

void check_free_centre(const RunParameters& par, const Model& model) {
  for (int p = 1; p <= par.nbasis; ++p) {
    for (int j = 1; j <= model.r.nr; ++j) {
      if (!centre_refused(par, p, r_at(model, j))) return;
    }
  }
  throw Stop(" Zero constraints leave no r point free for a move: widen the free ranges");
}

void check_smoothing_factor(const RunParameters& par, const Model& model) {
  if (!smoothing_active(par) || model.r.nr < 2) return;
  // The largest factor belongs to the last term, at r point nr - 1.
  const float r = r_at(model, model.r.nr - 1);
  if (r < par.smoothing_cutoff) return;
  const float factor = r * std::exp(r / par.smoothing_exponent);
  if (!std::isfinite(factor)) {
    throw Stop(" Smoothing factor r*exp(r/L) overflows: increase the smoothing exponent or reduce rmax");
  }
}

}  // namespace yosta
