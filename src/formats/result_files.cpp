#include "formats/result_files.h"

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/files.h"
#include "base/stop.h"
#include "input/capacities.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta::formats {
namespace {

using text::FreeReader;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string file_name(const FreeReader& in) { return quoted(text::printable(in.name())); }

[[noreturn]] void bad(const FreeReader& in, const std::string& what, const std::string& found) {
  throw Stop("Error reading file " + file_name(in) + ", line " + std::to_string(in.line_number()) + ": " + what +
             ", found " + found);
}

// One item of a record that must be present (no null value, no slash).
std::int32_t need_int(FreeReader& in, const std::string& what) {
  std::int32_t v = 0;
  if (!in.get(v, what)) bad(in, "expected " + what, "no value");
  return v;
}

float need_real(FreeReader& in, const std::string& what) {
  float v = 0;
  if (!in.get(v, what)) bad(in, "expected " + what, "no value");
  if (!std::isfinite(v)) bad(in, "expected a finite " + what, quoted(text::real_text(v)));
  return v;
}

std::int32_t need_count(FreeReader& in, const std::string& what, std::int32_t lo, std::int32_t hi) {
  const std::int32_t v = need_int(in, what);
  if (v < lo || v > hi)
    bad(in, what + " must be " + std::to_string(lo) + " to " + std::to_string(hi), quoted(std::to_string(v)));
  return v;
}

std::string trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  const std::size_t last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

// The next line must hold `keyword` (leading and trailing blanks ignored).
void need_keyword(FreeReader& in, const std::string& keyword) {
  const std::string line = trimmed(in.read_text("\"" + keyword + "\"", 200));
  const std::string expected = trimmed(keyword);
  if (line != expected) bad(in, "expected " + quoted(expected), quoted(text::printable(line.substr(0, 40))));
}

// A restart file's kind from its first line: one integer for a ".g" file,
// two or more items for a ".gsv" file.
void need_kind(const FreeReader& in, bool sums) {
  const int items = in.items_on_line(1);
  if (items == 0 || (items >= 2) == sums) return;  // an empty first line is refused by the reader
  if (sums) {
    throw Stop("File " + file_name(in) +
               " is a .g file (its first line holds only the number of r points), not a .gsv file of saved-set "
               "sums (first line: the number of r points and of basis functions)");
  }
  throw Stop("File " + file_name(in) +
             " is a .gsv file of saved-set sums (its first line holds the number of r points and of basis "
             "functions), not a .g file of basis functions (first line: the number of r points only)");
}

// r of row j (0-based) must be (j + 1) times r of the first row, as the grid
// writes it: rows out of step show here. A value is known only to the digits
// the file gives it, so the comparison allows for its rounding and for a
// relative 1e-5 (six significant digits).
void check_r(FreeReader& in, const std::vector<float>& r, std::size_t j) {
  if (r[j] <= 0.0f) bad(in, "r must be above 0", quoted(text::real_text(r[j])));
  if (j == 0) return;
  const float expected = static_cast<float>(j + 1) * r[0];
  const double tolerance =
      written_resolution(in.last_token()) + (1.0e-5 + 4.0 * double{FLT_EPSILON}) * static_cast<double>(expected);
  if (std::fabs(static_cast<double>(r[j]) - static_cast<double>(expected)) > tolerance)
    bad(in,
        "r of row " + std::to_string(j + 1) + " must be " + std::to_string(j + 1) + " x " + text::real_text(r[0]) +
            " = " + text::real_text(expected),
        quoted(text::real_text(r[j])));
}

// nr rows of a first value and `ncolumns` further values each. A row may run
// over several lines; values left on its last line are refused (a file of
// another kind or another number of basis functions).
void rows(FreeReader& in, int nr, int ncolumns, std::vector<float>& x, Columns& t, bool check_grid) {
  x.assign(static_cast<std::size_t>(nr), 0.0f);
  t.assign(static_cast<std::size_t>(ncolumns), std::vector<float>(static_cast<std::size_t>(nr), 0.0f));
  for (int j = 0; j < nr; ++j) {
    const std::size_t uj = static_cast<std::size_t>(j);
    in.begin("row");
    x[uj] = need_real(in, "first value of row " + std::to_string(j + 1));
    if (check_grid) check_r(in, x, uj);
    for (int c = 0; c < ncolumns; ++c)
      t[static_cast<std::size_t>(c)][uj] =
          need_real(in, "value " + std::to_string(c + 2) + " of row " + std::to_string(j + 1));
    if (in.values_left_on_line())
      bad(in, "row " + std::to_string(j + 1) + " to end after " + std::to_string(ncolumns + 1) + " values",
          "more values");
    in.end();
  }
}

void end_of_file(FreeReader& in) {
  if (!in.at_end()) {
    in.begin("end of file");
    bad(in, "expected the end of the file", "more lines");
  }
}

std::string trimmed_right(std::string s) {
  const std::size_t last = s.find_last_not_of(' ');
  s.resize(last == std::string::npos ? 0 : last + 1);
  return s;
}

// The number of basis functions of a ".g" file from the items of its first
// row (line 3). With `expected` given, a file of another count is refused by
// name: as a run writes it, a row is one line.
int g_basis_count(const FreeReader& in, int nr, int expected) {
  const int first_row = 3;
  const int found = in.items_on_line(first_row) - 1;
  // Rows on one line each: the items of the first row count the functions.
  const bool row_per_line = in.text_lines() == nr + 2;
  if (expected > 0) {
    if (found != expected && (row_per_line || found > expected))
      throw Stop("Start file " + file_name(in) + " holds " + std::to_string(found) + " basis function" +
                 (found == 1 ? "" : "s") + " a row (line " + std::to_string(first_row) + " has " +
                 std::to_string(found + 1) + " values), this run has " + std::to_string(expected) +
                 ": it was written by a run of another kind; start without it (start_from_file F) or use the "
                 "run's own .g file");
    return expected;
  }
  if (found < 1 || found > max_basis)
    throw Stop("Error reading file " + file_name(in) + ", line " + std::to_string(first_row) +
               ": a row must hold r and 1 to " + std::to_string(max_basis) + " basis values, found " +
               std::to_string(found + 1) + " items");
  return found;
}

// Sums that saved sets cannot give: sums with no set saved, a negative sum of
// squares, or n S2 < S1^2 (a negative variance) beyond the rounding of
// single-precision sums of n values.
void check_statistics(const GsvFile& s) {
  const double n = static_cast<double>(s.nsaved);
  const double tolerance = 8.0 * (n + 2.0) * double{FLT_EPSILON};
  for (std::size_t p = 0; p < s.S1.size(); ++p) {
    for (std::size_t j = 0; j < s.r.size(); ++j) {
      const double s1 = static_cast<double>(s.S1[p][j]), s2 = static_cast<double>(s.S2[p][j]);
      const std::string where = "File " + quoted(text::printable(s.path)) + ", row " + std::to_string(j + 1) +
                                ", basis function " + std::to_string(p + 1) + ": ";
      if (s2 < 0.0)
        throw Stop("Error in file " + quoted(text::printable(s.path)) + ", row " + std::to_string(j + 1) +
                   ": a sum of squares must not be negative, found " + text::real_text(s.S2[p][j]));
      if (s.nsaved == 0 && (s1 != 0.0 || s2 != 0.0))
        throw Stop(where + "the file counts 0 saved sets but holds the sums " + text::real_text(s.S1[p][j]) + " and " +
                   text::real_text(s.S2[p][j]) + "; the count disagrees with its sums");
      const double nS2 = n * s2, S1S1 = s1 * s1;
      if (nS2 < S1S1 - tolerance * std::max(nS2, S1S1))
        throw Stop(where + "the sums of " + std::to_string(s.nsaved) +
                   " saved sets are impossible: n x S2 = " + text::real_text(static_cast<float>(nS2)) +
                   " is below S1^2 = " + text::real_text(static_cast<float>(S1S1)) +
                   " (a negative variance); the count disagrees with its sums or the file was changed");
    }
  }
}

std::span<const float> span_of(const std::vector<float>& v) { return {v.data(), v.size()}; }

std::vector<std::span<const float>> spans_of(const Columns& c) {
  std::vector<std::span<const float>> out;
  out.reserve(c.size());
  for (const auto& column : c) out.push_back(span_of(column));
  return out;
}

}  // namespace

