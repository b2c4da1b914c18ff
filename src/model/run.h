// The run context: every piece of model state of one run, sized once at
// start-up and owned until exit. Nothing in it is reallocated in the move cycle.
//
// Arrays over r points, Q points and Gaussian shape positions are indexed from
// 1 as the method's formulas are (element 0 is unused), so that r_j = j * dr
// and Q_k = (k + q_offset) * dq read the same in code as on paper.
#pragma once

#include <array>
#include <csignal>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "run/parameters.h"
#include "run/random.h"

namespace yosta {

template <class T, int N>
using Array1 = std::array<T, static_cast<std::size_t>(N) + 1>;  // 1-based

// The Q points shared by all data sets.
struct QGrid {
  std::int32_t nq = 0;
  Array1<float, max_q> Q{};       // inverse Angstrom; the Q values of the last file read
  float dq = 0;                   // (Q_nq - Q_1) / (nq - 1)
  std::int32_t q_offset = 0;      // Q_k = (k + q_offset) * dq
  std::int32_t nq_grid = 0;       // nint(Q_nq / dq)
};

struct RealGrid {
  float dr = 0;                   // Angstrom
  std::int32_t nr = 0;            // 1..max_r; r_j = j * dr
};

// Which correction coefficients a data set fits.
enum class FitCase : std::int8_t {
  none,                // beta = 1, a0 = a1 = a2 = 0
  scale,               // beta = RF / FF
  scale_zero,          // a0, beta
  scale_zero_linear,   // a0, a1, beta
  scale_all,           // a0, a1, a2, beta
  zero,                // a0 = D0 / S0
  zero_linear,         // a0, a1
  zero_all,            // a0, a1, a2
};

// One experimental total structure factor and everything fitted to it.
struct DataSet {
  DataSetSettings settings;       // from the parameter file; sigma and q_last as adjusted
  Array1<float, max_q> F{};       // experimental value; offset-corrected at set-up
  Array1<float, max_q> err{};     // error; squared (variance) over the fitted range at set-up
  Array1<float, max_q> background{};
  std::array<Array1<float, max_q>, max_basis + 1> coef{};  // coef[p][k], p = 1..nbasis

  Array1<float, max_q> F_calc{};  // model F(Q) before broadening
  Array1<float, max_q> M{};       // model as compared with the data
  Array1<float, max_q> change{};  // change of F_calc by the current trial move

  // Fixed sums over the fitted range, stored in single precision.
  float N = 0, S0 = 0, S1 = 0, S2 = 0, S3 = 0, S4 = 0, T0 = 0, T1 = 0, T2 = 0, FF = 0;
  // Weights of the refit sums over the fitted range, fixed at set-up:
  // 1/var, F/var, Q/var and Q*Q/var.
  Array1<double, max_q> inv_var{}, F_w{}, Q_w{}, QQ_w{};
  FitCase fit_case = FitCase::none;
  std::array<std::array<float, 4>, 4> inverse{};  // inverse normal matrix, 0-based rows/cols

  float beta = 1, a0 = 0, a1 = 0, a2 = 0;
  float chi2 = 0;

