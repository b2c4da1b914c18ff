// The vector passes for the baseline instruction set (SSE2: vectors of 4 floats).
#include "fit/kernel_body.h"

namespace yosta::kernels {

void plain_base(Source source, bool store, bool undo, const Pass& a) { plain_any<4>(source, store, undo, a); }

void summing_base(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  summing_any<4>(source, sets, copy, a, d);
}

void add_row_base(double* D, double a, const float* row, int n) {
  for (int i = 0; i < n; ++i) D[i] += a * static_cast<double>(row[i]);
}

void add_gram_rows_base(double* Dr, const GramRow* rows, int count, int n) {
  add_gram_rows_from(Dr, rows, count, 0, n);
}

void add_bump_row_base(double* Dr, double a, const BumpRow& b, int n) {
  for (int i = 0; i < n; ++i) {
    const double lo = b.j * static_cast<double>(b.A[i]) + static_cast<double>(b.B[i]);
    const double hi = b.j * static_cast<double>(b.Ar[i]) + static_cast<double>(b.Br[i]);
    Dr[i] += a * (lo - hi);
  }
}

}  // namespace yosta::kernels
