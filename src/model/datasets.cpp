// Reading the experimental data files. Every file holds its point count, a
// heading line and one free-format record per point; the columns of a point
// depend on the kind of set and on its background and sigma switches.
#include "model/datasets.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/stop.h"
#include "formats/data_file.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

std::string describe(const std::string& path, int set) {
  return "Data file " + text::printable(path) + " (data set " + std::to_string(set) + ")";
}

// A value no measurement means: refused at its line, naming it as written.
void within(const text::FreeReader& in, float value, float limit, const std::string& what) {
  if (std::fabs(value) > limit)
    in.refuse_last(what, "must be at most " + text::real_text(limit) + " in size (the limits are in the guide)");
}

// The file ends before point k of its nq: the point count on its first line
// says more than it holds. A step of two dq or more among the points read
// names the line after which one is missing.
[[noreturn]] void missing_points(const text::FreeReader& in, const Model& model, int k, int nq,
                                 const std::vector<int>& lines) {
  std::string where;
  if (k >= 4) {
    // The grid's step: the smallest step between the points read.
    float step = model.q.Q[2] - model.q.Q[1];
    for (int j = 3; j < k; ++j) step = std::min(step, model.q.Q[j] - model.q.Q[j - 1]);
    for (int j = 2; step > 0.0f && j < k; ++j) {
      const float gap = model.q.Q[j] - model.q.Q[j - 1];
      if (gap > 1.5f * step) {
        where = "; line " + std::to_string(lines[static_cast<std::size_t>(j)]) + " (Q " +
                text::real_text(model.q.Q[j]) + ") lies " + text::real_text(gap / step) +
                " steps after the line before it: a line is missing there";
        break;
      }
    }
  }
  throw Stop("Data file " + text::printable(in.name()) + " ends after " + std::to_string(k - 1) + " of the " +
             std::to_string(nq) + " points its first line announces" + where);
}

// Every Q point of a file must lie on the grid its first and last points
// define, Q_k = (k + offset) dq, within the 0.01 dq allowed the first point,
// and in increasing order; and every file must have the Q points of the
// first. The message names the file, the line, the Q expected and found.
void check_q_points(const std::string& path, int set, const Model& model, const std::vector<int>& lines,
                    const std::vector<float>& reference, const std::string& reference_path) {
  const int nq = model.q.nq;
  const auto Q = [&](int k) { return model.q.Q[k]; };
  const auto line = [&](int k) { return std::to_string(lines[static_cast<std::size_t>(k)]); };
  const std::string file = describe(path, set);
  for (int k = 2; k <= nq; ++k) {
    if (Q(k) == Q(k - 1))
      throw Stop(file + ", line " + line(k) + ": Q " + text::real_text(Q(k)) + " repeats the Q of line " + line(k - 1) +
                 " (a line given twice?); Q must increase from point to point");
    if (Q(k) < Q(k - 1))
      throw Stop(file + ", line " + line(k) + ": Q " + text::real_text(Q(k)) + " is below the " +
                 text::real_text(Q(k - 1)) + " of line " + line(k - 1) +
                 " (lines out of order?); Q must increase from point to point");
  }
  const float dq = (Q(nq) - Q(1)) / static_cast<float>(nq - 1);
  const double offset = std::nearbyint(static_cast<double>(Q(1)) / static_cast<double>(dq)) - 1.0;
  for (int k = 1; k <= nq; ++k) {
    const float expected = static_cast<float>(static_cast<double>(k) + offset) * dq;
    if (std::fabs(Q(k) - expected) / dq > 0.01f) {
      throw Stop({" Q-values are not multiples of dq ",
                  file + ", line " + line(k) + ": Q point " + std::to_string(k) + " is " + text::real_text(Q(k)) +
                      ", where the grid from its first and last points (dq " + text::real_text(dq) + ") puts " +
                      text::real_text(expected) +
                      "; every point must lie within 0.01 dq of k dq (yosta-tools import puts points on the grid)"},
                 1);
    }
    if (!reference.empty() && std::fabs(Q(k) - reference[static_cast<std::size_t>(k)]) / dq > 0.01f) {
      throw Stop({"Incompatible Q points in data files",
                  file + ", line " + line(k) + ": Q point " + std::to_string(k) + " is " + text::real_text(Q(k)) +
                      ", in data file " + reference_path + " (data set 1) " +
                      text::real_text(reference[static_cast<std::size_t>(k)]) +
                      "; every file needs the same Q points (yosta-tools import --grid-like puts one on another's "
                      "grid)"},
                 1);
    }
  }
}