double written_resolution(const std::string& token) {
  // Digits after the point of the mantissa, and the exponent (E, D or Q, or
  // a sign after the digits as the list-directed reader allows).
  std::size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  int decimals = 0;
  bool after_point = false;
  for (; i < token.size(); ++i) {
    const char c = token[i];
    if (c >= '0' && c <= '9') {
      if (after_point) ++decimals;
    } else if (c == '.' && !after_point) {
      after_point = true;
    } else {
      break;
    }
  }
  long exponent = 0;
  if (i < token.size()) {
    std::size_t e = i;
    if (token[e] != '+' && token[e] != '-') ++e;  // the exponent letter
    exponent = std::strtol(token.c_str() + e, nullptr, 10);
    if (exponent > 300) exponent = 300;
    if (exponent < -300) exponent = -300;
  }
  return 0.5 * std::pow(10.0, static_cast<double>(exponent - decimals));
}

GFile read_g_file(const std::string& path, int nbasis) {
  FreeReader in = FreeReader::open(path);
  need_kind(in, false);
  GFile g;
  g.path = path;
  in.begin("nr");
  const int nr = need_count(in, "number of r points", 1, max_r);
  in.end();
  in.begin("move counts");
  g.generated = need_int(in, "moves generated (integer)");
  g.accepted = need_int(in, "moves accepted (integer)");
  in.end();
  const int functions = g_basis_count(in, nr, nbasis);
  rows(in, nr, functions, g.r, g.v, true);
  end_of_file(in);
  return g;
}

