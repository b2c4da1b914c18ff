// The run clock: the seed a plain run starts from, and the minutes elapsed.
#pragma once

#include <cstdint>

namespace yosta {

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
