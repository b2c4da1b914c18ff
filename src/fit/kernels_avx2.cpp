// The vector passes for AVX2 (vectors of 8 floats).
#include <immintrin.h>

#include "fit/kernel_body.h"

namespace yosta::kernels {

[[gnu::target("avx2")]] void plain_avx2(Source source, bool store, bool undo, const Pass& a) {
  plain_any<8>(source, store, undo, a);
}

[[gnu::target("avx2")]] void summing_avx2(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  summing_any<8>(source, sets, copy, a, d);
}

// Sixteen points a turn in four independent vectors, widened straight from
// memory; the last few points one at a time.
[[gnu::target("avx2")]] void add_row_avx2(double* D, double a, const float* row, int n) {
  const __m256d av = _mm256_set1_pd(a);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256d r0 = _mm256_cvtps_pd(_mm_loadu_ps(row + i));
    const __m256d r1 = _mm256_cvtps_pd(_mm_loadu_ps(row + i + 4));
    const __m256d r2 = _mm256_cvtps_pd(_mm_loadu_ps(row + i + 8));
    const __m256d r3 = _mm256_cvtps_pd(_mm_loadu_ps(row + i + 12));
    _mm256_storeu_pd(D + i, _mm256_add_pd(_mm256_loadu_pd(D + i), _mm256_mul_pd(av, r0)));
    _mm256_storeu_pd(D + i + 4, _mm256_add_pd(_mm256_loadu_pd(D + i + 4), _mm256_mul_pd(av, r1)));
    _mm256_storeu_pd(D + i + 8, _mm256_add_pd(_mm256_loadu_pd(D + i + 8), _mm256_mul_pd(av, r2)));
    _mm256_storeu_pd(D + i + 12, _mm256_add_pd(_mm256_loadu_pd(D + i + 12), _mm256_mul_pd(av, r3)));
  }
  for (; i + 4 <= n; i += 4)
    _mm256_storeu_pd(D + i,
                     _mm256_add_pd(_mm256_loadu_pd(D + i), _mm256_mul_pd(av, _mm256_cvtps_pd(_mm_loadu_ps(row + i)))));
  for (; i < n; ++i) D[i] += a * static_cast<double>(row[i]);
}

}  // namespace yosta::kernels
