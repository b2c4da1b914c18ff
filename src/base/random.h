// The uniform generator of the Monte Carlo walk.
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

}  // namespace yosta
