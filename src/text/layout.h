// Fixed-layout text from Fortran-style layout templates, used as they stand:
//   layout("(/,' Using ',I5,' r points spaced at ',F5.3,'A')", {nr, dr})
// Supported edit descriptors: In, Fw.d, Gw.d, Ew.d, nX, A, Aw, Lw, quoted
// literals ('' prints one quote), slashes (leading, inner, trailing), repeat
// groups k(...) and repeated fields kFw.d. A field too narrow for its value is
// filled with asterisks. When the values run out, the line ends at the first
// field left without a value; nothing after it (a closing slash included) is
// written. The result holds every written line, each ended by '\n'.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace yosta::text {

// One value for a layout field. Reals keep their precision: a float is
// formatted as a single-precision value, a double as a double.
using Value = std::variant<std::int32_t, float, double, bool, std::string>;

std::string layout(std::string_view tmpl, std::span<const Value> values);
std::string layout(std::string_view tmpl, std::initializer_list<Value> values = {});

// Single fields, for callers that need one piece.
std::string format_I(std::int32_t value, int w);
std::string format_F(double value, int w, int d);
std::string format_G(double value, int w, int d);

}  // namespace yosta::text
