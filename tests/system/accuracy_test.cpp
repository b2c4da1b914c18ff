// Accuracy on the bundled example: the binary Lennard-Jones liquid of examples/, whose
// partial g(r)s are known, measured by three noisy contrasts. Seeded fits of it, bounded
// by a move budget, are compared with the truth, and so is the conventional answer: the
// three totals inverted into partial structure factors point by point, each then sine
// Fourier transformed over the measured Q range, with no window or with a Lorch window.
//
// A single state of the walk fits the noise of the data as well as the signal; at Q near
// Qmax, where the r grid has its Nyquist frequency, that noise shows up as point-to-point
// ripples of the fitted g(r)s. Without smoothing (single-point moves alone) the fit is
// closer to the truth than the plain transform, but not than the Lorch-windowed one,
// which averages r (g - 1) over +-pi/Qmax. With the curvature smoothing the example
// ships with (as strong as it can be while every data set still fits at chi-squared per
// point close to 1), the fit is closer to the truth than either.
//
// The RMS errors, per partial and over the three, are printed and recorded as test
// properties (visible in the XML output), for the record.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/programs.h"

namespace {

namespace fs = std::filesystem;
using namespace yosta::testing;

constexpr double pi = 3.14159265358979323846;
constexpr long kMoves = 3000000;
// The compared range: from below the first shells, where the zero constraints hold the
// fit at g = 0 and the truth is 0 too, out to where the fitted partials are still well
// inside the r grid (which ends at 15 A). For the record the errors are also given from
// 3.0 A, beyond every zero constraint, where the fit gets no help from them.
constexpr double kRmin = 2.0;
constexpr double kRbeyondZeros = 3.0;
constexpr double kRmax = 12.0;
const std::array<const char*, 3> kNames = {"AA", "AB", "BB"};
// Curvature smoothing (type 2): weight, length of the exponential factor (A), cut-off
// (A). With it chi-squared per point stays within 1.1 for every data set, as without it;
// ten times the weight over-smooths the first peaks and raises it to about 1.3.
const char* const kSmoothing =
    "T          smoothing_on\n2          smoothing_type: curvature\n"
    "1.0  2.0  0.0   smoothing_weight, exponent (A), cut-off (A)";

// The seed of the fits: 12345, or YOSTA_ACCURACY_SEED to try the comparison on other walks.
std::string seed() { return yosta::testing::seed_from_env("YOSTA_ACCURACY_SEED", "12345"); }

std::string example_dir() { return std::string(YOSTA_SOURCE_DIR) + "/examples"; }

// The rows of a table file laid out as: count, heading, then `count` rows of at least
// `columns` numbers.
std::vector<std::vector<double>> read_table(const std::string& path, std::size_t columns) {
  std::vector<std::vector<double>> rows;
  const std::vector<std::string> lines = split_lines(read_file(path));
  if (lines.size() < 2 || numbers(lines[0]).empty()) {
    ADD_FAILURE() << path << ": no count record";
    return rows;
  }
  const auto count = static_cast<std::size_t>(numbers(lines[0])[0]);
  for (std::size_t i = 2; i < lines.size() && rows.size() < count; ++i) {
    std::vector<double> v = numbers(lines[i]);
    if (v.size() < columns) {
      ADD_FAILURE() << path << " line " << i + 1 << ": " << lines[i];
      return {};
    }
    v.resize(columns);
    rows.push_back(v);
  }
  EXPECT_EQ(rows.size(), count) << path;
  return rows;
}

// Three partial curves on an r grid.
struct Partials {
  std::vector<double> r;
  std::array<std::vector<double>, 3> g;
};

// The fitted partials of root.g: nr; generated and accepted; then r and g - 1 per basis
// function.
Partials read_fit(const std::string& path, long* generated) {
  Partials p;
  const std::vector<std::string> lines = split_lines(read_file(path));
  if (lines.size() < 3) {
    ADD_FAILURE() << path << " has " << lines.size() << " lines";
    return p;
  }
  const auto nr = static_cast<std::size_t>(numbers(lines[0]).at(0));
  EXPECT_EQ(lines.size(), nr + 2) << path;
  const std::vector<double> counts = numbers(lines[1]);
  *generated = counts.empty() ? -1 : static_cast<long>(counts[0]);
  for (std::size_t j = 2; j < lines.size(); ++j) {
    const std::vector<double> v = numbers(lines[j]);
    if (v.size() != 4) {
      ADD_FAILURE() << path << " line " << j + 1 << ": " << lines[j];
      return {};
    }
    p.r.push_back(v[0]);
    for (int b = 0; b < 3; ++b) p.g[b].push_back(v[b + 1] + 1.0);
  }
  return p;
}

// Linear interpolation in a table with increasing x; outside it, the end values.
double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  std::size_t hi = 1;
  while (x[hi] < at) ++hi;
  const double t = (at - x[hi - 1]) / (x[hi] - x[hi - 1]);
  return y[hi - 1] + t * (y[hi] - y[hi - 1]);
}

