// A small run with data sets and a model for the tests of the result files
// and of the save schedule.
#pragma once

#include <algorithm>
#include <cfloat>
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "model/corrections.h"
#include "model/transform.h"
#include "base/files.h"
#include "base/stop.h"
#include "support/test_support.h"
#include "text/free_reader.h"

#include "fit/run.h"
#include "support/run_builder.h"

namespace yosta::results_test {

using testing::read_file;
using testing::split_lines;
using testing::TempDir;
using testing::write_file;

inline std::string padded(std::string text) {
  text.resize(80, ' ');
  return text;
}

inline std::vector<std::string> tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

inline std::vector<float> numbers(const std::string& line) {
  std::vector<float> out;
  for (const std::string& t : tokens(line)) out.push_back(std::strtof(t.c_str(), nullptr));
  return out;
}

inline std::uint32_t bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Awkward single-precision values: the shortest decimal form of each must
// read back to the same bits.
inline float awkward_value(int i) {
  static const float fixed[] = {0.1f,  1.0f / 3.0f, -2.5e-7f, 3.4028235e38f, FLT_MIN, std::nextafter(1.0f, 2.0f),
                                -0.0f, 123456.789f, -1.0f,    1e-10f};
  if (i < 10) return fixed[i];
  // Further normal floats spread over the whole exponent range.
  std::uint32_t b = 0x3f800000u ^ (static_cast<std::uint32_t>(i) * 2654435761u);
  b = (b & 0x807fffffu) | ((1u + (static_cast<std::uint32_t>(i) * 37u) % 253u) << 23);
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

struct Options {
  int nsets = 1;
  bool qdep = false;
  bool resolution = false;
  bool rezero = false;
  bool save_targets = false;
  std::string root_name = "result";
};

// A small run whose data sets are fitted from point 5 to 104 of a 120-point
// grid, with a model that differs from the data by a known amount.
struct Fixture {
  TempDir dir;
  std::unique_ptr<Run> run;
  std::ostringstream console_out;
  std::istringstream console_in;
  Console console{console_out, console_in};

  explicit Fixture(const Options& o = {})
      : run(testing::RunBuilder()
                .basis(2)
                .sets(o.nsets)
                .q_steps(120, 0.05f)
                .r_grid(48, 6.2831855f / (0.05f * 120.0f * 2.0f))  // 2 pi / (Q_120 Mr)
                .density(0.1f)
                .floor(o.qdep ? -1.0f : 0.0f)
                .root(dir.file(o.root_name))
                .build()) {
    const int nsets = o.nsets;
    const bool qdep = o.qdep;
    RunParameters& p = run->params;
    p.title = padded("Test of the result files");
    p.nsets_fixed = qdep ? 0 : nsets;
    p.nsets_qdep = qdep ? nsets : 0;
    p.qdep_coefficients = qdep;
    p.resolution_on = o.resolution;
    p.save_targets = o.save_targets;
    p.run_time = 25.0f;
    p.save_interval = 10.0f;

    for (int j = 1; j <= run->model.r.nr; ++j) {
      run->model.v[1][j] = 0.25f * std::sin(static_cast<float>(j));
      run->model.v[2][j] = -0.5f + 0.01f * static_cast<float>(j);
    }
    for (int s = 1; s <= nsets; ++s) {
      DataSet& set = run->model.sets[s];
      DataSetSettings& d = set.settings;
      d.qdep = qdep;
      d.q_first = 5;
      d.q_last = 104;
      d.sigma = 0.01f;
      d.rezero = o.rezero;
      for (int k = 1; k <= run->model.q.nq; ++k) {
        set.F[k] = 0.5f * std::sin(run->model.q.Q[k]) + static_cast<float>(s);
        set.err[k] = 0.01f;
        set.coef[1][k] = 0.5f;
        set.coef[2][k] = 0.5f;
        // The model sits 0.25 above the data.
        set.F_calc[k] = set.F[k] + 0.25f;
      }
      p.sets[static_cast<std::size_t>(s - 1)] = d;
    }
    prepare_data(run->params, run->model);
  }

  std::string file(const char* ext) const { return root_file(run->params, ext); }
};

// ---------------------------------------------------------------- ".g" / ".gsv"

// How many lines of `text` are exactly `line`.
inline int count_lines(const std::string& text, const std::string& line) {
  int n = 0;
  for (const std::string& l : split_lines(text)) n += l == line ? 1 : 0;
  return n;
}

}  // namespace yosta::results_test
