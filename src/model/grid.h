// The real-space grid, the floor value and the Gaussian move shapes.
#pragma once

#include "model/state.h"
#include "base/console.h"

namespace yosta {

// dr = 2 pi / (Q_nq * Mr), nr = int(rmax / dr) + 1; stops when nr > 12000
// (two explanatory lines, then a plain error stop), and on Mr < 1, a last Q
// value not above zero or a negative rmax.
void derive_r_grid(const RunParameters& par, Model& model);

// Widths become standard deviations, half-widths in points are checked, and
// the last rch must reach the end of the grid. Only with Gaussian moves;
// stops on Gaussian moves without any r range.
void check_gaussian_ranges(const RunParameters& par, Model& model);

// Z = -1 in Q-dependent mode; otherwise minus the coefficient of basis
// function 1 in set 1 at Q point 1, which is then set to 1 at every Q point.
void set_floor_value(const RunParameters& par, Model& model);

// shape_i(m) = exp(-0.5 ((m - ngauss - 1) dr / sigma)^2). Only with Gaussian moves.
void tabulate_gaussians(const RunParameters& par, Model& model);

}  // namespace yosta