// Solves the 3x3 system a x = b by Gaussian elimination with partial pivoting.
std::array<double, 3> solve3(std::array<std::array<double, 3>, 3> a, std::array<double, 3> b) {
  for (int c = 0; c < 3; ++c) {
    int piv = c;
    for (int i = c + 1; i < 3; ++i)
      if (std::fabs(a[i][c]) > std::fabs(a[piv][c])) piv = i;
    std::swap(a[c], a[piv]);
    std::swap(b[c], b[piv]);
    for (int i = c + 1; i < 3; ++i) {
      const double f = a[i][c] / a[c][c];
      for (int k = c; k < 3; ++k) a[i][k] -= f * a[c][k];
      b[i] -= f * b[c];
    }
  }
  std::array<double, 3> x{};
  for (int i = 2; i >= 0; --i) {
    double s = b[i];
    for (int k = i + 1; k < 3; ++k) s -= a[i][k] * x[k];
    x[i] = s / a[i][i];
  }
  return x;
}

// The measured range and the partial structure factors S_ij(Q) - 1 on it.
struct Partial_sq {
  std::vector<double> q;
  std::array<std::vector<double>, 3> s;
};

// The first step of the conventional answer: at every measured Q the three totals
// F_d = sum_ij w_dij (S_ij - 1) are solved for the three S_ij - 1.
Partial_sq invert(const std::array<std::vector<std::vector<double>>, 3>& sets) {
  Partial_sq p;
  for (std::size_t k = 0; k < sets[0].size(); ++k) {
    std::array<std::array<double, 3>, 3> w{};
    std::array<double, 3> f{};
    for (int d = 0; d < 3; ++d) {
      EXPECT_NEAR(sets[d][k][0], sets[0][k][0], 1e-9) << "the Q grids of the data sets differ";
      f[d] = sets[d][k][1];
      for (int b = 0; b < 3; ++b) w[d][b] = sets[d][k][2 + b];
    }
    const std::array<double, 3> x = solve3(w, f);
    p.q.push_back(sets[0][k][0]);
    for (int b = 0; b < 3; ++b) p.s[b].push_back(x[b]);
  }
  return p;
}

// The second step: each partial transformed to
//   g_ij(r) = 1 + 1/(2 pi^2 rho r) int Q (S_ij(Q) - 1) M(Q) sin(Qr) dQ
// by the trapezoid rule over the measured range, with M = 1 or the Lorch window
// M = sin(Q D) / (Q D), D = pi / Qmax.
Partials transform(const Partial_sq& sq, double rho, const std::vector<double>& r, bool lorch) {
  const std::size_t nq = sq.q.size();
  const double d = pi / sq.q.back();
  Partials p;
  p.r = r;
  for (int b = 0; b < 3; ++b) {
    std::vector<double> y(nq);
    for (std::size_t k = 0; k < nq; ++k)
      y[k] = sq.q[k] * sq.s[b][k] * (lorch ? std::sin(sq.q[k] * d) / (sq.q[k] * d) : 1.0);
    p.g[b].resize(r.size());
    for (std::size_t j = 0; j < r.size(); ++j) {
      double integral = 0.0;
      for (std::size_t k = 0; k + 1 < nq; ++k)
        integral +=
            0.5 * (sq.q[k + 1] - sq.q[k]) * (y[k] * std::sin(sq.q[k] * r[j]) + y[k + 1] * std::sin(sq.q[k + 1] * r[j]));
      p.g[b][j] = 1.0 + integral / (2.0 * pi * pi * rho * r[j]);
    }
  }
  return p;
}

