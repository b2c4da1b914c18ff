// The uniform generator of the Monte Carlo walk and the run clock.
//
// next_random: multiplicative congruential generator, multiplier 48271 and
// modulus 2^31-1, computed without overflow by Schrage's method. The state is
// one 32-bit integer; the result is state * 2^-31 in double precision, strictly
// between 0 and 1 (never rounded to float, which could give 1.0).
#pragma once

#include <cstdint>

namespace yosta {

inline double next_random(std::int32_t& seed) {
  if (seed <= 0) seed += 2147483647;
  const std::int32_t hi = seed / 44488;
  const std::int32_t lo = seed - 44488 * hi;
  seed = 48271 * lo - 3399 * hi;
  if (seed <= 0) seed += 2147483647;
  return static_cast<double>(seed) * static_cast<double>(4.656612873077393e-10f);
}

struct ClockStart {
  std::int32_t seed;   // odd, 1..172799: from the seconds since local midnight
  double start_time;   // minutes since 1970-01-01 00:00 UTC
};

// Seed from local time of day, start time from universal time.
ClockStart start_clock();
// Seed for a given local time of day (seconds since midnight, with fraction).
std::int32_t seed_from_seconds(double seconds_since_midnight);
// Minutes since 1970-01-01 00:00 UTC, with sub-second resolution.
double now_minutes();

// The clock the save check reads after every move; tests put their own
// function in to drive the schedule.
struct RunClock {
  double start_time = 0.0;  // minutes, as now() counts them
  double (*now)(const void* context) = [](const void*) { return now_minutes(); };
  const void* context = nullptr;
  double elapsed_minutes() const { return now(context) - start_time; }
};

}  // namespace yosta
