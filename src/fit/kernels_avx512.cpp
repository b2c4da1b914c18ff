// The vector passes for AVX-512 (vectors of 16 floats).
#include "fit/kernel_body.h"

namespace yosta::kernels {

[[gnu::target("avx512f")]] void plain_avx512(Source source, bool store, bool undo, const Pass& a) {
  plain_any<16>(source, store, undo, a);
}

[[gnu::target("avx512f")]] void summing_avx512(Source source, int sets, bool copy, const SumPass& a, KeptSums* d) {
  summing_any<16>(source, sets, copy, a, d);
}

}  // namespace yosta::kernels
