// Data corrections (scale, constant, linear and quadratic terms refitted by
// weighted least squares), resolution broadening and chi-squared.
#pragma once

#include "model/state.h"

namespace yosta {

// Offsets, variances, fixed sums, fit case and inverse normal matrix of every
// set, the initial coefficients, N_total. Stops on a zero error at a fitted
// point and on a singular normal matrix or zero divisor.
void prepare_data(const RunParameters& par, Model& model);

// Resolution windows and weights of every fitted point; stops with
// " Peaks too wide" for a window of more than 40 points.
void setup_resolution(const RunParameters& par, Model& model);

// Brings M of set s up to date from F_calc (broadened when resolution_on).
void compared_model(const RunParameters& par, Model& model, DataSet& set);

// M, the refit of the corrections and chi2 of every set; returns the total
// data chi-squared.
double evaluate(const RunParameters& par, Model& model);

// The refit sums over a set's fitted range: R0 = sum M/var, RF = sum F M/var,
// R1 = sum Q M/var and R2 = sum Q^2 M/var.
// M(i) = sum over fitted points k whose window holds i of weight_k(i) F(k),
// for i = 1..nq: each fitted model point is spread over its own window.
void broaden(const DataSet& set, int nq, const float* F_calc, float* M);

struct RefitSums {
  float R0, RF, R1, R2;
};
RefitSums refit_sums(const DataSet& set);
// The corrections beta, a0, a1, a2 of the set's fit case from its refit sums.
void refit_coefficients(DataSet& set, const RefitSums& r);

// Inverts a symmetric n x n matrix (n = 2..4) by Doolittle LU without
// pivoting; false when a pivot is zero or not finite.
bool invert_matrix(const float* a, int n, float* inverse);  // row-major

}  // namespace yosta