GsvFile read_gsv_file(const std::string& path, int nbasis) {
  FreeReader in = FreeReader::open(path);
  need_kind(in, true);
  GsvFile s;
  s.path = path;
  in.begin("nr, nbasis");
  const int nr = need_count(in, "number of r points", 1, max_r);
  const int functions = nbasis > 0 ? need_count(in, "number of basis functions", nbasis, nbasis)
                                   : need_count(in, "number of basis functions", 1, max_basis);
  in.end();
  in.begin("saved sets, collection count");
  s.nsaved = need_count(in, "number of saved sets", 0, 2147483647);
  s.collect_count = need_count(in, "collection count", 0, 2147483647);
  in.end();
  Columns both;
  rows(in, nr, 2 * functions, s.r, both, true);
  s.S1.assign(both.begin(), both.begin() + functions);
  s.S2.assign(both.begin() + functions, both.end());
  end_of_file(in);
  check_statistics(s);
  return s;
}

OutFile read_out_file(const std::string& path) {
  FreeReader in = FreeReader::open(path);
  OutFile out;
  out.path = path;
  need_keyword(in, "Results from YOSTA");
  need_keyword(in, "TITLE");
  out.title = trimmed_right(in.read_text("title (text)"));
  in.begin("number of data sets");
  const int nsets = need_count(in, "number of data sets", 1, max_sets);
  in.end();
  for (int s = 0; s < nsets; ++s) {
    OutFile::DataSetGraph graph;
    in.skip_line("data set heading");
    need_keyword(in, "CURVES");
    in.begin("rows, curves");
    const int n = need_count(in, "number of rows", 1, max_q);
    graph.ncurves = need_count(in, "number of curves", 3, 4);
    in.end();
    Columns curves;
    rows(in, n, graph.ncurves, graph.Q, curves, false);
    graph.model = curves[0];
    if (graph.ncurves == 4) graph.broadened = curves[1];
    graph.data = curves[static_cast<std::size_t>(graph.ncurves - 2)];
    graph.background = curves[static_cast<std::size_t>(graph.ncurves - 1)];
    out.sets.push_back(std::move(graph));
  }
  need_keyword(in, "ENDGROUP");
  in.begin("number of basis functions");
  const int nbasis = need_count(in, "number of basis functions", 1, max_basis);
  in.end();
  in.skip_line("basis heading");
  need_keyword(in, "PLOTS");
  in.begin("nr, nbasis");
  const int nr = need_count(in, "number of r points", 1, max_r);
  need_count(in, "number of basis functions", nbasis, nbasis);
  in.end();
  rows(in, nr, nbasis, out.r, out.g, true);
  need_keyword(in, "ENDGROUP");
  if (!in.at_end()) {
    need_keyword(in, "Partial S(Q)'s");
    in.skip_line("partial S(Q) heading");
    need_keyword(in, "PLOTS");
    in.begin("nq, nbasis");
    const int nq = need_count(in, "number of Q points", 1, max_q);
    need_count(in, "number of basis functions", nbasis, nbasis);
    in.end();
    rows(in, nq, nbasis, out.Q_partial, out.partial_sq, false);
    end_of_file(in);
  }
  return out;
}

