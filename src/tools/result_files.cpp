#include "tools/result_files.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "base/files.h"
#include "base/stop.h"
#include "input/capacities.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta::tools {
namespace {

using text::FreeReader;

[[noreturn]] void bad(const FreeReader& in, const std::string& what, const std::string& found) {
  throw Stop("Error reading file \"" + in.name() + "\", line " + std::to_string(in.line_number()) + ": " + what +
             ", found " + found);
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

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

// The next line must hold `keyword` (leading and trailing blanks ignored).
void need_keyword(FreeReader& in, const std::string& keyword) {
  std::string line = in.read_text("\"" + keyword + "\"", 200);
  const std::size_t first = line.find_first_not_of(' ');
  const std::size_t last = line.find_last_not_of(' ');
  line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
  std::string expected = keyword;
  while (!expected.empty() && expected.front() == ' ') expected.erase(0, 1);
  if (line != expected) bad(in, "expected " + quoted(expected), quoted(line.substr(0, 40)));
}

// Number of items on line `number` (1-based) of the file: the values of the
// first row tell how many basis functions a ".g" file holds.
int items_on_line(const std::string& path, int number) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  for (int i = 0; i < number && std::getline(file, line); ++i) {
  }
  for (char& c : line)
    if (c == ',' || c == '\t' || c == '\r') c = ' ';
  std::istringstream items(line);
  std::string item;
  int n = 0;
  while (items >> item) ++n;
  return n;
}

// r of row j (0-based) must be (j + 1) times r of the first row, as the grid
// writes it: rows out of step show here.
void check_r(FreeReader& in, const std::vector<float>& r, std::size_t j) {
  if (r[j] <= 0.0f) bad(in, "r must be above 0", quoted(text::real_text(r[j])));
  if (j > 0 && r[j] != static_cast<float>(j + 1) * r[0])
    bad(in,
        "r of row " + std::to_string(j + 1) + " must be " + std::to_string(j + 1) + " x " + text::real_text(r[0]) +
            " = " + text::real_text(static_cast<float>(j + 1) * r[0]),
        quoted(text::real_text(r[j])));
}

void rows(FreeReader& in, int nr, int ncolumns, std::vector<float>& x, Table& t, bool check_grid) {
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

}  // namespace

GFile read_g_file(const std::string& path) {
  FreeReader in = FreeReader::open(path);
  GFile g;
  g.path = path;
  in.begin("nr");
  const int nr = need_count(in, "number of r points", 1, max_r);
  in.end();
  in.begin("move counts");
  g.generated = need_int(in, "moves generated (integer)");
  g.accepted = need_int(in, "moves accepted (integer)");
  in.end();
  const int first_row = in.line_number() + 1;
  const int nbasis = items_on_line(path, first_row) - 1;
  if (nbasis < 1 || nbasis > max_basis)
    throw Stop("Error reading file \"" + path + "\", line " + std::to_string(first_row) +
               ": a row must hold r and 1 to " + std::to_string(max_basis) + " basis values, found " +
               std::to_string(nbasis + 1) + " items");
  rows(in, nr, nbasis, g.r, g.v, true);
  end_of_file(in);
  return g;
}

GsvFile read_gsv_file(const std::string& path) {
  FreeReader in = FreeReader::open(path);
  GsvFile s;
  s.path = path;
  in.begin("nr, nbasis");
  const int nr = need_count(in, "number of r points", 1, max_r);
  const int nbasis = need_count(in, "number of basis functions", 1, max_basis);
  in.end();
  in.begin("saved sets, collection count");
  s.nsaved = need_count(in, "number of saved sets", 0, 2147483647);
  s.collect_count = need_int(in, "collection count (integer)");
  in.end();
  Table both;
  rows(in, nr, 2 * nbasis, s.r, both, true);
  s.S1.assign(both.begin(), both.begin() + nbasis);
  s.S2.assign(both.begin() + nbasis, both.end());
  for (int p = 0; p < nbasis; ++p)
    for (int j = 0; j < nr; ++j)
      if (s.S2[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] < 0.0f)
        throw Stop("Error in file \"" + path + "\", row " + std::to_string(j + 1) +
                   ": a sum of squares must not be negative, found " +
                   text::real_text(s.S2[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)]));
  end_of_file(in);
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
    Table curves;
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

std::string g_text(const GFile& g) {
  using text::append_item;
  std::string out = text::free_record({g.nr()}) + text::free_record({g.generated, g.accepted});
  std::string line;
  for (int j = 0; j < g.nr(); ++j) {
    const std::size_t uj = static_cast<std::size_t>(j);
    append_item(line, g.r[uj]);
    for (const auto& column : g.v) append_item(line, column[uj]);
    out += line + '\n';
    line.clear();
  }
  return out;
}

std::string gsv_text(const GsvFile& s) {
  using text::append_item;
  std::string out = text::free_record({s.nr(), s.nbasis()}) + text::free_record({s.nsaved, s.collect_count});
  std::string line;
  for (int j = 0; j < s.nr(); ++j) {
    const std::size_t uj = static_cast<std::size_t>(j);
    append_item(line, s.r[uj]);
    for (const auto& column : s.S1) append_item(line, column[uj]);
    for (const auto& column : s.S2) append_item(line, column[uj]);
    out += line + '\n';
    line.clear();
  }
  return out;
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

}  // namespace yosta::tools
