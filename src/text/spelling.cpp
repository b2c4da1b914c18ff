#include "text/spelling.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace yosta::text::spelling {

bool equals_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string unquote(const std::string& token) {
  char q = token[0];
  std::string s;
  for (std::size_t i = 1; i < token.size(); ++i) {
    if (token[i] == q) {
      if (i + 1 < token.size() && token[i + 1] == q) {
        s += q;
        ++i;
        continue;
      }
      break;
    }
    s += token[i];
  }
  return s;
}

std::string normalise_real(std::string_view t) {
  std::string out;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
  std::string_view rest = t.substr(i);
  if (equals_nocase(rest, "inf") || equals_nocase(rest, "infinity")) return out + "inf";
  if (equals_nocase(rest.substr(0, 3), "nan")) {
    // NaN or NaN(...) with anything between the parentheses
    if (rest.size() == 3 || (rest.size() >= 5 && rest[3] == '(' && rest.back() == ')')) return out + "nan";
    return {};
  }
  bool digits = false;
  while (i < t.size() && is_digit(t[i])) {
    out += t[i++];
    digits = true;
  }
  if (i < t.size() && t[i] == '.') {
    out += t[i++];
    while (i < t.size() && is_digit(t[i])) {
      out += t[i++];
      digits = true;
    }
  }
  if (!digits) return {};
  if (i == t.size()) return out;
  char c = lower(t[i]);
  if (c == 'e' || c == 'd' || c == 'q') {
    ++i;
  } else if (c != '+' && c != '-') {
    return {};
  }
  out += 'e';
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
  bool exp_digits = false;
  while (i < t.size() && is_digit(t[i])) {
    out += t[i++];
    exp_digits = true;
  }
  if (!exp_digits || i != t.size()) return {};
  return out;
}

namespace {

// from_chars does not take a leading '+'.
std::string_view strip_plus(const std::string& s) {
  std::string_view v(s);
  if (!v.empty() && v[0] == '+') v.remove_prefix(1);
  return v;
}

}  // namespace

bool parse_float(const std::string& token, float& value) {
  std::string s = normalise_real(token);
  if (s.empty()) return false;
  std::string_view v = strip_plus(s);
  float f = 0.0f;
  auto r = std::from_chars(v.data(), v.data() + v.size(), f);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the single-precision range: overflow gives an infinity and
    // underflow a zero, as the traditional reader does.
    double x = std::strtod(s.c_str(), nullptr);
    bool negative = s[0] == '-';
    if (std::fabs(x) >= 1.0) {
      f = negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    } else {
      f = negative ? -0.0f : 0.0f;
    }
  } else if (r.ec != std::errc() || r.ptr != v.data() + v.size()) {
    return false;
  }
  value = f;
  return true;
}

bool parse_double(const std::string& token, double& value) {
  std::string s = normalise_real(token);
  if (s.empty()) return false;
  std::string_view v = strip_plus(s);
  double x = 0.0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), x);
  if (r.ec == std::errc::result_out_of_range) {
    x = std::strtod(s.c_str(), nullptr);  // infinity or a zero
  } else if (r.ec != std::errc() || r.ptr != v.data() + v.size()) {
    return false;
  }
  value = x;
  return true;
}

bool parse_int(const std::string& token, std::int32_t& value) {
  std::string_view v(token);
  if (!v.empty() && v[0] == '+') {
    v.remove_prefix(1);
    if (!v.empty() && v[0] == '-') return false;
  }
  if (v.empty() || v[0] == '+') return false;
  std::int32_t n = 0;
  auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return false;
  value = n;
  return true;
}

bool parse_logical(const std::string& token, bool& value) {
  std::size_t i = token[0] == '.' ? 1 : 0;
  if (i >= token.size()) return false;
  char c = lower(token[i]);
  if (c != 't' && c != 'f') return false;
  value = c == 't';
  return true;
}

}  // namespace yosta::text::spelling