// The Lorch window in real space: multiplying S(Q) - 1 by sin(Q D) / (Q D) is averaging
// r (g(r) - 1) over [r - D, r + D]. Applied to the fitted curves (taken as linear between
// their points) it smooths them exactly as the window smooths the conventional answer.
Partials lorch_smoothed(const Partials& in, double d) {
  Partials out = in;
  constexpr int steps = 64;
  for (int b = 0; b < 3; ++b) {
    std::vector<double> y(in.r.size());
    for (std::size_t j = 0; j < in.r.size(); ++j) y[j] = in.r[j] * (in.g[b][j] - 1.0);
    for (std::size_t j = 0; j < in.r.size(); ++j) {
      double sum = 0.0;  // trapezoid rule over the window
      for (int i = 0; i <= steps; ++i) {
        const double at = in.r[j] - d + 2.0 * d * i / steps;
        // r (g - 1) is 0 at r = 0, where the grid has no point.
        const double v = at <= 0.0 ? 0.0 : at < in.r.front() ? y.front() * at / in.r.front() : interpolate(in.r, y, at);
        sum += (i == 0 || i == steps ? 0.5 : 1.0) * v;
      }
      out.g[b][j] = 1.0 + sum / steps / in.r[j];
    }
  }
  return out;
}

// RMS differences from the truth per partial over [rmin, kRmax], and over all three
// together (element 3).
std::array<double, 4> rms_errors(const Partials& p, const Partials& truth, double rmin = kRmin) {
  std::array<double, 4> e{};
  long n = 0;
  for (std::size_t j = 0; j < p.r.size(); ++j) {
    if (p.r[j] < rmin || p.r[j] > kRmax) continue;
    ++n;
    for (int b = 0; b < 3; ++b) {
      const double d = p.g[b][j] - interpolate(truth.r, truth.g[b], p.r[j]);
      e[b] += d * d;
    }
  }
  if (n == 0) return e;
  e[3] = std::sqrt((e[0] + e[1] + e[2]) / static_cast<double>(3 * n));
  for (int b = 0; b < 3; ++b) e[b] = std::sqrt(e[b] / static_cast<double>(n));
  return e;
}

void report(const std::string& label, const std::array<double, 4>& e) {
  std::printf("    %-32s AA %.4f  AB %.4f  BB %.4f  all %.4f\n", label.c_str(), e[0], e[1], e[2], e[3]);
  // The property name: the label's letters and digits, other runs of characters as '_'.
  std::string key;
  for (const char c : label) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0)
      key += c;
    else if (!key.empty() && key.back() != '_')
      key += '_';
  }
  for (int b = 0; b < 4; ++b) {
    char value[32];
    std::snprintf(value, sizeof value, "%.5f", e[b]);
    ::testing::Test::RecordProperty(key + (key.back() == '_' ? "" : "_") + "rms_" + (b < 3 ? kNames[b] : "all"), value);
  }
}

// The example's parameter file, its density and the data and the truth it is compared
// with, read once.
struct Example {
  std::vector<std::string> param;  // lines of binary.dat
  double rho = 0.0;
  Partials truth;
  Partial_sq true_sq;
  Partial_sq measured;
};

