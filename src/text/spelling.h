// The spellings of list-directed values, token by token: the separators,
// quoted text, reals in Fortran form (1.5d0, 2.0+3, -.5E-2), whole numbers
// and logicals. Each parse returns false, leaving the value, for a token
// that is no value of its kind. Used by the free-format reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace yosta::text::spelling {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
// QUIRK: a semicolon separates values like a comma, as the traditional
// list-directed reader lets it, so files written that way still read.
inline bool is_comma(char c) { return c == ',' || c == ';'; }
inline bool ends_token(char c) { return is_blank(c) || is_comma(c) || c == '/'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// a and b equal but for the case of ASCII letters.
bool equals_nocase(std::string_view a, std::string_view b);

// The value of a quoted token without its quotes (a doubled quote is one).
std::string unquote(const std::string& token);

// Rewrites a real in Fortran form ("1.5d0", "2.0+3", "-.5E-2", "7") as
// "<mantissa>e<exponent>", or "inf"/"nan" forms; empty when it is no real.
std::string normalise_real(std::string_view t);

// A real beyond the range of float or double reads as an infinity (overflow)
// or a zero (underflow), as the traditional reader has it.
bool parse_float(const std::string& token, float& value);
bool parse_double(const std::string& token, double& value);
bool parse_int(const std::string& token, std::int32_t& value);
// T or F, optionally after a point, with any tail: T, .TRUE., t, .t, Tfoo.
bool parse_logical(const std::string& token, bool& value);

}  // namespace yosta::text::spelling
