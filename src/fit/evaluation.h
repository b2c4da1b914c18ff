// The evaluation of the move cycle, kept up to date move by move: what the
// cycle keeps between moves so that a trial move costs one pass over the Q
// points per data set, and the trial, keep and undo steps that use it.
#pragma once

#include <array>
#include <cstdint>
#include <new>
#include <vector>

#include "fit/kernels.h"
#include "fit/rspace.h"
#include "input/parameters.h"
#include "model/state.h"

namespace yosta {

struct Run;

// What the move cycle keeps between moves so that a trial move costs one pass
// over the Q points per data set (fit/evaluation.cpp). Derived state only:
// everything in it can be rebuilt from the model at any time.
//
// With e = M - F (compared model less the offset-corrected data), the kept
// sums over the fitted range are E0 = sum e/var, EF = sum e F/var,
// E1 = sum e Q/var, E2 = sum e Q^2/var and EE = sum e^2/var; the refit sums
// follow as R = T + E and chi-squared as a quadratic form in the
// coefficients.
// (KeptSums: fit/kernels.h)

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
// Values per Q point, 1-based like Array1, padded to whole 64-byte lines
// beyond max_q so that a pass may run in sixteens over 0..line_q - 1.
inline constexpr int line_q = (max_q + 1 + 15) / 16 * 16;
struct alignas(64) LineQ : std::array<float, line_q> {};

struct KeptSet {
  KeptSums kept;                  // of the current model
  KeptSums trial;                 // of the model with the trial move in it
  double S[5]{}, T[3]{}, FF = 0;  // fixed sums in double
  LineQ w{};                      // 1/var on the fitted range, 0 elsewhere
  LineQ F{};                      // the data
  // The compared model. Without resolution buffer 0 is a copy of F_calc,
  // updated with the same operations and copied back to it. With resolution
  // the broadened model on the fitted range, in two buffers: a trial writes
  // the one not current and acceptance flips them.
  std::array<LineQ, 2> M{};
  std::int32_t current = 0;
  std::int32_t table = -1;                  // broadened-row table of this set, -1: none
  std::array<bool, max_basis + 1> flat{};   // coef(k, p) one value at every Q
  std::array<LineQ, max_basis + 1> coef{};  // coef(k, p) where not flat
  LineQ change{};                           // a change taken from `change` of the data set
};

struct KeptState {
  bool prepared = false;           // prepare_evaluation has run for this model
  std::int32_t since_refresh = 0;  // evaluated moves since the sums were recomputed
  LineQ Q{}, QQ{};                 // Q, and Q*Q rounded to single precision
  // Kernel rows (single-point moves) or shape-smoothed kernel rows (Gaussian
  // moves) per r point: rows[(j - 1) * row_stride + k], k = 1..nq, zero
  // elsewhere; row_stride is nq + 1 rounded up to a whole line.
  LineFloats rows;
  std::int32_t row_stride = 0;
  // The same rows broadened, per distinct set of resolution windows t, with
  // the same layout (values on the fitted range of the sets using it).
  std::vector<LineFloats> broadened;
  std::array<KeptSet, max_sets + 1> sets{};
  // The trial move: did it change F_calc, and did it take its change from
  // row trial_row (0: the change is in each set's `change`)?
  bool trial_changed = false;
  std::int32_t trial_row = 0;
  std::int32_t trial_p = 1;
  float trial_amplitude = 0;
  LineQ dM{};          // scratch: a broadened change
  RSpaceState rspace;  // the r-space tables, when in use
};

// Which evaluation a run uses: the r-space tables where they fit in memory
// (fit/rspace.h), else the passes over the Q points; or the Q-space passes
// whatever the size (tests and benchmarks compare the two).
enum class EvaluationPath { best, q_space };

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

// The life cycle: prepare_evaluation once the model is set up (it builds the
// move rows and the per-set copies for the model's sizes and switches, and
// the kept sums), and model_rebuilt whenever F_calc was rebuilt from scratch
// (the kept sums are formed again). Between them, trials and their keep or
// undo keep everything up to date. A trial on a kept state never prepared
// prepares it first (a run built by hand still evaluates its model).
void prepare_evaluation(Run& run, EvaluationPath path = EvaluationPath::best);
void model_rebuilt(Run& run);

// The evaluation of a trial move: the model of every set updated for the
// change, then the corrections and chi2 of every set, from sums kept between
// moves; returns the total data chi-squared.
double evaluate_trial(Run& run, const TrialChange& tc);
// The trial model becomes the current one.
void keep_trial(Run& run);
// The trial is taken back out: F_calc -= change of every set.
void undo_trial(Run& run);

// F_calc made that of the basis values (the r-space evaluation does not keep
// it move by move), and with resolution the compared model M of every set
// broadened from it: called before F_calc or M are shown or saved. Changes
// nothing the evaluation reads, so the walk does not depend on it.
void sync_model(Run& run);

// True when trials are evaluated from the r-space tables.
bool rspace_in_use(const Run& run);

// The move rows: the kernel row of every r point (single-point moves) or the
// kernel smoothed by the bump of its range (Gaussian moves), within
// max_bytes; empty when they would not fit.
void build_move_rows(Run& run, std::size_t max_bytes);

// The kept sums of set s computed afresh from F_calc.
KeptSums recompute_kept_sums(const Run& run, int s);

}  // namespace yosta
