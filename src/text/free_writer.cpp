// Free-format records: items separated by one blank, reals in the shortest
// text that the free-format reader turns back into the same float.
#include "text/free_writer.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace yosta::text {

std::string real_text(float value) {
  // Shortest round-trip form: "0.1", "20", "1e-45", "-0", "inf", "nan"; the
  // reader takes every one of them back.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
  // A large whole number comes out in fixed form with all the digits of its
  // exact value ("934230622208"); keep to 9 significant digits instead.
  if (text.find_first_of(".e") == std::string_view::npos && text.size() - (value < 0.0f ? 1 : 0) > 9) {
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    text = std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
  }
  return std::string(text);
}

void append_item(std::string& line, std::int32_t value) {
  if (!line.empty()) line += ' ';
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  line.append(buf, r.ptr);
}

void append_item(std::string& line, float value) {
  if (!line.empty()) line += ' ';
  line += real_text(value);
}

void append_item(std::string& line, std::string_view text) {
  if (!line.empty()) line += ' ';
  line += text;
}

std::string free_record(std::initializer_list<FreeItem> items) {
  std::string line;
  for (const FreeItem& item : items) {
    if (const auto* i = std::get_if<std::int32_t>(&item)) {
      append_item(line, *i);
    } else if (const auto* f = std::get_if<float>(&item)) {
      append_item(line, *f);
    } else {
      append_item(line, std::string_view(std::get<std::string>(item)));
    }
  }
  line += '\n';
  return line;
}

}  // namespace yosta::text
