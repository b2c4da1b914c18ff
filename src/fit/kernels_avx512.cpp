// The vector passes for AVX-512 (vectors of 16 floats).
#include <immintrin.h>

#include "fit/kernel_body.h"

namespace yosta::kernels {

[[gnu::target("avx512f")]] void plain_avx512(Source source, bool store, bool undo, const Pass& a) {
  plain_any<16>(source, store, undo, a);
}

[[gnu::target("avx512f")]] void summing_avx512(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  summing_any<16>(source, sets, copy, a, d);
}

// The row updates, eight doubles a vector: lane by lane the operations of the
// baseline version, so the same bits. (The widening is the masked form with
// every lane set: the plain one starts from an undefined vector, which g++ 12
// takes for an uninitialised read.)

[[gnu::target("avx512f")]] void add_row_avx512(double* D, double a, const float* row, int n) {
  const __m512d av = _mm512_set1_pd(a);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512d r0 = _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(row + i));
    const __m512d r1 = _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(row + i + 8));
    _mm512_storeu_pd(D + i, _mm512_add_pd(_mm512_loadu_pd(D + i), _mm512_mul_pd(av, r0)));
    _mm512_storeu_pd(D + i + 8, _mm512_add_pd(_mm512_loadu_pd(D + i + 8), _mm512_mul_pd(av, r1)));
  }
  for (; i < n; ++i) D[i] += a * static_cast<double>(row[i]);
}

namespace {

[[gnu::target("avx512f")]] inline __m512d widen(const float* x) {
  return _mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(x));
}

[[gnu::target("avx512f")]] inline __m512d gram_eight(__m512d d, const GramRow& g, int i) {
  const __m512d t = _mm512_sub_pd(widen(g.Tm + i), widen(g.Tp + i));
  return _mm512_add_pd(d, _mm512_mul_pd(_mm512_set1_pd(g.b), t));
}

struct BumpArrays {
  const float* __restrict A;
  const float* __restrict B;
  const float* __restrict Ar;
  const float* __restrict Br;
};

[[gnu::target("avx512f")]] inline void bump_eight(double* __restrict Dr, BumpArrays r, int i, __m512d av, __m512d jv) {
  const __m512d lo = _mm512_add_pd(_mm512_mul_pd(jv, widen(r.A + i)), widen(r.B + i));
  const __m512d hi = _mm512_add_pd(_mm512_mul_pd(jv, widen(r.Ar + i)), widen(r.Br + i));
  _mm512_storeu_pd(Dr + i, _mm512_add_pd(_mm512_loadu_pd(Dr + i), _mm512_mul_pd(av, _mm512_sub_pd(lo, hi))));
}

}  // namespace

// Sixteen points a turn in two vectors, then eight, then one at a time,
// each vector of D read once and written once for all the rows.
[[gnu::target("avx512f")]] void add_gram_rows_avx512(double* Dr, const GramRow* given, int count, int n) {
  int i = 0;
  if (count == 1) {
    // One row on its own, without the loop over rows; its fields copied out
    // (stores to Dr could otherwise be taken to change them).
    const GramRow row = given[0];
    for (; i + 16 <= n; i += 16) {
      _mm512_storeu_pd(Dr + i, gram_eight(_mm512_loadu_pd(Dr + i), row, i));
      _mm512_storeu_pd(Dr + i + 8, gram_eight(_mm512_loadu_pd(Dr + i + 8), row, i + 8));
    }
    for (; i + 8 <= n; i += 8) _mm512_storeu_pd(Dr + i, gram_eight(_mm512_loadu_pd(Dr + i), row, i));
    add_gram_rows_from(Dr, &row, 1, i, n);
    return;
  }
  const GramRow* rows = given;
  for (; i + 16 <= n; i += 16) {
    __m512d d0 = _mm512_loadu_pd(Dr + i);
    __m512d d1 = _mm512_loadu_pd(Dr + i + 8);
    for (int r = 0; r < count; ++r) {
      d0 = gram_eight(d0, rows[r], i);
      d1 = gram_eight(d1, rows[r], i + 8);
    }
    _mm512_storeu_pd(Dr + i, d0);
    _mm512_storeu_pd(Dr + i + 8, d1);
  }
  for (; i + 8 <= n; i += 8) {
    __m512d d = _mm512_loadu_pd(Dr + i);
    for (int r = 0; r < count; ++r) d = gram_eight(d, rows[r], i);
    _mm512_storeu_pd(Dr + i, d);
  }
  add_gram_rows_from(Dr, rows, count, i, n);
}

[[gnu::target("avx512f")]] void add_bump_row_avx512(double* Dr, double a, const BumpRow& b, int n) {
  const BumpArrays r{b.A, b.B, b.Ar, b.Br};
  const __m512d av = _mm512_set1_pd(a);
  const __m512d jv = _mm512_set1_pd(b.j);
  int i = 0;
  for (; i + 8 <= n; i += 8) bump_eight(Dr, r, i, av, jv);
  for (; i < n; ++i) {
    const double lo = b.j * static_cast<double>(r.A[i]) + static_cast<double>(r.B[i]);
    const double hi = b.j * static_cast<double>(r.Ar[i]) + static_cast<double>(r.Br[i]);
    Dr[i] += a * (lo - hi);
  }
}

}  // namespace yosta::kernels
