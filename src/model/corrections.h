// Data corrections (scale, constant, linear and quadratic terms refitted by
// weighted least squares), resolution broadening and chi-squared.
#pragma once

#include <type_traits>

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

// The terms of a fit case: the offsets a0, a1, a2 it fits (0 to 3 of them,
// in that order) and whether it renormalises (beta).
template <FitCase C>
struct CaseTerms {
  static constexpr bool scaled =
      C == FitCase::scale || C == FitCase::scale_zero || C == FitCase::scale_zero_linear || C == FitCase::scale_all;
  static constexpr int offsets = C == FitCase::zero || C == FitCase::scale_zero                 ? 1
                                 : C == FitCase::zero_linear || C == FitCase::scale_zero_linear ? 2
                                 : C == FitCase::zero_all || C == FitCase::scale_all            ? 3
                                                                                                : 0;
};

// Calls f with the case as a compile-time constant (std::integral_constant),
// so that code per case is written once for all cases.
template <class F>
inline decltype(auto) with_fit_case(FitCase c, F&& f) {
  using C = FitCase;
  switch (c) {
    case C::scale:
      return f(std::integral_constant<C, C::scale>{});
    case C::zero:
      return f(std::integral_constant<C, C::zero>{});
    case C::zero_linear:
      return f(std::integral_constant<C, C::zero_linear>{});
    case C::zero_all:
      return f(std::integral_constant<C, C::zero_all>{});
    case C::scale_zero:
      return f(std::integral_constant<C, C::scale_zero>{});
    case C::scale_zero_linear:
      return f(std::integral_constant<C, C::scale_zero_linear>{});
    case C::scale_all:
      return f(std::integral_constant<C, C::scale_all>{});
    case C::none:
      break;
  }
  return f(std::integral_constant<C, C::none>{});
}

// Row i of the inverse normal matrix times the right-hand side, summed in
// double from zero in the order of the terms, rounded once.
template <int N>
inline float solve_row(const DataSet& set, int i, const float (&rhs)[N]) {
  const auto& row = set.inverse[static_cast<std::size_t>(i)];
  double sum = 0.0;
  for (int j = 0; j < N; ++j)
    sum += static_cast<double>(row[static_cast<std::size_t>(j)]) * static_cast<double>(rhs[j]);
  return static_cast<float>(sum);
}

// refit_coefficients for a case known at compile time (the evaluation of a
// trial move calls it for every set). A case of two or more terms solves the
// normal equations with the inverse matrix: with renormalising the
// right-hand side is R0, R1, R2, RF (offset terms first, beta last); without
// it the data are fitted as M - F = a0 + a1 Q + a2 Q^2 and it is R - T.
template <FitCase C>
inline void refit_case(DataSet& set, const RefitSums& r) {
  using Terms = CaseTerms<C>;
  constexpr int n = Terms::offsets + (Terms::scaled ? 1 : 0);
  float a[3] = {0.0f, 0.0f, 0.0f};
  float beta = 1.0f;
  if constexpr (C == FitCase::scale) {
    beta = r.RF / set.FF;
  } else if constexpr (C == FitCase::zero) {
    a[0] = (r.R0 - set.T0) / set.S0;
  } else if constexpr (n >= 2) {
    const float R[3] = {r.R0, r.R1, r.R2};
    const float T[3] = {set.T0, set.T1, set.T2};
    float rhs[n];
    for (int j = 0; j < Terms::offsets; ++j) rhs[j] = Terms::scaled ? R[j] : R[j] - T[j];
    if constexpr (Terms::scaled) rhs[n - 1] = r.RF;
    for (int i = 0; i < Terms::offsets; ++i) a[i] = solve_row<n>(set, i, rhs);
    if constexpr (Terms::scaled) beta = solve_row<n>(set, n - 1, rhs);
  }
  set.beta = beta;
  set.a0 = a[0];
  set.a1 = a[1];
  set.a2 = a[2];
}

// Inverts a symmetric n x n matrix (n = 2..4) by Doolittle LU without
// pivoting; false when a pivot is zero or not finite.
bool invert_matrix(const float* a, int n, float* inverse);  // row-major

}  // namespace yosta
