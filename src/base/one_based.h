// A fixed array indexed from 1 as the method's formulas are: OneBased<T, N>
// holds elements 0..N (element 0 is unused by most callers, but it is there
// and may be used). It is a std::array<T, N + 1> with one addition: operator[]
// takes any integer type, so `a[k]` with an int k needs no cast. Size, layout
// and alignment are those of the std::array (vector passes and memcpy/memcmp
// on data() rely on that), `{}` zero-initialises it as an aggregate, and it
// converts to a reference to its std::array wherever one is expected.
// Debug builds check the index range; release builds index directly.
#pragma once

#include <array>
#include <cassert>
#include <concepts>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace yosta {

template <class T, int N>
struct OneBased : std::array<T, static_cast<std::size_t>(N) + 1> {
  static_assert(N >= 0, "a 1-based array holds at least element 0");
  using Base = std::array<T, static_cast<std::size_t>(N) + 1>;

  template <std::integral I>
  [[gnu::always_inline]] constexpr T& operator[](I i) noexcept {
    assert(std::cmp_greater_equal(i, 0) && std::cmp_less_equal(i, N));
    return Base::operator[](static_cast<std::size_t>(i));
  }
  template <std::integral I>
  [[gnu::always_inline]] constexpr const T& operator[](I i) const noexcept {
    assert(std::cmp_greater_equal(i, 0) && std::cmp_less_equal(i, N));
    return Base::operator[](static_cast<std::size_t>(i));
  }
};

// Same storage as the std::array it extends: nothing added, nothing moved.
static_assert(sizeof(OneBased<float, 7>) == sizeof(std::array<float, 8>));
static_assert(alignof(OneBased<double, 3>) == alignof(std::array<double, 4>));
static_assert(std::is_standard_layout_v<OneBased<float, 7>> && std::is_trivially_copyable_v<OneBased<float, 7>>);
static_assert(std::is_aggregate_v<OneBased<float, 7>>);

}  // namespace yosta
