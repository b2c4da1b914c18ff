// The Q-space evaluator: one pass over the Q points per data set and trial
// move, updating a kept copy of the compared model and summing the changes
// of the kept sums as it goes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/one_based.h"
#include "fit/evaluator.h"

namespace yosta {

// Values per Q point, 1-based like Array1, padded to whole 64-byte lines
// beyond max_q so that a pass may run in sixteens over 0..line_q - 1.
inline constexpr int line_q = (max_q + 1 + 15) / 16 * 16;
struct alignas(64) LineQ : std::array<float, line_q> {};

// The per-set copies the passes read and write.
struct QSpaceSet {
  LineQ w{};  // 1/var on the fitted range, 0 elsewhere
  LineQ F{};  // the data
  // The compared model. Without resolution buffer 0 is a copy of F_calc,
  // updated with the same operations and copied back to it. With resolution
  // the broadened model on the fitted range, in two buffers: a trial writes
  // the one not current and acceptance flips them.
  std::array<LineQ, 2> M{};
  std::int32_t current = 0;
  std::int32_t table = -1;            // broadened-row table of this set, -1: none
  OneBased<bool, max_basis> flat{};   // coef(k, p) one value at every Q
  OneBased<LineQ, max_basis> coef{};  // coef(k, p) where not flat
  LineQ change{};                     // a change taken from `change` of the data set
};

class QSpaceEvaluator {
 public:
  void prepare(Run& run);
  double trial(Run& run, const TrialChange& tc);
  void keep(Run& run);
  // F_calc -= change of every set.
  void undo(Run& run);
  void rebuilt(Run& run);
  void sync(Run& run);

  // The move rows: the kernel row of every r point (single-point moves) or
  // the kernel smoothed by the bump of its range (Gaussian moves), within
  // max_bytes; empty when they would not fit.
  void build_move_rows(const Run& run, std::size_t max_bytes);

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
  OneBased<QSpaceSet, max_sets> sets{};
  LineQ dM{};  // scratch: a broadened change

 private:
  void build_tables(const Run& run);
  void refresh(Run& run);
  const float* row(int j) const {
    return rows.data() + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(row_stride);
  }
  void copy_edges(Run& run, int s) const;

  std::array<KeptSums, max_sets> changes_{};  // of the trial, per set
};

}  // namespace yosta
