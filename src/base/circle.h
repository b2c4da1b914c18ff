// The circle constant, in one place. The model's single-precision tables use
// the values they have always used (2 pi as 6.283185f, 4 pi as 12.56637f and
// 1/(4 pi) as 0.07957747f, not always the nearest floats): a change of a last
// bit here would change every walk. Tools and fitted sums use double.
#pragma once

namespace yosta {

inline constexpr float two_pi_f = 6.283185f;
inline constexpr float pi_f = two_pi_f * 0.5f;
inline constexpr float four_pi_f = 12.56637f;
inline constexpr float one_over_four_pi_f = 0.07957747f;

inline constexpr double pi = 3.14159265358979323846;
inline constexpr double half_pi = pi / 2.0;  // exact halving and doubling
inline constexpr double two_pi = 2.0 * pi;
inline constexpr double four_pi = 4.0 * pi;

static_assert(half_pi == 1.5707963267948966 && two_pi == 6.283185307179586 && four_pi == 12.566370614359172);

}  // namespace yosta
