// The choice of the vector passes by processor, made once.
#include "fit/kernels.h"

namespace yosta {

namespace {

int best_isa() {
  using namespace kernels;
  if (__builtin_cpu_supports("avx512f")) return isa_avx512;
  if (__builtin_cpu_supports("avx2")) return isa_avx2;
  return isa_base;
}

int forced_isa = -1;  // tests: a version to use instead of the best one

inline int isa() {
  static const int best = best_isa();
  return forced_isa >= 0 && forced_isa <= best ? forced_isa : best;
}

}  // namespace

namespace kernels {

void plain_pass(Source source, bool store, bool undo, const Pass& a) {
  if (a.to < a.from) return;
  switch (isa()) {
    case isa_avx512:
      plain_avx512(source, store, undo, a);
      break;
    case isa_avx2:
      plain_avx2(source, store, undo, a);
      break;
    default:
      plain_base(source, store, undo, a);
      break;
  }
}

void summing_pass(Source source, int sets, const SumPass& a, KeptSums* d) {
  if (a.to < a.from) {
    for (int s = 0; s < sets; ++s) d[s] = KeptSums{};
    return;
  }
  // Copies are made in the passes over the copies of F_calc (no resolution),
  // whose parts name F_calc to copy to.
  const bool copy = a.part[0].copy != nullptr;
  switch (isa()) {
    case isa_avx512:
      summing_avx512(source, sets, copy, a, d);
      break;
    case isa_avx2:
      summing_avx2(source, sets, copy, a, d);
      break;
    default:
      summing_base(source, sets, copy, a, d);
      break;
  }
}

namespace {

// The version of a row update for this processor.
template <class F>
F pick(F base, F avx2, F avx512) {
  switch (isa()) {
    case isa_avx512:
      return avx512;
    case isa_avx2:
      return avx2;
    default:
      return base;
  }
}

}  // namespace

RowFn row_version() { return pick<RowFn>(add_row_base, add_row_avx2, add_row_avx512); }
GramRowFn gram_row_version() { return pick<GramRowFn>(add_gram_rows_base, add_gram_rows_avx2, add_gram_rows_avx512); }
BumpRowFn bump_row_version() { return pick<BumpRowFn>(add_bump_row_base, add_bump_row_avx2, add_bump_row_avx512); }

void add_row(double* D, double a, const float* row, int n) { row_version()(D, a, row, n); }
void add_gram_rows(double* Dr, const GramRow* rows, int count, int n) { gram_row_version()(Dr, rows, count, n); }
void add_bump_row(double* D, double a, const BumpRow& b, int n) { bump_row_version()(D, a, b, n); }

}  // namespace kernels

int force_vector_path(int path) {
  forced_isa = path;
  return isa();
}

}  // namespace yosta
