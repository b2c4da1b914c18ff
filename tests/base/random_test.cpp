// The generator's standard sequence and the clock-made seed.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "base/random.h"
#include "base/clock.h"

namespace yosta {
namespace {

TEST(NextRandom, StandardSequenceFromSeedOne) {
  std::int32_t seed = 1;
  const std::int32_t expected[] = {48271, 182605794, 1291394886, 1914720637, 2078669041};
  for (std::int32_t state : expected) {
    const double u = next_random(seed);
    EXPECT_EQ(seed, state);
    EXPECT_EQ(u, static_cast<double>(state) / 2147483648.0);
  }
  for (int i = 6; i <= 10000; ++i) next_random(seed);
  EXPECT_EQ(seed, 399268537);
}

TEST(NextRandom, StaysStrictlyInsideTheUnitInterval) {
  // 247665088 is followed by the largest state, 2^31 - 2: as a float its value
  // would round to 1.0 and an index to n + 1, so it must stay a double.
  std::int32_t seed = 247665088;
  const double u = next_random(seed);
  EXPECT_EQ(seed, 2147483646);
  EXPECT_LT(u, 1.0);
  EXPECT_EQ(static_cast<float>(u), 1.0f);
  EXPECT_EQ(static_cast<int>(u * 6) + 1, 6);
  // A negative state is moved into range first.
  seed = -5;
  const double v = next_random(seed);
  EXPECT_GT(v, 0.0);
  EXPECT_LT(v, 1.0);
}

TEST(Seed, FromTheSecondsSinceLocalMidnight) {
  EXPECT_EQ(seed_from_seconds(0.5), 1);
  EXPECT_EQ(seed_from_seconds(0.0), 1);
  EXPECT_EQ(seed_from_seconds(1.999), 3);
  EXPECT_EQ(seed_from_seconds(((23 * 60) + 59) * 60 + 59 + 0.999), 172799);
}

TEST(Clock, MinutesSinceTheEpochInUniversalTime) {
  const double before = static_cast<double>(std::time(nullptr)) / 60.0;
  const double now = now_minutes();
  const double after = static_cast<double>(std::time(nullptr) + 1) / 60.0;
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
}

// The run clock reads the time through its function, so a test (or a
// replayed run) drives the elapsed minutes exactly, negative ones included.
TEST(Clock, ElapsedMinutesComeFromTheInjectedClock) {
  double t = 100.0;
  RunClock clock;
  clock.start_time = 40.0;
  clock.context = &t;
  clock.now = [](const void* c) { return *static_cast<const double*>(c); };
  EXPECT_EQ(clock.elapsed_minutes(), 60.0);
  t = 10.0;  // the clock was set back
  EXPECT_EQ(clock.elapsed_minutes(), -30.0);
}

}  // namespace
}  // namespace yosta