// What a file held beyond its point records.
struct Leftovers {
  int rows = 0;               // point rows with values left over
  int first_line = 0;         // the first of them
  int rows_one_real = 0;      // point rows with exactly one number left over
  int rows_coefficients = 0;  // point rows holding Q, F(Q) and one number per basis function, and no more
};

// The columns of a set's point records: Q, F(Q), then the coefficients of a
// set with Q-dependent coefficients, or the error when this set reads it,
// then the background when the set reads it.
formats::DataLayout point_layout(const RunParameters& params, const DataSetSettings& s, bool qdep) {
  const bool error_column = !qdep && !s.background_column && s.sigma < 0.0f;
  const int middle = qdep ? params.nbasis : (error_column ? 1 : 0);
  formats::DataLayout layout;
  layout.columns = 2 + middle + (s.background_column ? 1 : 0);
  layout.short_column = error_column ? 2 : -1;
  layout.count_what = "number of Q points (integer)";
  layout.heading_what = "heading line";
  layout.record_what = "Q point record";
  layout.item = [qdep, middle](int, int c) -> std::string {
    if (c == 0) return "Q value (real)";
    if (c == 1) return "F(Q) value (real)";
    if (c < 2 + middle) return qdep ? "coefficient of a basis function (real)" : "error of F(Q) (real)";
    return "background (real)";
  };
  return layout;
}

// The checks of the values of a set's point records as they are read: a
// value no measurement means, and an error that is negative or whose
// inverse square overflows, refused at its line.
void check_item(const DataSetSettings& s, bool qdep, int nbasis, int k, int c, bool given, float value,
                const text::FreeReader& in) {
  if (!given || c == 0) return;
  if (c == 1) {
    within(in, value, max_data_value, "F(Q) value (real)");
  } else if (qdep && c < 2 + nbasis) {
    within(in, value, max_data_value, "coefficient of basis function " + std::to_string(c - 1) + " (real)");
  } else if (!qdep && c == 2 && !s.background_column) {
    // A fitted point's error of 0 is refused later with the fit's own message.
    if (value < 0.0f)
      in.refuse_last("error of F(Q) (real) at point " + std::to_string(k),
                     "must not be negative (an error is a standard deviation)");
    within(in, value, max_error, "error of F(Q) (real)");
    if (k >= s.q_first && k <= s.q_last && in.last_is_nonzero() && inverse_square_overflows(value))
      in.refuse_last("error of F(Q) (real) at point " + std::to_string(k), "is so small that 1/error^2 overflows");
  } else {
    within(in, value, max_data_value, "background (real)");
  }
}

// Puts the values a file gave for points 1..last into model.q.Q and the
// set's arrays; an item left null keeps what the array held.
void take_points(const formats::DataFile& data, int last, Model& model, DataSet& set, bool qdep, int nbasis) {
  for (int k = 1; k <= last; ++k) {
    const auto& row = data.rows[static_cast<std::size_t>(k)];
    const auto& given = data.given[static_cast<std::size_t>(k)];
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (given[c] == 0) continue;
      if (c == 0) {
        model.q.Q[k] = row[c];
      } else if (c == 1) {
        set.F[k] = row[c];
      } else if (qdep && c < 2 + static_cast<std::size_t>(nbasis)) {
        set.coef[static_cast<int>(c) - 1][k] = row[c];
      } else if (!qdep && c == 2 && !set.settings.background_column) {
        set.err[k] = row[c];
      } else {
        set.background[k] = row[c];
      }
    }
  }
}

