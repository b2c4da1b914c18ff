// The 1-based array: every integer index type reaches the same element as the
// std::array it extends, `{}` clears it, and debug builds stop at an index
// outside 0..N.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>

#include "base/one_based.h"

namespace yosta {
namespace {

constexpr int n = 6;
using A = OneBased<float, n>;

float sum_through_base(const std::array<float, n + 1>& a) { return std::accumulate(a.begin(), a.end(), 0.0f); }

TEST(OneBased, EveryIndexTypeReachesTheSameElement) {
  A a{};
  for (std::size_t i = 0; i < a.size(); ++i) a.std::array<float, n + 1>::operator[](i) = static_cast<float>(10 + i);
  for (int k = 0; k <= n; ++k) {
    const float want = static_cast<float>(10 + k);
    const A& c = a;
    EXPECT_EQ(a[k], want) << k;
    EXPECT_EQ(c[k], want) << k;
    EXPECT_EQ(a[static_cast<std::size_t>(k)], want) << k;
    EXPECT_EQ(a[static_cast<std::int32_t>(k)], want) << k;
    EXPECT_EQ(a[static_cast<long>(k)], want) << k;
    EXPECT_EQ(a[static_cast<unsigned>(k)], want) << k;
    EXPECT_EQ(a[static_cast<std::int16_t>(k)], want) << k;
    EXPECT_EQ(&a[k], a.data() + k) << k;
  }
  a[n] = -1.0f;  // writes go to the same place
  EXPECT_EQ(a.back(), -1.0f);
}

TEST(OneBased, SizeIterationAndBaseViewCoverElementZeroToN) {
  A a{};
  EXPECT_EQ(a.size(), static_cast<std::size_t>(n + 1));
  float v = 1.0f;
  for (float& x : a) x = v++;  // 1..n+1
  EXPECT_EQ(sum_through_base(a), static_cast<float>((n + 1) * (n + 2) / 2));
  float raw[n + 1];
  std::memcpy(raw, a.data(), sizeof raw);
  for (int k = 0; k <= n; ++k) EXPECT_EQ(raw[k], a[k]) << k;
  A b = a;
  EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(A)), 0);
  EXPECT_TRUE(a == b);
  b[3] = 0.0f;
  EXPECT_FALSE(a == b);
}

TEST(OneBased, BracesClearStorageThatHeldGarbage) {
  alignas(A) unsigned char buf[sizeof(A)];
  std::memset(buf, 0xFF, sizeof buf);  // a NaN pattern in every float
  A* a = new (buf) A{};
  for (int k = 0; k <= n; ++k) EXPECT_EQ((*a)[k], 0.0f) << k;
  // Nested, as the per-basis tables are held.
  alignas(std::array<OneBased<double, 3>, 2>) unsigned char buf2[sizeof(std::array<OneBased<double, 3>, 2>)];
  std::memset(buf2, 0xFF, sizeof buf2);
  auto* t = new (buf2) std::array<OneBased<double, 3>, 2>{};
  for (int p = 0; p < 2; ++p)
    for (int k = 0; k <= 3; ++k) EXPECT_EQ((*t)[static_cast<std::size_t>(p)][k], 0.0) << p << ' ' << k;
}

#ifndef NDEBUG
TEST(OneBasedDeathTest, DebugBuildStopsOutsideZeroToN) {
  A a{};
  volatile int below = -1, above = n + 1;
  EXPECT_DEATH(a[below] = 1.0f, "");
  EXPECT_DEATH(a[above] = 1.0f, "");
  EXPECT_DEATH(a[static_cast<std::size_t>(above)] = 1.0f, "");
}
#endif

}  // namespace
}  // namespace yosta
