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

[[gnu::target("avx2")]] inline __m256d widen(const float* x) { return _mm256_cvtps_pd(_mm_loadu_ps(x)); }

[[gnu::target("avx2")]] inline __m256d gram_four(__m256d d, const GramRow& g, int i) {
  const __m256d t = _mm256_sub_pd(widen(g.Tm + i), widen(g.Tp + i));
  return _mm256_add_pd(d, _mm256_mul_pd(_mm256_set1_pd(g.b), t));
}

struct BumpArrays {
  const float* __restrict A;
  const float* __restrict B;
  const float* __restrict Ar;
  const float* __restrict Br;
};

[[gnu::target("avx2")]] inline void bump_four(double* __restrict Dr, BumpArrays r, int i, __m256d av, __m256d jv) {
  const __m256d lo = _mm256_add_pd(_mm256_mul_pd(jv, widen(r.A + i)), widen(r.B + i));
  const __m256d hi = _mm256_add_pd(_mm256_mul_pd(jv, widen(r.Ar + i)), widen(r.Br + i));
  _mm256_storeu_pd(Dr + i, _mm256_add_pd(_mm256_loadu_pd(Dr + i), _mm256_mul_pd(av, _mm256_sub_pd(lo, hi))));
}

}  // namespace

// Sixteen points a turn in four vectors, then four, then one at a time; lane
// by lane the operations of the baseline version, each vector of D read once
// and written once for all the rows.
[[gnu::target("avx2")]] void add_gram_rows_avx2(double* Dr, const GramRow* given, int count, int n) {
  int i = 0;
  if (count == 1) {
    // One row on its own, without the loop over rows; its fields copied out
    // (stores to Dr could otherwise be taken to change them).
    const GramRow row = given[0];
    for (; i + 16 <= n; i += 16) {
      for (int v = 0; v < 4; ++v)
        _mm256_storeu_pd(Dr + i + 4 * v, gram_four(_mm256_loadu_pd(Dr + i + 4 * v), row, i + 4 * v));
    }
    for (; i + 4 <= n; i += 4) _mm256_storeu_pd(Dr + i, gram_four(_mm256_loadu_pd(Dr + i), row, i));
    add_gram_rows_from(Dr, &row, 1, i, n);
    return;
  }
  const GramRow* rows = given;
  for (; i + 16 <= n; i += 16) {
    __m256d d[4];
    for (int v = 0; v < 4; ++v) d[v] = _mm256_loadu_pd(Dr + i + 4 * v);
    for (int r = 0; r < count; ++r) {
      for (int v = 0; v < 4; ++v) d[v] = gram_four(d[v], rows[r], i + 4 * v);
    }
    for (int v = 0; v < 4; ++v) _mm256_storeu_pd(Dr + i + 4 * v, d[v]);
  }
  for (; i + 4 <= n; i += 4) {
    __m256d d = _mm256_loadu_pd(Dr + i);
    for (int r = 0; r < count; ++r) d = gram_four(d, rows[r], i);
    _mm256_storeu_pd(Dr + i, d);
  }
  add_gram_rows_from(Dr, rows, count, i, n);
}

[[gnu::target("avx2")]] void add_bump_row_avx2(double* Dr, double a, const BumpRow& b, int n) {
  const BumpArrays r{b.A, b.B, b.Ar, b.Br};
  const __m256d av = _mm256_set1_pd(a);
  const __m256d jv = _mm256_set1_pd(b.j);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    bump_four(Dr, r, i, av, jv);
    bump_four(Dr, r, i + 4, av, jv);
  }
  for (; i + 4 <= n; i += 4) bump_four(Dr, r, i, av, jv);
  for (; i < n; ++i) {
    const double lo = b.j * static_cast<double>(r.A[i]) + static_cast<double>(r.B[i]);
    const double hi = b.j * static_cast<double>(r.Ar[i]) + static_cast<double>(r.Br[i]);
    Dr[i] += a * (lo - hi);
  }
}

}  // namespace yosta::kernels
