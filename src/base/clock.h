// The run clock: the seed a plain run starts from, and the minutes elapsed.
#pragma once

#include <cstdint>

namespace yosta {

struct ClockStart {
  std::int32_t seed;  // odd, 1..2147483645: time of day, process id and more mixed
  double start_time;  // minutes since 1970-01-01 00:00 UTC
};

// Seed from local time of day mixed with the process id and the fine part of
// a monotonic clock (so that runs started in the same second differ), start
// time from universal time.
ClockStart start_clock();
// Seed for a given local time of day (seconds since midnight, with fraction).
std::int32_t seed_from_seconds(double seconds_since_midnight);
// The seed of a plain run: the time-of-day seed mixed with the process id and
// a further value, always odd and within 1..2147483645 (the generator's range).
std::int32_t mixed_seed(std::int32_t time_seed, std::int64_t process_id, std::uint64_t extra);
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
