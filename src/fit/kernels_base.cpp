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

void add_gram_row_base(double* D, double a, const GramRow& g, int n) {
  const double b = a * g.j;
  const auto first = g.first;
  for (int i = 0; i < n; ++i) D[i] += b * (static_cast<double>(first + i) * (g.Tm[i] - g.Tp[i]));
}

void add_bump_row_base(double* D, double a, const BumpRow& b, int n) {
  const auto first = b.first;
  for (int i = 0; i < n; ++i) {
    const auto x = static_cast<double>(first + i);
    D[i] += a * (x * ((b.j * b.A[i] + b.B[i]) - (b.j * b.Ar[i] + b.Br[i])));
  }
}

}  // namespace yosta::kernels
