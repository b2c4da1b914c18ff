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
// baseline version, so the same bits. (The conversions are the masked forms
// with every lane set: the plain ones start from an undefined vector, which
// g++ 12 takes for an uninitialised read.)

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

// The r points of D[i..i+7] as doubles, converted exactly from integers.
[[gnu::target("avx512f")]] inline __m512d points_eight(__m256i first, int i) {
  return _mm512_maskz_cvtepi32_pd(0xFF, _mm256_add_epi32(first, _mm256_set1_epi32(i)));
}

[[gnu::target("avx512f")]] inline __m256i first_eight(int f) {
  return _mm256_setr_epi32(f, f + 1, f + 2, f + 3, f + 4, f + 5, f + 6, f + 7);
}

// The mask of the last n - i < 8 points.
inline __mmask8 tail(int n, int i) { return static_cast<__mmask8>((1u << (n - i)) - 1u); }

[[gnu::target("avx512f")]] inline void gram_eight(double* __restrict D, const double* __restrict Tm,
                                                  const double* __restrict Tp, __m512d b, __m512d x, __mmask8 m) {
  const __m512d t = _mm512_sub_pd(_mm512_maskz_loadu_pd(m, Tm), _mm512_maskz_loadu_pd(m, Tp));
  _mm512_mask_storeu_pd(D, m, _mm512_add_pd(_mm512_maskz_loadu_pd(m, D), _mm512_mul_pd(b, _mm512_mul_pd(x, t))));
}

struct BumpArrays {
  const double* __restrict A;
  const double* __restrict B;
  const double* __restrict Ar;
  const double* __restrict Br;
};

[[gnu::target("avx512f")]] inline void bump_eight(double* __restrict D, BumpArrays r, int i, __m512d av, __m512d jv,
                                                  __m512d x, __mmask8 m) {
  const __m512d lo = _mm512_add_pd(_mm512_mul_pd(jv, _mm512_maskz_loadu_pd(m, r.A + i)), _mm512_maskz_loadu_pd(m, r.B + i));
  const __m512d hi =
      _mm512_add_pd(_mm512_mul_pd(jv, _mm512_maskz_loadu_pd(m, r.Ar + i)), _mm512_maskz_loadu_pd(m, r.Br + i));
  const __m512d c = _mm512_mul_pd(x, _mm512_sub_pd(lo, hi));
  _mm512_mask_storeu_pd(D + i, m, _mm512_add_pd(_mm512_maskz_loadu_pd(m, D + i), _mm512_mul_pd(av, c)));
}

}  // namespace

// The pointers are copied out of the row (stores to D could otherwise be
// taken to change them); the last points are one masked vector.
[[gnu::target("avx512f")]] void add_gram_row_avx512(double* D, double a, const GramRow& g, int n) {
  const double* __restrict Tm = g.Tm;
  const double* __restrict Tp = g.Tp;
  const __m512d b = _mm512_set1_pd(a * g.j);
  const __m256i first = first_eight(g.first);
  int i = 0;
  for (; i + 8 <= n; i += 8) gram_eight(D + i, Tm + i, Tp + i, b, points_eight(first, i), 0xFF);
  if (i < n) gram_eight(D + i, Tm + i, Tp + i, b, points_eight(first, i), tail(n, i));
}

[[gnu::target("avx512f")]] void add_bump_row_avx512(double* D, double a, const BumpRow& b, int n) {
  const BumpArrays r{b.A, b.B, b.Ar, b.Br};
  const __m512d av = _mm512_set1_pd(a);
  const __m512d jv = _mm512_set1_pd(b.j);
  const __m256i first = first_eight(b.first);
  int i = 0;
  for (; i + 8 <= n; i += 8) bump_eight(D, r, i, av, jv, points_eight(first, i), 0xFF);
  if (i < n) bump_eight(D, r, i, av, jv, points_eight(first, i), tail(n, i));
}

}  // namespace yosta::kernels
