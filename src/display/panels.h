// The data and axis limits of the plot panels: what the live windows and the
// saved pictures draw, built from a run without the graphics library.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/run.h"

namespace yosta {

// G(r) panel: basis function 1 against r. Entries beyond nr stay 0.
struct GrPanel {
  Array1<float, max_r> x{};  // x_g(j) = r_j
  Array1<float, max_r> y{};  // y_g(j) = v(j, 1)
  float x_min = 0, x_max = 0, y_min = 0, y_max = 0;
  std::int32_t n = 0;  // n_g: points drawn
};

// F(Q) panel: data set 1. Entries beyond nq stay 0.
struct FqPanel {
  Array1<float, max_q> X{};  // Q_k
  Array1<float, max_q> A{};  // -(a0 + a1 Q + a2 Q^2): the background, sign reversed
  Array1<float, max_q> B{};  // beta F(k, 1): the scaled data
  Array1<float, max_q> C{};  // F_calc(k, 1) + A(k): the model less the background
  float X_min = 0, X_max = 0, Y_min = 0, Y_max = 0;
  std::int32_t n = 0;  // nq
};

// Full build (x values, x limits, n, then the y part) and the refresh-time
// update (y values and y limits only; x, its limits and n stay as built).
void build_gr_panel(const Run& run, GrPanel& panel);
void update_gr_panel(const Run& run, GrPanel& panel);
void build_fq_panel(const Run& run, FqPanel& panel);
void update_fq_panel(const Run& run, FqPanel& panel);

// Axis limits as they may be handed to cpgenv: a non-finite limit becomes the
// range -1..1 and a flat (or reversed) range is padded, so a degenerate curve
// can neither blank a panel nor make the library fall back to 0..1 axes.
struct AxisRange {
  float lo, hi;
};
AxisRange drawable_range(float lo, float hi);

// Limits for the value axis of a saved picture that leave out isolated
// spikes (one wild low-Q point, an intramolecular peak far above the rest)
// while the body of the curves still fills the panel: the range of the middle
// 96% of the finite values (2nd to 98th percentile), widened by three
// quarters of that range on each side and never beyond the smallest and
// largest value; values beyond that by less than half the range are kept. `low` and `high`
// are the smallest and largest value: beyond lo or hi, the values run off
// the panel. No finite value gives -1 to 1.
struct RobustRange {
  float lo = -1.0f, hi = 1.0f;
  float low = 0.0f, high = 0.0f;
  bool clipped_low() const { return low < lo; }
  bool clipped_high() const { return high > hi; }
};
RobustRange robust_range(std::vector<float> values);

}  // namespace yosta