// Reads the nq point records of one set into model.q.Q and the set's arrays,
// `data` filled as the rows are read, so that it tells how far reading got
// when a row cannot be read. `count` checks the count line.
void read_points(const RunParameters& params, Model& model, DataSet& set, bool qdep, text::FreeReader& in,
                 const std::function<void(std::int32_t)>& count, formats::DataFile& data, Leftovers& left) {
  const DataSetSettings& s = set.settings;
  const formats::DataLayout layout = point_layout(params, s, qdep);
  formats::DataChecks checks;
  checks.count = [&](std::int32_t nq, const text::FreeReader&) { count(nq); };
  checks.item = [&](int k, int c, bool given, float value, const text::FreeReader& reader) {
    check_item(s, qdep, params.nbasis, k, c, given, value, reader);
  };
  checks.ends_early = [&](int k, const formats::DataFile& so_far) {
    take_points(so_far, k - 1, model, set, qdep, params.nbasis);
    missing_points(in, model, k, so_far.nq, so_far.lines);
  };
  formats::read_data_file(in, layout, checks, data);
  const std::int32_t nq = data.nq;
  take_points(data, nq, model, set, qdep, params.nbasis);

  const int taken = layout.columns;
  for (int k = 1; k <= nq; ++k) {
    const auto p = static_cast<std::size_t>(k);
    if (data.values_left[p] != 0 && left.rows++ == 0) left.first_line = data.end_lines[p];
    if (!qdep) {
      const int extra = data.reals_left[p];
      if (extra == 1) ++left.rows_one_real;
      if (extra > 0 && taken + extra == 2 + params.nbasis) ++left.rows_coefficients;
    }
    if (!s.background_column) set.background[k] = 0.0f;
    if (!qdep) {
      for (int p2 = 1; p2 <= params.nbasis; ++p2) set.coef[p2][k] = s.coefficients[static_cast<std::size_t>(p2 - 1)];
      // With a background column the error is sigma with its sign, also when
      // sigma is negative: no error column is read then.
      if (layout.short_column < 0) set.err[k] = s.sigma;
    }
  }
}

// Opens a data file; a name that is not found gets a line saying where
// names are looked for, and where the file is when it lies beside the
// parameter file.
text::FreeReader open_data_file(const std::string& path, const std::string& parameter_file) {
  namespace fs = std::filesystem;
  try {
    return text::FreeReader::open(path);
  } catch (Stop& stop) {
    std::error_code ec;
    if (fs::exists(path, ec) || fs::path(path).is_absolute()) throw;
    const fs::path here = fs::current_path(ec);
    stop.lines.push_back("Names in the parameter file are taken relative to the folder the program runs in (" +
                         text::printable(here.string()) + "), not to the folder of the parameter file");
    const fs::path folder = fs::path(parameter_file).parent_path();
    if (!folder.empty() && fs::exists(folder / path, ec) && fs::equivalent(folder, here, ec) == false) {
      stop.lines.push_back("There is a " + text::printable((folder / path).string()) + ": run the program in " +
                           text::printable(folder.string()) +
                           ", or give the data file's name in the parameter file with its folder");
    }
    throw;
  }
}

// The message for a data file whose point rows end before their error.
std::vector<std::string> missing_error(const std::string& path, int set, const DataSetSettings& s,
                                       const formats::DataFile& left) {
  return {"Error reading file \"" + text::printable(path) + "\", line " + std::to_string(left.short_line) + ": point " +
              std::to_string(left.short_point) + " has Q and F(Q) but no error of F(Q)",
          "Data set " + std::to_string(set) + " has sigma " + text::real_text(s.sigma) +
              ": a negative sigma reads each point's error from a third column of the data file. Give the set a"
              " positive sigma (the error of every point), or a file with an error column"};
}

}  // namespace

