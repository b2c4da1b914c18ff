// Plain-text number columns as the subcommands read and write them: measured
// files of two or more columns (with `#` comments, a header line of names and
// trailing padding rows of zeros) and the program's own data-file layout
// (point count, heading line, one point a line).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace yosta::tools {

// The rows of numbers of one file, all of the same width.
struct Table {
  std::string path;
  std::vector<std::vector<double>> rows;
  std::vector<int> lines;       // the file's line number (from 1) of each row
  bool program_layout = false;  // the file began with a point count and a heading
  int padding_dropped = 0;      // trailing rows of zeros after Q left out
  std::size_t width() const { return rows.empty() ? 0 : rows.front().size(); }
};

// Reads `path`. A file in the program's layout is recognised by a first line
// that holds one integer, alone or followed by text. Anything that is not a
// finite number where one belongs, rows of unequal width, or fewer than two
// rows throws Stop naming the file, line, column and value.
Table read_table(const std::string& path);

// A finite number from an option or a file item; throws Stop with
// "`where`: `what` must be a finite number, not 'text'" otherwise.
double parse_number(std::string_view text, std::string_view what, std::string_view where);

// The non-empty pieces of `text` between any of the `separators`.
std::vector<std::string> split(std::string_view text, std::string_view separators);

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes the program's data-file layout: the point count with `title`, the
// `heading` line, then one row a line (Q, then the other columns), through a
// temporary file so a failed write leaves an earlier file untouched.
void write_data_file(const std::string& path, const std::string& title, const std::string& heading,
                     const std::vector<std::vector<double>>& rows);

}  // namespace yosta::tools