  // Resolution windows, for fitted points only: lo[k]..hi[k], at most 40 points,
  // weight[k][i - lo[k]] for i = lo[k]..hi[k].
  Array1<std::int32_t, max_q> lo{}, hi{};
  std::array<std::array<float, max_window>, max_q + 1> weight{};
};

// Gaussian move shapes, one per r range.
struct GaussianShapes {
  std::array<float, max_ranges + 1> sigma{};        // 1-based ranges
  std::array<std::int32_t, max_ranges + 1> ngauss{};
  // shape[i][m], m = 1..2 ngauss(i) + 1, peak 1 at m = ngauss(i) + 1
  std::array<std::array<float, 2 * max_gauss_half + 2>, max_ranges + 1> shape{};
};

// Sine table and the other transform tables.
struct TransformTables {
  std::int32_t P = 0;                 // table period Mr * nq_grid
  Array1<float, max_sinqr> sinqr{};   // sinqr[m], m = 0..P (element 0 used)
  Array1<float, max_q> reciprocal{};  // 1 / Q_k
  float f = 0;                        // 4 pi rho dr^2
  float q_zero_factor = 0;            // 4 pi rho dr^3
};

// The running sums of the g(r) sets taken at the target levels.
struct SaveSums {
  std::int32_t nsaved = 0;
  std::int32_t collect_count = 0;
  std::array<Array1<float, max_r>, max_basis + 1> S1{};  // S1[p][j]
  std::array<Array1<float, max_r>, max_basis + 1> S2{};
};

// Called after an accepted move when the plots are due; set by the display.
// `repaint` copies the last drawing back to the windows (a covered window is
// restored between refreshes); the cycle calls it every few thousand moves.
struct PlotHook {
  void (*refresh)(void* context) = nullptr;
  void (*repaint)(void* context) = nullptr;
  void* context = nullptr;
};

// What the move cycle keeps between moves so that a trial move costs one pass
// over the Q points per data set (model/corrections.cpp). Derived state only:
// everything in it can be rebuilt from the model at any time.
//
// With e = M - F (compared model less the offset-corrected data), the kept
// sums over the fitted range are E0 = sum e/var, EF = sum e F/var,
// E1 = sum e Q/var, E2 = sum e Q^2/var and EE = sum e^2/var; the refit sums
// follow as R = T + E and chi-squared as a quadratic form in the
// coefficients.
struct KeptSums {
  double E0 = 0, EF = 0, E1 = 0, E2 = 0, EE = 0;
};

// Storage on 64-byte boundaries, so that the vector passes over Q points
// never split a load across cache lines.
template <class T>
struct LineAllocator {
  using value_type = T;
  LineAllocator() = default;
  template <class U>
  LineAllocator(const LineAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{64})); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t{64}); }
  friend bool operator==(const LineAllocator&, const LineAllocator&) { return true; }
};
using LineFloats = std::vector<float, LineAllocator<float>>;
// Values per Q point, 1-based like Array1, padded to whole 64-byte lines
// beyond max_q so that a pass may run in sixteens over 0..line_q - 1.
inline constexpr int line_q = (max_q + 1 + 15) / 16 * 16;
struct alignas(64) LineQ : std::array<float, line_q> {};

struct KeptSet {
  KeptSums kept;                    // of the current model
  KeptSums trial;                   // of the model with the trial move in it
  double S[5]{}, T[3]{}, FF = 0;    // fixed sums in double
  LineQ w{};                        // 1/var on the fitted range, 0 elsewhere
  LineQ F{};                        // the data
  // The compared model. Without resolution buffer 0 is a copy of F_calc,
  // updated with the same operations and copied back to it. With resolution
  // the broadened model on the fitted range, in two buffers: a trial writes
  // the one not current and acceptance flips them.
  std::array<LineQ, 2> M{};
  std::int32_t current = 0;
  std::int32_t table = -1;          // broadened-row table of this set, -1: none
  std::array<bool, max_basis + 1> flat{};  // coef(k, p) one value at every Q
  std::array<LineQ, max_basis + 1> coef{};  // coef(k, p) where not flat
  LineQ change{};                   // a change taken from `change` of the data set
};

struct KeptState {
  bool tables_ready = false;        // cleared by every set-up step the tables depend on
  bool sums_ready = false;          // cleared whenever F_calc is rebuilt
  std::int32_t since_refresh = 0;   // evaluated moves since the sums were recomputed
  std::int64_t signature[8]{};      // sizes and switches the tables were built for
  LineQ Q{}, QQ{};                  // Q, and Q*Q rounded to single precision
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
  LineQ dM{};                       // scratch: a broadened change
};

struct Run {
  RunParameters params;
  std::array<DataSet, max_sets + 1> sets{};  // 1-based: sets[1..nsets]
  QGrid q;
  RealGrid r;
  GaussianShapes gauss;
  TransformTables tables;

  float Z = 0;                               // floor value of the basis values
  std::array<Array1<float, max_r>, max_basis + 1> v{};  // basis values v[p][j]
  std::int32_t generated = 0, accepted = 0;  // move counters

  std::array<float, max_constraints + 1> Nc{};  // coordination numbers, 1-based
  float P = 0;                               // coordination penalty
  float S = 0;                               // smoothing penalty
  float N_total = 0;                         // fitted points (+ nr*nbasis with smoothing)

  SaveSums sums;

  // Move cycle state.
  float E_cur = 1.0e30f;
  bool running = true;
  std::int32_t seed = 1;
  RunClock clock;
  float next_save_time = 0;                  // minutes

  // Extras of the command line.
  std::int64_t max_moves = -1;               // moves this process may make; -1: no limit
  std::int64_t moves_made = 0;
  const volatile std::sig_atomic_t* interrupted = nullptr;  // set by SIGINT/SIGTERM

  PlotHook plots;

  KeptState kept;                            // fast evaluation of the move cycle
};

// The run lives on the heap: its tables are too large for a stack frame.
std::unique_ptr<Run> make_run();

}  // namespace yosta
