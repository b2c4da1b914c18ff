#include "text/number_fields.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace yosta::text::fields {

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

std::string right_in(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

namespace {

// NaN and infinities: "NaN", "Inf" or "Infinity", signed when negative.
std::string inf_nan(bool is_nan, bool negative, int w) {
  if (w < 3) return stars(w);
  std::string s(static_cast<std::size_t>(w), ' ');
  if (is_nan) {
    s.replace(static_cast<std::size_t>(w - 3), 3, "NaN");
    return s;
  }
  if (negative && w == 3) return stars(w);
  int mark = negative ? 8 : 7;
  if (w > mark) {
    s.replace(static_cast<std::size_t>(w - 8), 8, "Infinity");
  } else {
    s.replace(static_cast<std::size_t>(w - 3), 3, "Inf");
  }
  if (negative) s[static_cast<std::size_t>(w > 8 ? w - 9 : w - 4)] = '-';
  return s;
}

// Assembles sign, optional leading zero and body into w columns. The leading
// zero of a value below one is written only when the field has room for it.
std::string fit_real(bool negative, bool int_zero, const std::string& body, int w) {
  int need = static_cast<int>(body.size()) + (negative ? 1 : 0);
  if (need > w) return stars(w);
  std::string s;
  if (int_zero && need < w) {
    s = "0" + body;
    ++need;
  } else {
    s = body;
  }
  if (negative) s = "-" + s;
  return std::string(static_cast<std::size_t>(w - need), ' ') + s;
}

// Fw.d of a finite magnitude m >= 0, rounded from its exact binary value.
std::string fixed_form(double m, bool negative, int w, int d) {
  std::vector<char> buf(static_cast<std::size_t>(d) + 320);
  std::snprintf(buf.data(), buf.size(), "%#.*f", d, m);
  std::string digits(buf.data());
  std::size_t point = digits.find('.');
  std::string int_part = digits.substr(0, point);
  std::string body = digits.substr(point);  // ".ddd"
  bool int_zero = int_part == "0";
  if (!int_zero) body = int_part + body;
  return fit_real(negative, int_zero, body, w);
}

// Ew.d of a finite magnitude m >= 0: 0.ddddE+xx.
std::string exp_form(double m, bool negative, int w, int d) {
  if (d < 1) return stars(w);
  std::string digits;
  int exponent = 0;
  if (m == 0.0) {
    digits.assign(static_cast<std::size_t>(d), '0');
  } else {
    std::vector<char> buf(static_cast<std::size_t>(d) + 32);
    std::snprintf(buf.data(), buf.size(), "%.*e", d - 1, m);
    std::string s(buf.data());
    std::size_t e = s.find('e');
    for (std::size_t i = 0; i < e; ++i) {
      if (s[i] != '.') digits += s[i];
    }
    exponent = std::stoi(s.substr(e + 1)) + 1;
  }
  int mag = exponent < 0 ? -exponent : exponent;
  char ebuf[16];
  if (mag <= 99) {
    std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', mag);
  } else if (mag <= 999) {
    std::snprintf(ebuf, sizeof ebuf, "%c%03d", exponent < 0 ? '-' : '+', mag);
  } else {
    return stars(w);
  }
  return fit_real(negative, true, "." + digits + ebuf, w);
}

template <class T>
T power_of_ten(int n) {
  T r = 1;
  for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10;
  return n >= 0 ? r : T(1) / r;
}

// Gw.d: fixed form with d significant digits and four trailing blanks when the
// rounded magnitude lies in [0.1, 10^d), otherwise Ew.d. The decade tests are
// done in the precision of the value itself, as the reference runtime does, so
// that values on a rounding boundary take the same form.
template <class T>
std::string general_form(T v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  T m = negative ? -v : v;
  if (d == 0) return exp_form(static_cast<double>(m), negative, w, d);
  int npad = 4 >= w ? w - 1 : 4;
  if (m == 0) {
    return fixed_form(0.0, negative, w - npad, d - 1) + std::string(static_cast<std::size_t>(npad), ' ');
  }
  const T r = T(0.5);
  const T exp_d = power_of_ten<T>(d);
  const T r_sc = T(1) - r / exp_d;
  // The lower edge 0.1 r_sc is formed in double precision and then rounded.
  volatile T temp = static_cast<T>(0.1 * static_cast<double>(r_sc));
  if (m < temp || r >= static_cast<T>(exp_d - m)) {
    return exp_form(static_cast<double>(m), negative, w, d);
  }
  // Binary search for the decade: mid - 1 digits before the point.
  int low = 0, high = d + 1, lbound = 0, ubound = d + 1, mid = 0;
  while (low <= high) {
    mid = (low + high) / 2;
    temp = power_of_ten<T>(mid - 1) * r_sc;
    if (m < temp) {
      ubound = mid;
      if (ubound == lbound + 1) break;
      high = mid - 1;
    } else if (m > temp) {
      lbound = mid;
      if (ubound == lbound + 1) {
        ++mid;
        break;
      }
      low = mid + 1;
    } else {
      ++mid;
      break;
    }
  }
  return fixed_form(static_cast<double>(m), negative, w - npad, d + 1 - mid) +
         std::string(static_cast<std::size_t>(npad), ' ');
}

}  // namespace

std::string fixed_value(double v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  return fixed_form(negative ? -v : v, negative, w, d);
}

std::string exp_value(double v, int w, int d) {
  if (!std::isfinite(v)) return inf_nan(std::isnan(v), std::signbit(v), w);
  bool negative = std::signbit(v);
  return exp_form(negative ? -v : v, negative, w, d);
}

std::string general_value(float v, int w, int d) { return general_form<float>(v, w, d); }

std::string general_value(double v, int w, int d) { return general_form<double>(v, w, d); }

}  // namespace yosta::text::fields
