#include "tools/columns.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/files.h"
#include "base/stop.h"

namespace yosta::tools {
namespace {

constexpr std::string_view item_separators = " \t,\r";

std::vector<std::string> tokens(std::string_view line) { return split(line, item_separators); }

// The items of a line, where they lie in it, into `items` (cleared first).
void items_of(std::string_view line, std::vector<std::string_view>& items) {
  items.clear();
  std::size_t at = line.find_first_not_of(item_separators);
  while (at != std::string_view::npos) {
    const std::size_t end = line.find_first_of(item_separators, at);
    items.push_back(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = line.find_first_not_of(item_separators, end);
  }
}

// A number written in full (Fortran D exponents accepted), or false.
bool to_number(std::string text, double& value) {
  for (char& ch : text) {
    if (ch == 'D' || ch == 'd') ch = 'E';
  }
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  value = v;
  return true;
}

// The same for an item where it lies: a plain decimal (nearly every item of
// a large file) is read in place; every other spelling goes the long way, so
// that both give the same value for every item.
bool item_number(std::string_view item, double& value) {
  const char* const end = item.data() + item.size();
  double v = 0.0;
  const auto read = std::from_chars(item.data(), end, v);
  if (read.ec == std::errc() && read.ptr == end) {
    value = v;
    return true;
  }
  return to_number(std::string(item), value);
}

bool is_integer(const std::string& text) {
  if (text.empty()) return false;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
  }
  return true;
}

[[noreturn]] void bad_item(const std::string& path, int line, std::size_t column, const std::string& text,
                           const std::string& why) {
  throw Stop(path + ", line " + std::to_string(line) + ", column " + std::to_string(column) + ": '" + text + "' " +
             why);
}

}  // namespace

std::vector<std::string> split(std::string_view text, std::string_view separators) {
  std::vector<std::string> out;
  std::string item;
  for (char ch : text) {
    if (separators.find(ch) != std::string_view::npos) {
      if (!item.empty()) out.push_back(item);
      item.clear();
    } else {
      item += ch;
    }
  }
  if (!item.empty()) out.push_back(item);
  return out;
}

std::string format(const char* fmt, ...) {
  char buffer[512];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  if (n < 0) return "";
  if (static_cast<std::size_t>(n) < sizeof buffer) return buffer;
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  va_start(args, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, args);
  va_end(args);
  big.resize(static_cast<std::size_t>(n));
  return big;
}

double parse_number(std::string_view text, std::string_view what, std::string_view where) {
  double value = 0.0;
  if (!to_number(std::string(text), value) || !std::isfinite(value)) {
    throw Stop(std::string(where) + ": " + std::string(what) + " must be a finite number, not '" + std::string(text) +
               "'");
  }
  return value;
}

Table read_table(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    // A folder opens like a file here and would read as one without numbers.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec))
      if (entry.is_regular_file(ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string listed;
    for (std::size_t i = 0; i < names.size() && i < 4; ++i) listed += (i ? ", " : "") + names[i];
    if (names.size() > 4) listed += ", ...";
    throw Stop(path + " is a folder: give one file of columns in it" +
               (listed.empty() ? std::string(" (it holds no files)") : " (it holds " + listed + ")") +
               "; each file is read on its own");
  }
  // A folder, a FIFO, a device or a file beyond the input limit is refused here.
  const std::string text = read_input_file(path);
  std::vector<std::string_view> lines;
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  {
    std::string_view rest(text);
    // A UTF-8 byte-order mark, as some editors write one, is no part of the first value.
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      lines.push_back(rest.substr(0, end));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }

  Table table;
  table.path = path;
  std::size_t first = 0;
  while (first < lines.size() && tokens(lines[first]).empty()) ++first;
  long expected = -1;  // the point count of the program's layout
  std::size_t start = first;
  if (first < lines.size()) {
    const std::vector<std::string> head = tokens(lines[first]);
    double second = 0.0;
    if (is_integer(head[0]) && (head.size() == 1 || !to_number(head[1], second))) {
      table.program_layout = true;
      expected = std::strtol(head[0].c_str(), nullptr, 10);
      start = first + 2;  // the count line and the heading
    }
  }

  std::vector<std::string_view> items;
  for (std::size_t i = start; i < lines.size(); ++i) {
    if (expected >= 0 && static_cast<long>(table.rows.size()) == expected) break;
    const int line_no = static_cast<int>(i) + 1;
    items_of(lines[i], items);
    if (items.empty()) continue;
    if (!table.program_layout && items[0][0] == '#') continue;
    double value = 0.0;
    if (!table.program_layout && table.rows.empty() && !item_number(items[0], value)) continue;  // names
    std::vector<double> row;
    row.reserve(items.size());
    for (std::size_t c = 0; c < items.size(); ++c) {
      if (!item_number(items[c], value)) bad_item(path, line_no, c + 1, std::string(items[c]), "is not a number");
      if (!std::isfinite(value)) bad_item(path, line_no, c + 1, std::string(items[c]), "is not a finite number");
      row.push_back(value);
    }
    if (!table.rows.empty() && row.size() != table.width()) {
      throw Stop(path + ", line " + std::to_string(line_no) + ": " + std::to_string(row.size()) +
                 " columns where the rows above have " + std::to_string(table.width()));
    }
    if (row.size() < 2) {
      throw Stop(path + ", line " + std::to_string(line_no) + ": one column; Q and F(Q) are needed");
    }
    table.rows.push_back(std::move(row));
    table.lines.push_back(line_no);
  }
  if (expected >= 0 && static_cast<long>(table.rows.size()) < expected) {
    throw Stop(path + ": the first line announces " + std::to_string(expected) + " points, the file holds " +
               std::to_string(table.rows.size()));
  }
  while (!table.rows.empty()) {
    bool zero = true;  // every value after Q is zero
    for (std::size_t c = 1; c < table.rows.back().size(); ++c) zero = zero && table.rows.back()[c] == 0.0;
    if (!zero) break;
    table.rows.pop_back();
    table.lines.pop_back();
    ++table.padding_dropped;
  }
  if (table.rows.size() < 2) {
    throw Stop(path + ": " + std::to_string(table.rows.size()) + " rows of numbers; at least 2 are needed");
  }
  return table;
}

void write_data_file(const std::string& path, const std::string& title, const std::string& heading,
                     const std::vector<std::vector<double>>& rows) {
  OutputFile file(path);
  std::ostream& out = file.stream();
  out << format("%6zu", rows.size()) << "   " << title << '\n' << heading << '\n';
  for (const std::vector<double>& row : rows) {
    std::string line = format("%12.7g", row[0]);
    for (std::size_t c = 1; c < row.size(); ++c) line += format(" %16.9e", row[c]);
    out << line << '\n';
  }
  file.commit();
}

}  // namespace yosta::tools
