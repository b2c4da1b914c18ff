#include "base/option_checks.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace yosta {
namespace {

std::string in_quotes(const std::string& text) { return "'" + text + "'"; }

}  // namespace

CLI::Validator whole_number(long long lo, long long hi, const std::string& hidden_name) {
  const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
  const std::string prefix = hidden_name.empty() ? std::string() : hidden_name + ": ";
  return CLI::Validator(
      [lo, hi, range, prefix](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        const long long v = text.empty() ? 0 : std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE)
          return prefix + in_quotes(text) + " is not a whole number";
        if (v < lo || v > hi) return prefix + text + " is not in " + range;
        text = std::to_string(v);
        return {};
      },
      range);
}

CLI::Validator real_number(Sign sign) {
  const char* desc = sign == Sign::positive ? "above 0" : sign == Sign::not_negative ? "0 or above" : "";
  return CLI::Validator(
      [sign](std::string& text) -> std::string {
        std::string plain = text;
        for (char& ch : plain) {
          if (ch == 'D' || ch == 'd') ch = 'E';
        }
        char* end = nullptr;
        const double v = plain.empty() ? 0.0 : std::strtod(plain.c_str(), &end);
        if (plain.empty() || end != plain.c_str() + plain.size()) return in_quotes(text) + " is not a number";
        if (!std::isfinite(v)) return in_quotes(text) + " is not a finite number";
        if (sign == Sign::positive && !(v > 0.0)) return text + " is not above 0";
        if (sign == Sign::not_negative && !(v >= 0.0)) return text + " is below 0";
        char full[32];
        std::snprintf(full, sizeof full, "%.17g", v);
        text = full;
        return {};
      },
      desc);
}

}  // namespace yosta
