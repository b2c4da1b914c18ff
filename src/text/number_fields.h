// Single fields of the fixed layouts, formatted as the traditional
// formatted-output runtime does, digit for digit: a field too narrow for its
// value is filled with asterisks; NaN and infinities are written as "NaN",
// "Inf" or "Infinity".
#pragma once

#include <string>

namespace yosta::text::fields {

// w asterisks (none for w <= 0).
std::string stars(int w);
// `s` right-aligned in w columns, or asterisks when it is wider.
std::string right_in(const std::string& s, int w);
// Fw.d and Ew.d of a double.
std::string fixed_value(double v, int w, int d);
std::string exp_value(double v, int w, int d);
// Gw.d: the decade of the value is found in its own precision, so a float and
// the double of the same value may take different forms on a rounding boundary.
std::string general_value(float v, int w, int d);
std::string general_value(double v, int w, int d);

}  // namespace yosta::text::fields
