// Whether the numbers of a run are still numbers. Nothing non-finite may be
// kept, shown as a result or saved: set-up, the save check and every save ask
// here first, and a run whose state is no longer finite ends.
//
// Each check returns the console line that names what went wrong (the data
// set, basis function or constraint, the value, and the parameter record most
// likely to blame), or an empty string when everything is finite.
#pragma once

#include <string>

#include "fit/run.h"

namespace yosta {

// The few values the walk decides by, cheap enough for the save check's
// cadence: the cost of the current model, the smoothing and coordination
// penalties, the coordination numbers, and per data set the chi-squared of
// the last evaluation and the kept sums of the current model.
std::string non_finite_cost(const Run& run);

// Everything a save writes as well: the basis values, every set's model
// F(Q), compared model and corrections, and the saved-set sums. The
// corrections and chi-squared are taken as they stand: refit them for the
// current model first.
std::string non_finite_state(const Run& run);

// Throws Stop(line, status) when non_finite_cost (or, with `whole`,
// non_finite_state) finds something; the line says at which move (or that
// this run has made none). Nothing is allocated unless something is found.
void stop_unless_finite(const Run& run, bool whole, int status);

}  // namespace yosta
