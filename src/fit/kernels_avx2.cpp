// The vector passes for AVX2 (vectors of 8 floats).
#include "fit/kernel_body.h"

namespace yosta::kernels {

[[gnu::target("avx2")]] void plain_avx2(Source source, bool store, bool undo, const Pass& a) {
  plain_any<8>(source, store, undo, a);
}

[[gnu::target("avx2")]] void summing_avx2(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  summing_any<8>(source, sets, copy, a, d);
}

}  // namespace yosta::kernels
