// Reading the experimental data files. Every file holds its point count, a
// heading line and one free-format record per point; the columns of a point
// depend on the kind of set and on its background and sigma switches.
#include "model/datasets.h"

#include <cmath>
#include <string>

#include "base/files.h"
#include "base/stop.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

std::string describe(const std::string& path, int set) {
  return "Data file " + text::printable(path) + " (data set " + std::to_string(set) + ")";
}

// What a file held beyond its point records.
struct Leftovers {
  int rows = 0;        // point rows with values left over
  int first_line = 0;  // the first of them
};

// Reads the nq point records of one set into model.q.Q and the set's arrays.
Leftovers read_points(const RunParameters& par, Model& model, DataSet& set, bool qdep, text::FreeReader& in) {
  Leftovers left;
  const RunParameters& params = par;
  const DataSetSettings& s = set.settings;
  const std::int32_t nq = model.q.nq;
  const bool error_column = !qdep && !s.background_column && s.sigma < 0.0f;

  for (int k = 1; k <= nq; ++k) {
    const auto uk = static_cast<std::size_t>(k);
    in.begin("Q point record");
    in.get(model.q.Q[uk], "Q value (real)");
    in.get(set.F[uk], "F(Q) value (real)");
    if (qdep) {
      for (int p = 1; p <= params.nbasis; ++p) {
        in.get(set.coef[static_cast<std::size_t>(p)][uk], "coefficient of a basis function (real)");
      }
    } else if (error_column) {
      // A fitted point's error of 0 is refused later with the fit's own message.
      if (in.get(set.err[uk], "error of F(Q) (real)") && k >= s.q_first && k <= s.q_last && in.last_is_nonzero() &&
          inverse_square_overflows(set.err[uk]))
        in.refuse_last("error of F(Q) (real) at point " + std::to_string(k), "is so small that 1/error^2 overflows");
    }
    if (s.background_column) in.get(set.background[uk], "background (real)");
    if (in.values_left_on_line() && left.rows++ == 0) left.first_line = in.line_number();
    in.end();

    if (!s.background_column) set.background[uk] = 0.0f;
    if (!qdep) {
      for (int p = 1; p <= params.nbasis; ++p) {
        set.coef[static_cast<std::size_t>(p)][uk] = s.coefficients[static_cast<std::size_t>(p - 1)];
      }
      // With a background column the error is sigma with its sign, also when
      // sigma is negative: no error column is read then.
      if (!error_column) set.err[uk] = s.sigma;
    }
  }
  return left;
}

}  // namespace

void read_data_sets(const RunParameters& par, Model& model, Console* console) {
  const RunParameters& params = par;
  std::int32_t reference_nq = 0;
  std::string reference_path;

  // Sets are numbered with the fixed-coefficient ones first, as in the
  // parameter file, so reading them in number order reads those first.
  for (int i = 1; i <= params.nsets; ++i) {
    DataSet& set = model.sets[static_cast<std::size_t>(i)];
    set.settings = params.sets[static_cast<std::size_t>(i - 1)];
    DataSetSettings& s = set.settings;
    const bool qdep = i > params.nsets_fixed;

    const std::string path = build_name(s.data_file, ".dat");
    text::FreeReader in = text::FreeReader::open(path);

    const std::int32_t nq = in.read_int("number of Q points (integer)");
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
                      "; every file needs the same points (yosta-tools import --grid-like puts one on another's grid)"},
                 1);
    }
    model.q.nq = nq;

    if (s.q_last > nq) s.q_last = nq;
    if (s.q_first < 1 || s.q_first > s.q_last) {
      throw Stop(describe(path, i) + ": the fitted points " + std::to_string(s.q_first) + " to " +
                 std::to_string(s.q_last) + " do not lie within its " + std::to_string(nq) + " points");
    }

    in.skip_line("heading line");
    const Leftovers left = read_points(par, model, set, qdep, in);
    const int extra_lines = in.text_lines_after();
    if (console != nullptr && left.rows > 0) {
      console->line(" Warning: data file " + text::printable(path) + " has values left over on " +
                    std::to_string(left.rows) + " of its point rows (the first on line " +
                    std::to_string(left.first_line) + "); they are ignored");
    }
    if (console != nullptr && extra_lines > 0) {
      console->line(" Warning: data file " + text::printable(path) + " has " + std::to_string(extra_lines) +
                    " lines after its " + std::to_string(nq) + " points; they are ignored");
    }

    const float q_last_value = model.q.Q[static_cast<std::size_t>(nq)];
    if (!(q_last_value > 0.0f)) {
      throw Stop(describe(path, i) + ": the last Q value " + text::real_text(q_last_value) + " is not positive");
    }

    if (qdep) {
      // Every point's error is sigma with its sign; sigma keeps its sign.
      for (int k = 1; k <= nq; ++k) set.err[static_cast<std::size_t>(k)] = s.sigma;
    } else {
      s.sigma = std::fabs(s.sigma);
    }
  }
}

}  // namespace yosta
