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

namespace {

[[gnu::target("avx2")]] inline void gram_four(double* D, __m256d b, __m256d x, const GramRow& g, int i) {
  const __m256d t = _mm256_sub_pd(_mm256_loadu_pd(g.Tm + i), _mm256_loadu_pd(g.Tp + i));
  _mm256_storeu_pd(D + i, _mm256_add_pd(_mm256_loadu_pd(D + i), _mm256_mul_pd(b, _mm256_mul_pd(x, t))));
}

[[gnu::target("avx2")]] inline void bump_four(double* D, __m256d av, __m256d jv, __m256d x, const BumpRow& b, int i) {
  const __m256d lo = _mm256_add_pd(_mm256_mul_pd(jv, _mm256_loadu_pd(b.A + i)), _mm256_loadu_pd(b.B + i));
  const __m256d hi = _mm256_add_pd(_mm256_mul_pd(jv, _mm256_loadu_pd(b.Ar + i)), _mm256_loadu_pd(b.Br + i));
  const __m256d c = _mm256_mul_pd(x, _mm256_sub_pd(lo, hi));
  _mm256_storeu_pd(D + i, _mm256_add_pd(_mm256_loadu_pd(D + i), _mm256_mul_pd(av, c)));
}

// The r points of D[i..i+3] as doubles: whole numbers, converted exactly
// from integers (no chain of additions from one turn to the next).
[[gnu::target("avx2")]] inline __m256d points_four(__m128i first, int i) {
  return _mm256_cvtepi32_pd(_mm_add_epi32(first, _mm_set1_epi32(i)));
}

}  // namespace

// Sixteen points a turn in four independent vectors, then four, then one at
// a time; lane by lane the operations of the baseline version.
[[gnu::target("avx2")]] void add_gram_row_avx2(double* D, double a, const GramRow& g, int n) {
  const double bs = a * g.j;
  const __m256d b = _mm256_set1_pd(bs);
  const auto f = g.first;
  const __m128i first = _mm_setr_epi32(f, f + 1, f + 2, f + 3);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    gram_four(D, b, points_four(first, i), g, i);
    gram_four(D, b, points_four(first, i + 4), g, i + 4);
    gram_four(D, b, points_four(first, i + 8), g, i + 8);
    gram_four(D, b, points_four(first, i + 12), g, i + 12);
  }
  for (; i + 4 <= n; i += 4) gram_four(D, b, points_four(first, i), g, i);
  for (; i < n; ++i) D[i] += bs * (static_cast<double>(f + i) * (g.Tm[i] - g.Tp[i]));
}

[[gnu::target("avx2")]] void add_bump_row_avx2(double* D, double a, const BumpRow& b, int n) {
  const __m256d av = _mm256_set1_pd(a);
  const __m256d jv = _mm256_set1_pd(b.j);
  const auto f = b.first;
  const __m128i first = _mm_setr_epi32(f, f + 1, f + 2, f + 3);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    bump_four(D, av, jv, points_four(first, i), b, i);
    bump_four(D, av, jv, points_four(first, i + 4), b, i + 4);
  }
  for (; i + 4 <= n; i += 4) bump_four(D, av, jv, points_four(first, i), b, i);
  for (; i < n; ++i) {
    const auto x = static_cast<double>(f + i);
    D[i] += a * (x * ((b.j * b.A[i] + b.B[i]) - (b.j * b.Ar[i] + b.Br[i])));
  }
}

}  // namespace yosta::kernels
