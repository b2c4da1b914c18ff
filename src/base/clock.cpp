#include "base/clock.h"

#include <unistd.h>

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

// splitmix64 finaliser: every input bit reaches every output bit.
std::uint64_t mix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

std::int32_t mixed_seed(std::int32_t time_seed, std::int64_t process_id, std::uint64_t extra) {
  std::uint64_t h = mix64(static_cast<std::uint64_t>(static_cast<std::uint32_t>(time_seed)));
  h = mix64(h ^ static_cast<std::uint64_t>(process_id));
  h = mix64(h ^ extra);
  // Odd values 1, 3, ..., 2147483645: never 0 and never the modulus.
  return static_cast<std::int32_t>(2 * (h % 1073741823ULL) + 1);
}

double now_minutes() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return epoch_seconds(now) * 0.016666666666666666;
}

// The seed comes from the local time of day, mixed with the process id and the
// nanoseconds of the monotonic clock, so that runs started in the same second
// (a job array, a shell loop) walk differently; the start time from universal time, so that a change of time zone
// or daylight-saving time during the run does not change the elapsed minutes.
ClockStart start_clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const std::int32_t millisecond = static_cast<std::int32_t>(now.tv_nsec / 1000000);
  const double s = static_cast<double>((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) +
                   static_cast<double>(millisecond) * 0.001;
  timespec fine{};
  clock_gettime(CLOCK_MONOTONIC, &fine);
  const std::uint64_t extra = static_cast<std::uint64_t>(fine.tv_nsec) ^
                              (static_cast<std::uint64_t>(fine.tv_sec) << 32) ^ static_cast<std::uint64_t>(now.tv_nsec);
  return ClockStart{mixed_seed(seed_from_seconds(s), static_cast<std::int64_t>(getpid()), extra),
                    epoch_seconds(now) * 0.016666666666666666};
}

}  // namespace yosta
