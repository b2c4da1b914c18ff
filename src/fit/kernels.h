// The vector passes over the Q points of the kept evaluation (fit/qspace.cpp)
// and their choice by processor: each pass exists for the baseline instruction
// set (kernels_base.cpp), AVX2 (kernels_avx2.cpp) and AVX-512
// (kernels_avx512.cpp), all giving the same bits; the version is chosen once
// at run time (kernels.cpp).
#pragma once

#include "input/capacities.h"

namespace yosta {

// The changes of the kept sums of one data set (see KeptSums).
struct KeptSums {
  double E0 = 0, EF = 0, E1 = 0, E2 = 0, EE = 0;
};

namespace kernels {

// Which E sums a fit case reads besides EE.
enum Need : unsigned { need0 = 1u, needF = 2u, need1 = 4u, need2 = 8u };

// Where a pass takes the change of each point from.
enum class Source {
  row_flat,  // (row(k) c) d, one coefficient c for every point
  row,       // (row(k) c(k)) d
  given,     // src(k) itself
};

// One pass over the Q points from..to; the arrays are indexed by k.
struct Pass {
  const float* X;  // the values before the change
  float* out;      // where the changed values go (may be X)
  float* copy;     // where they go too, on whole lines of 16..copy_last
  int copy_last;
  float* ch_out;     // where the change goes, when stored
  const float* src;  // the row, or the change itself
  const float* c;    // coefficients, Source::row
  float c_flat;      // coefficient, Source::row_flat
  float d;           // amplitude of the row
  const float* w;    // 1/var
  const float* Fd;   // the data
  const float* Q;
  const float* QQ;
  int from, to;
};

// One data set's part of a summing pass.
struct SetPart {
  const float* X;    // the values before the change
  float* out;        // where the changed values go (may be X)
  float* copy;       // where they go too (F_calc), or null
  const float* src;  // the change itself, Source::given
  const float* c;    // coefficients, Source::row
  float c_flat;      // coefficient, Source::row_flat
  const float* w;    // 1/var, 0 off the fitted range
  const float* Fd;   // the data
};

// A summing pass over the Q points from..to (from and to + 1 multiples of 16)
// for one or more data sets that share the change's row.
struct SumPass {
  SetPart part[max_sets];
  int copy_last;     // copies go to whole lines of points 16..copy_last only
  const float* row;  // Source::row and Source::row_flat
  float d;           // amplitude of the row
  const float* Q;
  const float* QQ;
  int from, to;
};

// out = X + change (Undo: X - change), the change stored in ch_out when
// `store`; no sums. Nothing happens when to < from.
void plain_pass(Source source, bool store, bool undo, const Pass& a);

// The summing pass over `sets` data sets (1..4) sharing the change's row: the
// copies of the model updated (and copied to F_calc where parts name a copy)
// and the changes of all five sums of each set into d[0..sets-1]. A pass
// without copies is for one set only, with Source::row_flat or ::given.
void summing_pass(Source source, int sets, const SumPass& a, KeptSums* d);

// D[i] += a * row[i] for i = 0..n-1, each point one widening, one product and
// one sum, so every version gives the same bits.
void add_row(double* D, double a, const float* row, int n);

// Rows of a Gram block formed from its T array, added to a D kept divided by
// the r point (Dr[i] = D(i) / i, so a row needs no factor i): with b = a j
// for a row of amplitude a at r point j, Dr[i] += b * (Tm[i] - Tp[i]) for
// i = 0..n-1 (Tm[i] = T(i - j), Tp[i] = T(i + j) for the r point i of
// Dr[i]), row after row: each point the same operations in the same order in
// every version, so rows added together give the bits of rows added one at a
// time (and a point read between them, as RSpaceEvaluator does, too).
struct GramRow {
  const float* Tm;  // widened to double
  const float* Tp;
  double b;
};
inline constexpr int max_gram_rows = 8;  // rows a call adds
void add_gram_rows(double* Dr, const GramRow* rows, int count, int n);
// The value one row adds at index i.
inline double gram_row_at(const GramRow& g, int i) {
  return g.b * (static_cast<double>(g.Tm[i]) - static_cast<double>(g.Tp[i]));
}
// add_gram_rows over the indices from..n-1, one at a time: the baseline
// version, and the points after the last whole vector in the others.
inline void add_gram_rows_from(double* Dr, const GramRow* rows, int count, int from, int n) {
  for (int i = from; i < n; ++i) {
    double d = Dr[i];
    for (int r = 0; r < count; ++r) d += gram_row_at(rows[r], i);
    Dr[i] = d;
  }
}

// The row of a whole Gaussian bump centred at j, from the bump's four arrays,
// added to a D kept divided by the r point:
// Dr[i] += a * ((j * A[i] + B[i]) - (j * Ar[i] + Br[i])).
struct BumpRow {  // the arrays widened to double
  const float* A;
  const float* B;
  const float* Ar;
  const float* Br;
  double j;
};
void add_bump_row(double* Dr, double a, const BumpRow& b, int n);

// The row updates for the processor, chosen once (for callers that keep
// them from set-up on rather than choose at every call).
using RowFn = void (*)(double*, double, const float*, int);
using GramRowFn = void (*)(double*, const GramRow*, int, int);
using BumpRowFn = void (*)(double*, double, const BumpRow&, int);
RowFn row_version();
GramRowFn gram_row_version();
BumpRowFn bump_row_version();

// The versions of the passes, one per instruction set.
enum Isa : int { isa_base = 0, isa_avx2 = 1, isa_avx512 = 2 };
void plain_base(Source source, bool store, bool undo, const Pass& a);
void plain_avx2(Source source, bool store, bool undo, const Pass& a);
void plain_avx512(Source source, bool store, bool undo, const Pass& a);
void summing_base(Source source, int sets, bool copy, const SumPass& a, KeptSums* d);
void summing_avx2(Source source, int sets, bool copy, const SumPass& a, KeptSums* d);
void summing_avx512(Source source, int sets, bool copy, const SumPass& a, KeptSums* d);
void add_row_base(double* D, double a, const float* row, int n);
void add_row_avx2(double* D, double a, const float* row, int n);
void add_row_avx512(double* D, double a, const float* row, int n);
void add_gram_rows_base(double* Dr, const GramRow* rows, int count, int n);
void add_gram_rows_avx2(double* Dr, const GramRow* rows, int count, int n);
void add_gram_rows_avx512(double* Dr, const GramRow* rows, int count, int n);
void add_bump_row_base(double* D, double a, const BumpRow& b, int n);
void add_bump_row_avx2(double* D, double a, const BumpRow& b, int n);
void add_bump_row_avx512(double* D, double a, const BumpRow& b, int n);

}  // namespace kernels

// Tests and benchmarks: runs the passes with the baseline instruction set
// (0), AVX2 (1) or AVX-512 (2) when the processor has it, or the best it has
// (-1); returns the version now in use.
int force_vector_path(int path);

}  // namespace yosta