class Accuracy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ex_ = new Example;
    const std::string dir = example_dir();
    for (const char* f :
         {"binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat", "binary_true_gr.txt", "binary_true_sq.txt"})
      if (!fs::exists(dir + "/" + f)) missing_ += " " + std::string(f);
    if (!missing_.empty()) return;
    ex_->param = split_lines(read_file(dir + "/binary.dat"));
    // The density record is the fourth when live_plot (the third) is F.
    if (ex_->param.size() > 4 && numbers(ex_->param[3]).size() == 1 &&
        ex_->param[2].find_first_not_of(' ') == ex_->param[2].find('F'))
      ex_->rho = numbers(ex_->param[3])[0];
    for (const std::vector<double>& row : read_table(dir + "/binary_true_gr.txt", 4)) {
      ex_->truth.r.push_back(row[0]);
      for (int b = 0; b < 3; ++b) ex_->truth.g[b].push_back(row[b + 1]);
    }
    for (const std::vector<double>& row : read_table(dir + "/binary_true_sq.txt", 4)) {
      ex_->true_sq.q.push_back(row[0]);
      for (int b = 0; b < 3; ++b) ex_->true_sq.s[b].push_back(row[b + 1] - 1.0);
    }
    std::array<std::vector<std::vector<double>>, 3> sets;
    for (int d = 0; d < 3; ++d) sets[d] = read_table(dir + "/binary_F" + std::to_string(d + 1) + ".dat", 5);
    if (sets[1].size() == sets[0].size() && sets[2].size() == sets[0].size()) ex_->measured = invert(sets);
  }
  static void TearDownTestSuite() {
    delete ex_;
    ex_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(missing_.empty()) << "the bundled example in " << example_dir()
                                  << " is incomplete (it is part of the repository); missing:" << missing_;
    ASSERT_GT(ex_->rho, 0.0) << "no density record in the example's binary.dat";
    ASSERT_GT(ex_->truth.r.size(), 100u);
    ASSERT_GT(ex_->true_sq.q.size(), 10u);
    ASSERT_GT(ex_->measured.q.size(), 10u) << "the example's three data sets do not match";
  }

  // The example's parameter file with a run time long enough that the move budget always
  // ends the run, and its smoothing block (the smoothing_on record and, when it is on, the
  // records of the smoothing type) replaced: by `smoothing` when given, otherwise by
  // smoothing off.
  static std::string parameters(const char* smoothing) {
    std::string out;
    bool run_time = false, smoothing_on = false;
    for (std::size_t i = 0; i < ex_->param.size(); ++i) {
      const std::string& line = ex_->param[i];
      if (line.find("run_time") != std::string::npos) {
        out += "1000.0  1000.0  run_time, save_interval (minutes)\n";
        run_time = true;
      } else if (line.find("smoothing_on") != std::string::npos) {
        smoothing_on = true;
        out += (smoothing != nullptr ? std::string(smoothing) : "F          smoothing_on") + std::string("\n");
        const bool on = line.find_first_not_of(' ') == line.find('T');
        if (on && i + 1 < ex_->param.size()) {
          // The type, then one record of weights (types 1 and 2) or the number of
          // ranges and one record per range (type 3).
          const std::vector<double> type = numbers(ex_->param[i + 1]);
          std::size_t skip = 2;
          if (!type.empty() && type[0] == 3.0 && i + 2 < ex_->param.size()) {
            const std::vector<double> ranges = numbers(ex_->param[i + 2]);
            skip = 2 + (ranges.empty() ? 0 : static_cast<std::size_t>(ranges[0]));
          }
          i += skip;
        }
      } else {
        out += line + "\n";
      }
    }
    EXPECT_TRUE(run_time) << "no run_time record found in the example's binary.dat";
    EXPECT_TRUE(smoothing_on) << "no smoothing_on record found in the example's binary.dat";
    return out;
  }

  // Runs the fit in a scratch folder and returns its partials.
  static Partials fit(const std::string& param, long moves) {
    TempDir dir;
    write_file(dir.file("binary.dat"), param);
    for (int d = 1; d <= 3; ++d) {
      const std::string name = "binary_F" + std::to_string(d) + ".dat";
      write_file(dir.file(name), read_file(example_dir() + "/" + name));
    }
    const std::string command =
        "'" + yosta_binary() + "' --seed " + seed() + " --max-moves " + std::to_string(moves) + " binary.dat";
    const yosta::testing::CommandResult result = run_command(command, dir.path());
    // Ended by the move budget like a run at its time limit: status 10, results saved.
    EXPECT_EQ(result.status, 10) << result.output;
    if (!fs::exists(dir.file("binary.g"))) {
      ADD_FAILURE() << "no binary.g written\n" << result.output;
      return {};
    }
    long generated = 0;
    Partials p = read_fit(dir.file("binary.g"), &generated);
    EXPECT_EQ(generated, moves) << "the run should end at the move budget";
    return p;
  }

  // The errors of the fit, the fit smoothed by the Lorch window, and the conventional
  // answer without and with the window, printed over both ranges; returns them over the
  // compared range in that order.
  static std::array<std::array<double, 4>, 4> compare(const std::string& what, const Partials& f, long moves) {
    const Partials plain = transform(ex_->measured, ex_->rho, f.r, false);
    const Partials lorch = transform(ex_->measured, ex_->rho, f.r, true);
    const Partials f_lorch = lorch_smoothed(f, pi / ex_->measured.q.back());
    std::array<std::array<double, 4>, 4> compared{};
    for (const double rmin : {kRmin, kRbeyondZeros}) {
      const std::array<std::array<double, 4>, 4> e = {
          rms_errors(f, ex_->truth, rmin), rms_errors(f_lorch, ex_->truth, rmin), rms_errors(plain, ex_->truth, rmin),
          rms_errors(lorch, ex_->truth, rmin)};
      if (rmin == kRmin) compared = e;
      char range[80];
      std::snprintf(range, sizeof range, "%.1f to %.1f A", rmin, kRmax);
      std::printf("    RMS error of g(r), %s; %s; seed %s, %ld moves\n", range, what.c_str(), seed().c_str(), moves);
      const std::string to = rmin == kRmin ? "" : ", from 3 A";
      report("fit" + to, e[0]);
      report("fit, Lorch-smoothed" + to, e[1]);
      report("inversion + FT" + to, e[2]);
      report("inversion + FT, Lorch" + to, e[3]);
    }
    RecordProperty("seed", seed());
    RecordProperty("moves", std::to_string(moves));
    return compared;
  }

  static Example* ex_;
  static std::string missing_;
};

