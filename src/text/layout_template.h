// The parsed form of a Fortran-style layout template: a list of items (literals,
// blanks, line ends, data fields and repeat groups), as the layout writer walks it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace yosta::text {

enum class Kind { Literal, Blanks, Slash, Int, Fixed, General, Exp, Text, Logical, Group };

struct Item {
  Kind kind = Kind::Literal;
  int repeat = 1;           // group, field or slash count; blanks for nX
  int w = -1;               // field width; -1 when the template gives none
  int d = 0;                // decimals or significant digits
  std::string text;         // a literal
  std::vector<Item> items;  // a group's contents
};

// The items of `tmpl`, which must be one parenthesised list. Throws
// std::invalid_argument naming the template and the fault for anything outside
// the supported descriptors.
std::vector<Item> parse_layout(std::string_view tmpl);

}  // namespace yosta::text
