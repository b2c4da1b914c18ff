#include "base/clock.h"

#include <ctime>

namespace yosta {

namespace {

// Seconds since 1970-01-01 00:00 UTC with the sub-second part.
double epoch_seconds(const timespec& now) {
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1.0e-9;
}

}  // namespace

std::int32_t seed_from_seconds(double seconds_since_midnight) {
  return 2 * static_cast<std::int32_t>(seconds_since_midnight) + 1;
}

double now_minutes() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return epoch_seconds(now) * 0.016666666666666666;
}

// The seed comes from the local time of day (runs started in the same second
// share it); the start time from universal time, so that a change of time zone
// or daylight-saving time during the run does not change the elapsed minutes.
ClockStart start_clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const std::int32_t millisecond = static_cast<std::int32_t>(now.tv_nsec / 1000000);
  const double s = static_cast<double>((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) +
                   static_cast<double>(millisecond) * 0.001;
  return ClockStart{seed_from_seconds(s), epoch_seconds(now) * 0.016666666666666666};
}

}  // namespace yosta
