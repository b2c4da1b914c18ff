// Free-format output: one record per line, items separated by one blank.
// Integers are written in full; reals in the shortest form that reads back to
// the same single-precision value (at most 9 significant digits); texts as they
// are. The record carries no leading blank of its own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace yosta::text {

using FreeItem = std::variant<std::int32_t, float, std::string>;

// The record as one line ending in '\n'.
std::string free_record(std::initializer_list<FreeItem> items);

// Appends one item (preceded by a blank unless `line` is empty).
void append_item(std::string& line, std::int32_t value);
void append_item(std::string& line, float value);
void append_item(std::string& line, std::string_view text);

// Shortest text that reads back as exactly `value`.
std::string real_text(float value);

}  // namespace yosta::text
