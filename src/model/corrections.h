// Data corrections (scale, constant, linear and quadratic terms refitted by
// weighted least squares), resolution broadening and chi-squared.
#pragma once

#include "model/run.h"

namespace yosta {

// Offsets, variances, fixed sums, fit case and inverse normal matrix of every
// set, the initial coefficients, N_total. Stops on a zero error at a fitted
// point and on a singular normal matrix or zero divisor.
void prepare_data(Run& run);

// Resolution windows and weights of every fitted point; stops with
// " Peaks too wide" for a window of more than 40 points.
void setup_resolution(Run& run);

// Brings M of set s up to date from F_calc (broadened when resolution_on).
void compared_model(Run& run, DataSet& set);

// M, the refit of the corrections and chi2 of every set; returns the total
// data chi-squared.
double evaluate(Run& run);

// Inverts a symmetric n x n matrix (n = 2..4) by Doolittle LU without
// pivoting; false when a pivot is zero or not finite.
bool invert_matrix(const float* a, int n, float* inverse);  // row-major

}  // namespace yosta
