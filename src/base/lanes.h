// Vector lanes (GCC/Clang vector extension): elementwise operations on them
// are the scalar IEEE operations lane by lane, so a pass over lanes gives, lane
// for lane, the results of the scalar loop it replaces. Loads and stores go
// through memcpy: unaligned access, no aliasing assumption.
#pragma once

#include <cstring>

namespace yosta::lanes {

typedef float v4f __attribute__((vector_size(16), aligned(4)));
typedef float v2f __attribute__((vector_size(8), aligned(4)));
typedef double v2d __attribute__((vector_size(16), aligned(8)));
typedef double v4d __attribute__((vector_size(32)));  // on its natural boundary (held in containers)

template <class V, class T>
[[gnu::always_inline]] inline V load(const T* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V, class T>
[[gnu::always_inline]] inline void store(T* p, V v) {
  std::memcpy(p, &v, sizeof v);
}
// The vector passes over Q points: vectors of W floats (four with SSE, eight
// with AVX2, sixteen with AVX-512) and of W/2 doubles, on any boundary.
template <int W>
struct Width {
  typedef float F __attribute__((vector_size(4 * W)));   // W floats
  typedef double D __attribute__((vector_size(4 * W)));  // W/2 doubles
};

// Two floats widened to two doubles (exact).
[[gnu::always_inline]] inline v2d widen(const float* p) { return __builtin_convertvector(load<v2f>(p), v2d); }

}  // namespace yosta::lanes
