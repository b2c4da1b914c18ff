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

// ---- the evaluation of the move cycle, kept up to date move by move -------

// The change of one trial move as the cycle shaped it.
struct TrialChange {
  int p = 1;                  // basis function
  int first = 1;              // r point of d[0]
  const float* d = nullptr;   // changes at r points first..first+count-1, all on the grid
  int count = 0;
  bool changed = false;       // some d is non-zero
  // The r point whose move row gives the change, times `amplitude`: the
  // point of a single-point move, or the centre of a whole Gaussian bump (on
  // the grid, unmasked, unchanged by positivity). 0: point by point.
  int row = 0;
  float amplitude = 0.0f;
};

// Steps 6 and 7 of a trial move: the model of every set updated for the
// change, then the corrections and chi2 of every set, from sums kept between
// moves; returns the total data chi-squared. Prepares the move rows at the
// first call and whenever the sizes they were built for change.
double evaluate_trial(Run& run, const TrialChange& change);
// The trial model becomes the current one.
void keep_trial(Run& run);
// The trial is taken back out: F_calc -= change of every set.
void undo_trial(Run& run);

// The kept sums of set s computed afresh from F_calc.
KeptSums recompute_kept_sums(const Run& run, int s);

// Tests: runs the move passes with the baseline instruction set (0), AVX2 (1)
// or AVX-512 (2) when the processor has it, or the best it has (-1); returns
// the version now in use.
int force_vector_path(int path);

// Inverts a symmetric n x n matrix (n = 2..4) by Doolittle LU without
// pivoting; false when a pivot is zero or not finite.
bool invert_matrix(const float* a, int n, float* inverse);  // row-major

}  // namespace yosta