void read_data_sets(const RunParameters& par, Model& model, Console* console) {
  const RunParameters& params = par;
  std::int32_t reference_nq = 0;
  std::string reference_path;
  std::vector<float> reference_Q;  // the Q points of data set 1, from index 1

  // Sets are numbered with the fixed-coefficient ones first, as in the
  // parameter file, so reading them in number order reads those first.
  for (int i = 1; i <= params.nsets; ++i) {
    DataSet& set = model.sets[i];
    set.settings = params.sets[static_cast<std::size_t>(i - 1)];
    DataSetSettings& s = set.settings;
    const bool qdep = i > params.nsets_fixed;

    const std::string path = build_name(s.data_file, ".dat");
    text::FreeReader in = open_data_file(path, params.parameter_file);

    // The count line's checks, made before the heading is read.
    bool counted = false;
    const auto count = [&](std::int32_t nq) {
      counted = true;
      if (nq > max_q) {
        throw Stop({"Too many Q points", describe(path, i) + " holds " + std::to_string(nq) + " points; the limit is " +
                                             std::to_string(max_q) +
                                             ": average neighbouring points with yosta-tools import --rebin N"},
                   1);
      }
      if (i == 1) {
        if (nq < 2) {
          throw Stop(describe(path, i) + " gives nq = " + std::to_string(nq) +
                     "; at least 2 Q points are needed to define the Q grid");
        }
        reference_nq = nq;
        reference_path = path;
      }
      if (nq != reference_nq) {
        throw Stop({"Incompatible Q points in data files",
                    describe(path, i) + " holds " + std::to_string(nq) + " points, data file " + reference_path +
                        " (data set 1) " + std::to_string(reference_nq) +
                        "; every file needs the same points (yosta-tools import --grid-like puts one on another's "
                        "grid)"},
                   1);
      }
      model.q.nq = nq;
      if (s.q_last > nq) s.q_last = nq;
      if (s.q_first < 1 || s.q_first > s.q_last) {
        throw Stop(describe(path, i) + ": the fitted points " + std::to_string(s.q_first) + " to " +
                   std::to_string(s.q_last) + " do not lie within its " + std::to_string(nq) + " points");
      }
    };

    formats::DataFile data;
    Leftovers left;
    try {
      read_points(par, model, set, qdep, in, count, data, left);
    } catch (Stop& stop) {
      if (!counted) {
        stop.lines.push_back(
            "A data file starts with its number of Q points and a heading line; a measured file (a .mint01 file, "
            "or columns of Q, F(Q) and errors) becomes one with: yosta-tools import FILE -o NAME.dat");
        throw;
      }
      if (data.short_point == 0) throw;
      throw Stop(missing_error(path, i, s, data), 1);
    }
    const std::int32_t nq = data.nq;
    const std::vector<int>& lines = data.lines;
    check_q_points(path, i, model, lines, reference_Q, reference_path);
    if (i == 1) reference_Q.assign(model.q.Q.begin(), model.q.Q.begin() + nq + 1);
    const bool error_column = !qdep && !s.background_column && s.sigma < 0.0f;
    // Every row in the layout of a set with Q-dependent coefficients: Q,
    // F(Q) and one number per basis function.
    const bool coefficient_layout = !qdep && params.nbasis >= 2 && left.rows_coefficients == nq;
    if (coefficient_layout && error_column) {
      throw Stop({describe(path, i) + " holds Q, F(Q) and " + std::to_string(params.nbasis) +
                      " more numbers on every point row: the layout of a set with Q-dependent coefficients, "
                      "one per basis function",
                  "It is listed among the sets with fixed coefficients, where its sigma " + text::real_text(s.sigma) +
                      " reads the first coefficient as the error of each point: list it after the sets with fixed "
                      "coefficients and count it in nsets_qdep"},
                 1);
    }
    // With a positive sigma, a file's error column is not used: every point
    // gets the error sigma. Nothing to warn about.
    const bool unused_error_column =
        !qdep && !s.background_column && s.sigma >= 0.0f && left.rows_one_real == nq && left.rows == nq;
    const int extra_lines = data.lines_after;
    if (console != nullptr && left.rows > 0 && !unused_error_column) {
      console->line(" Warning: data file " + text::printable(path) + " has values left over on " +
                    std::to_string(left.rows) + " of its point rows (the first on line " +
                    std::to_string(left.first_line) + "); they are ignored");
      if (coefficient_layout) {
        console->line(" Data file " + text::printable(path) + " holds Q, F(Q) and " + std::to_string(params.nbasis) +
                      " more numbers on every point row, the layout of a set with Q-dependent coefficients: if its"
                      " coefficients are per point, list it after the sets with fixed coefficients and count it in"
                      " nsets_qdep");
      }
    }
    if (console != nullptr && extra_lines > 0) {
      console->line(" Warning: data file " + text::printable(path) + " has " + std::to_string(extra_lines) +
                    " lines after its " + std::to_string(nq) + " points; they are ignored");
    }

    const float q_last_value = model.q.Q[nq];
    if (!(q_last_value > 0.0f)) {
      throw Stop(describe(path, i) + ": the last Q value " + text::real_text(q_last_value) + " is not positive");
    }

    if (qdep) {
      // Every point's error is sigma with its sign; sigma keeps its sign.
      for (int k = 1; k <= nq; ++k) set.err[k] = s.sigma;
    } else {
      s.sigma = std::fabs(s.sigma);
    }
  }
}

}  // namespace yosta
