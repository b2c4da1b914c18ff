#include "tools/ensemble.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "base/clock.h"
#include "base/random.h"
#include "base/stop.h"
#include "formats/data_file.h"
#include "input/capacities.h"
#include "text/free_reader.h"
#include "text/free_writer.h"
#include "base/circle.h"

namespace yosta::tools {

std::int32_t member_seed(std::int32_t base, int k) {
  // A step prime to 2^31 - 2 visits every value of 1..2^31-2 once.
  const std::int64_t m = 2147483646;
  const std::int64_t s = (static_cast<std::int64_t>(base) - 1 + static_cast<std::int64_t>(k - 1) * 1000003) % m;
  return static_cast<std::int32_t>((s + m) % m + 1);
}

std::int32_t noise_seed(std::int32_t seed, int k) { return mixed_seed(seed, k, 0x626f6f747374ULL); }

std::string trimmed_text(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Stop("Cannot open file \"" + path + "\" for reading");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

// A line as a text record reads it: its first 80 characters, blank-padded.
std::string as_record(const std::string& line) {
  std::string r = line;
  if (!r.empty() && r.back() == '\r') r.pop_back();
  r.erase(r.find_last_not_of(" \t") + 1);
  return r;
}

// Standard normal deviate from two uniforms of the run's generator.
double gaussian(std::int32_t& seed) {
  const double u1 = next_random(seed), u2 = next_random(seed);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(two_pi * u2);
}

}  // namespace

std::string resampled_data(const std::string& name, const std::string& text, const DataSetSettings& set, int nbasis,
                           std::int32_t& seed) {
  std::istringstream stream(text);
  text::FreeReader in(name, stream);
  formats::DataLayout layout;
  layout.columns = 2;
  if (set.qdep) {
    layout.columns = 2 + nbasis + (set.background_column ? 1 : 0);
  } else if (set.background_column || set.sigma < 0.0f) {
    layout.columns = 3;
  }
  layout.count_what = "number of points (integer)";
  layout.heading_what = "heading";
  layout.record_what = "point";
  layout.item = [](int k, int c) { return "value " + std::to_string(c + 1) + " of point " + std::to_string(k); };
  formats::DataChecks checks;
  checks.count = [&](std::int32_t nq, const text::FreeReader& reader) {
    if (nq < 2 || nq > max_q)
      throw Stop("Error reading file \"" + name + "\", line " + std::to_string(reader.line_number()) +
                 ": number of points must be 2 to " + std::to_string(max_q) + ", found " + std::to_string(nq));
  };
  checks.item = [&](int k, int c, bool given, float v, const text::FreeReader& reader) {
    if (!given || !std::isfinite(v))
      throw Stop("Error reading file \"" + name + "\", line " + std::to_string(reader.line_number()) +
                 ": expected a finite " + layout.item(k, c));
  };
  formats::DataFile data;
  formats::read_data_file(in, layout, checks, data);

  const bool error_column = !set.qdep && !set.background_column && set.sigma < 0.0f;
  const int last = std::min(set.q_last, data.nq);
  const std::vector<std::string> lines = text_lines(text);
  std::string out;
  for (int i = 0; i < data.heading_line && i < static_cast<int>(lines.size()); ++i)
    out += lines[static_cast<std::size_t>(i)] + "\n";
  for (int k = 1; k <= data.nq; ++k) {
    std::vector<float>& row = data.rows[static_cast<std::size_t>(k)];
    if (k >= set.q_first && k <= last) {
      const double sigma = std::fabs(error_column ? row[2] : set.sigma);
      row[1] = static_cast<float>(static_cast<double>(row[1]) + sigma * gaussian(seed));
    }
    std::string line;
    for (const float v : row) text::append_item(line, v);
    out += line + "\n";
  }
  return out;
}

std::string rewritten_parameters(const std::string& name, const std::vector<std::string>& lines,
                                 const std::vector<std::string>& data_files, const std::string& root) {
  std::string original;
  for (const std::string& l : lines) original += l + "\n";
  std::istringstream first_stream(original);
  text::FreeReader first(name, first_stream);
  const RunParameters params = read_parameters(first);
  const int root_line = first.line_number();
  std::vector<std::string> out = lines;
  // The data file records come in set order between the title and the root
  // record, each a line that reads as the name. A line that merely looks the
  // same (a data file named "F" beside a logical record) is told apart by
  // putting a marker in its place and reading the file again.
  auto reads_as_set = [&](const std::vector<std::string>& trial, int s, const std::string& marker) {
    std::string t;
    for (const std::string& l : trial) t += l + "\n";
    std::istringstream stream(t);
    text::FreeReader reader(name, stream);
    try {
      const RunParameters p = read_parameters(reader);
      return p.nsets == params.nsets && trimmed_text(p.sets[static_cast<std::size_t>(s)].data_file) == marker;
    } catch (const Stop&) {
      return false;
    }
  };
  int line = 1;
  for (int s = 0; s < params.nsets; ++s) {
    const std::string& wanted = params.sets[static_cast<std::size_t>(s)].data_file;
    for (;; ++line) {
      if (line >= root_line - 1)
        throw Stop("Cannot find the data file record of set " + std::to_string(s + 1) + " in \"" + name + "\"");
      if (as_record(lines[static_cast<std::size_t>(line)]) != wanted) continue;
      std::vector<std::string> trial = out;
      trial[static_cast<std::size_t>(line)] = "yosta-tools-marker-" + std::to_string(s + 1);
      if (reads_as_set(trial, s, trial[static_cast<std::size_t>(line)])) break;
    }
    out[static_cast<std::size_t>(line)] = data_files[static_cast<std::size_t>(s)];
    ++line;
  }
  out[static_cast<std::size_t>(root_line - 1)] = root;
  std::string text;
  for (const std::string& l : out) text += l + "\n";
  // Read back: every changed record must now give the new names, and the
  // file must still read to its end at the root record.
  std::istringstream check_stream(text);
  text::FreeReader check(name, check_stream);
  const RunParameters again = read_parameters(check);
  bool same = again.nsets == params.nsets && trimmed_text(again.root) == root && check.line_number() == root_line;
  for (int s = 0; same && s < params.nsets; ++s)
    same = trimmed_text(again.sets[static_cast<std::size_t>(s)].data_file) == data_files[static_cast<std::size_t>(s)];
  if (!same) throw Stop("Cannot rewrite the data file and root records of \"" + name + "\" for the members");
  return text;
}

}  // namespace yosta::tools