Example* Accuracy::ex_ = nullptr;
std::string Accuracy::missing_;

// The transform on the noise-free partial structure factors: only the truncation of the
// measured Q range separates it from the truth; a wrong density or normalisation would
// not.
TEST_F(Accuracy, ConventionalTransformOfExactStructureFactorsReproducesTruth) {
  std::vector<double> r;
  for (double x = 0.25; x < 15.0; x += 0.25) r.push_back(x);
  const std::array<double, 4> e = rms_errors(transform(ex_->true_sq, ex_->rho, r, false), ex_->truth);
  report("FT of the true S(Q)", e);
  EXPECT_LT(e[3], 0.03);
  for (int b = 0; b < 3; ++b) EXPECT_LT(e[b], 0.04) << kNames[b];
}

// The example with its smoothing switched off: single-point moves alone.
TEST_F(Accuracy, FitOfExampleBeatsPlainInversion) {
  const long moves = slow_build ? kMoves / 20 : kMoves;
  const std::string param = parameters(nullptr);
  ASSERT_NE(param.find("F          smoothing_on"), std::string::npos);
  ASSERT_EQ(param.find("smoothing_type"), std::string::npos) << param;
  const Partials f = fit(param, moves);
  ASSERT_GT(f.r.size(), 50u);
  const std::array<std::array<double, 4>, 4> e = compare("without smoothing", f, moves);
  if (slow_build)
    GTEST_SKIP() << "the accuracy comparison needs an optimised build without sanitizers (this "
                    "build ran a twentieth of the moves)";
  EXPECT_LT(e[0][3], e[2][3]) << "fitted partials no closer to the truth than the inversion";
}

// The example with curvature smoothing: closer to the truth than the better of the two
// conventional answers.
TEST_F(Accuracy, SmoothedFitOfExampleBeatsBestInversion) {
  const long moves = slow_build ? kMoves / 20 : kMoves;
  const Partials f = fit(parameters(kSmoothing), moves);
  ASSERT_GT(f.r.size(), 50u);
  const std::array<std::array<double, 4>, 4> e = compare("with curvature smoothing", f, moves);
  if (slow_build)
    GTEST_SKIP() << "the accuracy comparison needs an optimised build without sanitizers (this "
                    "build ran a twentieth of the moves)";
  const std::array<double, 4>& best = e[3][3] < e[2][3] ? e[3] : e[2];
  EXPECT_LT(e[0][3], best[3]) << "fitted partials no closer to the truth than the conventional answer";
  for (int b = 0; b < 3; ++b)
    EXPECT_LT(e[0][b], best[b]) << "fitted g_" << kNames[b] << " no closer to the truth than the conventional answer";
}

}  // namespace
