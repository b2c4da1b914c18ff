// The evaluator interface of the move cycle and the state its
// implementations share.
//
// An evaluator keeps, between moves, what makes a trial move cheap to
// evaluate. Its life cycle:
//   prepare  once the model is set up: its tables for the model's sizes and
//            switches, and the kept sums of the current model;
//   trial    the change of one trial move: the kept sums changed by it, the
//            corrections and chi2 of every set refitted from them; returns
//            the total data chi-squared;
//   keep     the trial model becomes the current one;
//   undo     the trial is taken back out;
//   rebuilt  F_calc was rebuilt from scratch: the kept sums are formed again;
//   sync     F_calc (and with resolution the compared model M of every set)
//            made that of the basis values, before they are shown or saved.
//            It changes nothing a trial reads, so the walk does not depend on
//            it.
// Two implementations exist: the passes over the Q points (fit/qspace.h) and
// the tables over r points (fit/rspace.h). prepare_evaluation chooses one for
// the run's model once; the cycle is compiled for each and runs the one
// chosen (fit/evaluation.h). A trial on a run whose evaluation was never
// prepared is an error, not a reason to prepare it.
//
// With e = M - F (compared model less the offset-corrected data), the kept
// sums over the fitted range are E0 = sum e/var, EF = sum e F/var,
// E1 = sum e Q/var, E2 = sum e Q^2/var and EE = sum e^2/var; the refit sums
// follow as R = T + E and chi-squared as a quadratic form in the
// coefficients (fit/evaluation.cpp).
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <new>
#include <vector>

#include "fit/kernels.h"
#include "input/parameters.h"

namespace yosta {

struct Run;

// Storage on 64-byte boundaries, so that the vector passes over Q points
// never split a load across cache lines.
template <class T>
struct LineAllocator {
  using value_type = T;
  LineAllocator() = default;
  template <class U>
  LineAllocator(const LineAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{64})); }
  void deallocate(T* p, std::size_t) { ::operator delete (p, std::align_val_t{64}); }
  friend bool operator==(const LineAllocator&, const LineAllocator&) { return true; }
};
using LineFloats = std::vector<float, LineAllocator<float>>;

// The change of one trial move as the cycle shaped it.
struct TrialChange {
  int p = 1;                 // basis function
  int first = 1;             // r point of d[0]
  const float* d = nullptr;  // changes at r points first..first+count-1, all on the grid
  int count = 0;
  bool changed = false;  // some d is non-zero
  // The r point whose move row gives the change, times `amplitude`: the
  // point of a single-point move, or the centre of a whole Gaussian bump (on
  // the grid, unmasked, unchanged by positivity). 0: point by point.
  int row = 0;
  float amplitude = 0.0f;
};

// The trial being evaluated, as the evaluator took it, for its keep or undo.
struct Trial {
  bool changed = false;
  std::int32_t p = 1;
  // The r point whose row (or whole bump) gave the change, 0: point by point.
  std::int32_t row = 0;
  float amplitude = 0;
  // Point by point: the changes at r points first..first+count-1.
  std::int32_t first = 1, count = 0;
  std::array<float, 2 * max_gauss_half + 2> d{};
};

// The sums of one data set that every evaluator keeps.
struct SetSums {
  KeptSums kept;                  // of the current model
  KeptSums trial;                 // of the model with the trial move in it
  double S[5]{}, T[3]{}, FF = 0;  // fixed sums in double
};

// What a move cycle needs of an evaluator.
template <class E>
concept Evaluator = requires(E e, Run& run, const TrialChange& tc) {
  e.prepare(run);
  { e.trial(run, tc) } -> std::same_as<double>;
  e.keep(run);
  e.undo(run);
  e.rebuilt(run);
  e.sync(run);
};

// The parts the implementations share (fit/evaluation.cpp).

// The kept sums of set s computed afresh from F_calc.
KeptSums recompute_kept_sums(const Run& run, int s);

// The trial sums of every set (the kept ones plus the changes d[0..nsets-1]
// when `changed`), the corrections refitted from them and chi2; returns the
// total chi-squared.
double refit_all(Run& run, bool changed, const KeptSums* d);

// The trial sums of every set become the kept ones.
void keep_sums(Run& run);

// With resolution, the compared model M of every set broadened from F_calc.
void broaden_compared_models(Run& run);

}  // namespace yosta