std::string g_text(std::int32_t generated, std::int32_t accepted, std::span<const float> r,
                   std::span<const std::span<const float>> v) {
  using text::append_item;
  std::string out;
  out.reserve(r.size() * (v.size() + 1) * 16 + 64);
  out += text::free_record({static_cast<std::int32_t>(r.size())});
  out += text::free_record({generated, accepted});
  std::string line;
  for (std::size_t j = 0; j < r.size(); ++j) {
    append_item(line, r[j]);
    for (const auto& column : v) append_item(line, column[j]);
    line += '\n';
    out += line;
    line.clear();
  }
  return out;
}

std::string gsv_text(std::int32_t nsaved, std::int32_t collect_count, std::span<const float> r,
                     std::span<const std::span<const float>> S1, std::span<const std::span<const float>> S2) {
  using text::append_item;
  std::string out;
  out.reserve(r.size() * (2 * S1.size() + 1) * 16 + 64);
  out += text::free_record({static_cast<std::int32_t>(r.size()), static_cast<std::int32_t>(S1.size())});
  out += text::free_record({nsaved, collect_count});
  std::string line;
  for (std::size_t j = 0; j < r.size(); ++j) {
    append_item(line, r[j]);
    for (const auto& column : S1) append_item(line, column[j]);
    for (const auto& column : S2) append_item(line, column[j]);
    line += '\n';
    out += line;
    line.clear();
  }
  return out;
}

std::string g_text(const GFile& g) {
  const auto v = spans_of(g.v);
  return g_text(g.generated, g.accepted, span_of(g.r), v);
}

std::string gsv_text(const GsvFile& s) {
  const auto S1 = spans_of(s.S1), S2 = spans_of(s.S2);
  return gsv_text(s.nsaved, s.collect_count, span_of(s.r), S1, S2);
}

void write_whole(const std::string& path, const std::string& text) {
  OutputFile file(path);
  file.write(text);
  file.commit();
}

void check_same_grid(const std::string& first_path, const std::vector<float>& first_r, int first_nbasis,
                     const std::string& other_path, const std::vector<float>& other_r, int other_nbasis) {
  const std::string head = "File \"" + other_path + "\" does not match \"" + first_path + "\": ";
  if (other_r.size() != first_r.size())
    throw Stop(head + "it has " + std::to_string(other_r.size()) + " r points, the first file " +
               std::to_string(first_r.size()));
  if (other_nbasis != first_nbasis)
    throw Stop(head + "it has " + std::to_string(other_nbasis) + " basis functions, the first file " +
               std::to_string(first_nbasis));
  for (std::size_t j = 0; j < first_r.size(); ++j)
    if (other_r[j] != first_r[j])
      throw Stop(head + "r of row " + std::to_string(j + 1) + " is " + text::real_text(other_r[j]) +
                 ", in the first file " + text::real_text(first_r[j]));
}

}  // namespace yosta::formats
