// Zero and positivity rules, coordination numbers and the smoothing penalty.
#pragma once

#include "model/state.h"

namespace yosta {

// True when a zero constraint of basis function p holds r (bounds inclusive).
bool centre_refused(const RunParameters& par, int p, float r);
// True when a zero constraint of p has r strictly inside its range.
bool zero_masked(const RunParameters& par, int p, float r);
// The change to use at r point j of basis function p for a proposed change x.
float positivity_rule(const RunParameters& par, const Model& model, int p, int j, float x);

// Start and reset: zero constraints write Z, positivity raises to at least Z.
void enforce_zero_and_positivity(const RunParameters& par, Model& model);

// Every N_c from the basis values (higher-precision sums).
void coordination_full(const RunParameters& par, Model& model);
// Coordination change of a move of basis function p: changes d[0..n-1] at r
// points j0..j0+n-1 (positions off the grid already excluded by the caller).
// Writes dNc[1..ncoord], adds them to N_c and recomputes P.
void coordination_move(const RunParameters& par, Model& model, int p, int j0, const float* d, int n, float* dNc);
// P from the current N_c.
void coordination_penalty(const RunParameters& par, Model& model);

// S in full (0 unless smoothing type 1 or 2).
void smoothing_full(const RunParameters& par, Model& model);
// dS (already weighted) of a single-point move of delta at r point j of p,
// 0 unless smoothing type 1 or 2; the model is left as it is.
float smoothing_change(const RunParameters& par, const Model& model, int p, int j, float delta);

// Set-up guard: stops (status 1) when the zero constraints cover every r point
// of every basis function, since no move centre could then ever be drawn.
void check_free_centre(const RunParameters& par, const Model& model);
// Set-up guard: stops (status 1) when the smoothing factor r*exp(r/L) of an
// active type 1 or 2 penalty overflows single precision on the grid, which
// would turn every cost into infinity or NaN and freeze the fit.
void check_smoothing_factor(const RunParameters& par, const Model& model);

}  // namespace yosta
