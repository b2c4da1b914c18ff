// yosta-tools check: what a careful user looks at before a long fit, from the
// parameter file and its data files read as yosta reads them. Per data set: the Q
// range and grid; the level F(Q) tends to at high Q (0 for F(Q) = sum w (S - 1));
// the transform of F(Q) below the shortest zero range, where every g(r) is 0 and the
// transform must equal the floor times the sum of the set's weights (-sum w), which
// tests the normalisation and units of the data against the weights. With as many
// sets as basis functions, a direct inversion with the file's weights gives each
// basis function's level inside its own zero range (the floor, -1 for g - 1), which
// tests the order of the weights and the labels of the sets. Each finding names the
// data file and says what to change; exit status 2 when there is one.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/stop.h"
#include "fit/build.h"
#include "fit/run.h"
#include "model/corrections.h"
#include "model/datasets.h"
#include "model/grid.h"
#include "model/transform.h"
#include "text/free_reader.h"
#include "tools/columns.h"
#include "tools/subcommands.h"
#include "base/circle.h"

namespace yosta::tools {
namespace {

// Thresholds of the findings, as fractions of the set's weight scale (sum of |w|)
// or, for the inversion, of the floor's size. Measured water (three neutron
// contrasts, Q 0.5 to 30) stays well inside them: high-Q levels below 1e-3 of the
// scale, transform levels within 0.12 of it, inversion levels within 0.4 of the floor.
// The ripple of F(Q) over the last quarter of the fitted points is 0.02 to 0.05 of
// that over the first quarter for the measured neutron sets of water and benzene
// (0.15 for water's X-ray set, which ends at 10.8); for Q F(Q) it is 0.23 to 0.9.
constexpr double level_limit = 0.5;      // high-Q level of F against the weight scale
constexpr double growth_limit = 0.2;     // ripple of the last quarter against the first
constexpr double transform_limit = 0.5;  // transform below the zero ranges, off its level
constexpr double inversion_limit = 0.6;  // inverted basis function, off the floor
// The inversion carries each set's own deviation (up to about a tenth of its weights'
// size on measured data) into the basis functions, amplified by the inverse of the
// weight matrix: a basis function that the sets determine poorly gets a wider
// tolerance, this many times that amplified tenth (benzene's H-H, amplified 7.7
// times, inverts to 1.13 off the floor with correct weights).
constexpr double amplified_limit = 0.2;
constexpr double window_start = 0.3;  // Angstrom: below it slow backgrounds dominate

std::string trimmed(const std::string& s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// Root mean square of y about its straight-line fit against x.
double ripple(const std::vector<double>& x, const std::vector<double>& y) {
  const auto n = static_cast<double>(x.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
    sxx += x[i] * x[i];
    sxy += x[i] * y[i];
  }
  const double d = n * sxx - sx * sx;
  const double b = d == 0.0 ? 0.0 : (n * sxy - sx * sy) / d;
  const double a = (sy - b * sx) / n;
  double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) s += (y[i] - a - b * x[i]) * (y[i] - a - b * x[i]);
  return std::sqrt(s / n);
}

// The distances of a window [from, to], 0.005 A apart, at the middle of each step.
std::vector<double> window(double from, double to) {
  std::vector<double> r;
  const double step = 0.005;
  for (double x = from + 0.5 * step; x < to; x += step) r.push_back(x);
  return r;
}

// Where the transform is compared with its level: from window_start (or half the
// range's end when that is shorter) to the end of the range.
double window_from(double r_from, double r_to) {
  return std::max(static_cast<double>(r_from), std::min(window_start, 0.5 * r_to));
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

// Solves a x = b (n unknowns, a row-major) by elimination with partial pivoting;
// false when a pivot is below `tiny` times the matrix's largest element.
bool solve(std::vector<double> a, std::vector<double>& b, std::size_t n) {
  double biggest = 0;
  for (double x : a) biggest = std::max(biggest, std::fabs(x));
  const double tiny = 1e-9 * biggest;
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t i = c + 1; i < n; ++i)
      if (std::fabs(a[i * n + c]) > std::fabs(a[pivot * n + c])) pivot = i;
    if (!(std::fabs(a[pivot * n + c]) > tiny)) return false;
    if (pivot != c) {
      for (std::size_t j = 0; j < n; ++j) std::swap(a[c * n + j], a[pivot * n + j]);
      std::swap(b[c], b[pivot]);
    }
    for (std::size_t i = c + 1; i < n; ++i) {
      const double m = a[i * n + c] / a[c * n + c];
      for (std::size_t j = c; j < n; ++j) a[i * n + j] -= m * a[c * n + j];
      b[i] -= m * b[c];
    }
  }
  for (std::size_t c = n; c-- > 0;) {
    double s = b[c];
    for (std::size_t j = c + 1; j < n; ++j) s -= a[c * n + j] * b[j];
    b[c] = s / a[c * n + c];
  }
  return true;
}

class Checker {
 public:
  Checker(const Run& run, std::ostream& out) : par_(run.params), model_(run.model), out_(out) {}

  int findings() const { return findings_; }

  void all() {
    out_ << format("%d data set%s, %d basis function%s (%s), density %g atoms/A^3\n", par_.nsets,
                   par_.nsets == 1 ? "" : "s", par_.nbasis, par_.nbasis == 1 ? "" : "s",
                   par_.qdep_coefficients ? "g(r) - 1, floor -1" : "fixed mode, weighted sums",
                   static_cast<double>(par_.density));
    shortest_ = -1;
    for (const ZeroConstraint& z : par_.zero)
      if (shortest_ < 0 || static_cast<double>(z.r_to) < shortest_) shortest_ = z.r_to;
    for (int s = 1; s <= par_.nsets; ++s) data_set(s);
    inversion();
  }

 private:
  const DataSet& set(int s) const { return model_.sets[static_cast<std::size_t>(s)]; }
  std::string file(int s) const { return trimmed(set(s).settings.data_file); }
  double Q(int k) const { return static_cast<double>(model_.q.Q[static_cast<std::size_t>(k)]); }

  void finding(const std::string& text) {
    ++findings_;
    out_ << "  FINDING: " << text << "\n";
  }

  // Sum and scale (sum of magnitudes) of the weights of set s at point k, as the
  // fit uses them (fixed mode: the first weight of set 1 is 1).
  void weights(int s, int k, double& sum, double& scale) const {
    sum = scale = 0;
    for (int p = 1; p <= par_.nbasis; ++p) {
      const double c = static_cast<double>(set(s).coef[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)]);
      sum += c;
      scale += std::fabs(c);
    }
  }

  void data_set(int s) {
    const DataSet& d = set(s);
    const int first = d.settings.q_first, last = d.settings.q_last;
    out_ << format("\nData set %d (%s): %d points, Q %g to %g in steps of %g; fitted points %d to %d, Q %g to %g\n", s,
                   file(s).c_str(), model_.q.nq, Q(1), Q(model_.q.nq), static_cast<double>(model_.q.dq), first, last,
                   Q(first), Q(last));
    std::vector<double> q, f;
    double sum = 0, scale = 0;
    for (int k = first; k <= last; ++k) {
      q.push_back(Q(k));
      f.push_back(static_cast<double>(d.F[static_cast<std::size_t>(k)]));
      double w_sum = 0, w_scale = 0;
      weights(s, k, w_sum, w_scale);
      sum += w_sum;
      scale += w_scale;
    }
    sum /= static_cast<double>(q.size());
    scale /= static_cast<double>(q.size());
    out_ << format("  weights: sum %.6g, sum of magnitudes %.6g%s\n", sum, scale,
                   d.settings.qdep ? " (means over the fitted points)" : "");
    if (q.size() < 8) {
      out_ << "  too few fitted points for the checks below\n";
      return;
    }
    if (!(scale > 0)) {
      finding(file(s) +
              ": every weight of this set is 0, so it constrains nothing; give its coefficient record "
              "(or the coefficient columns of its file) the set's weights");
      return;
    }
    high_q(s, q, f, scale);
    short_distances(s, q, f, sum, scale);
  }

  void high_q(int s, const std::vector<double>& q, const std::vector<double>& f, double scale) {
    const std::size_t n = q.size(), quarter = n / 4;
    const std::vector<double> q_lo(q.begin(), q.begin() + static_cast<long>(quarter));
    const std::vector<double> f_lo(f.begin(), f.begin() + static_cast<long>(quarter));
    const std::vector<double> q_hi(q.end() - static_cast<long>(quarter), q.end());
    const std::vector<double> f_hi(f.end() - static_cast<long>(quarter), f.end());
    const double level = mean(f_hi);
    const double lo = ripple(q_lo, f_lo), hi = ripple(q_hi, f_hi);
    const double growth = lo > 0 ? hi / lo : 0.0;
    out_ << format("  high-Q level (mean of F over Q %g to %g): %.4g; ripple there %.3g of the first quarter's\n",
                   q_hi.front(), q_hi.back(), level, growth);
    const std::string name = file(s);
    if (std::fabs(level - 1.0) < 0.25 && std::fabs(level) > level_limit * scale)
      finding(name + " tends to " + format("%.3g", level) +
              " at high Q, near 1: it looks like S(Q), not F(Q) = sum w (S - 1), which tends to 0. Give F(Q) (for "
              "a normalised S(Q): (S - 1) times the sum of the weights), or subtract 1 with fq_offset 1.0 if the "
              "weights already match its normalisation");
    else if (std::fabs(level) > level_limit * scale)
      finding(name + " tends to " + format("%.3g", level) + " at high Q, where F(Q) = sum w (S - 1) tends to 0 (" +
              format("%.3g", level / scale) +
              " of the weights' size): subtract the level with fq_offset, or check that the self scattering was "
              "removed");
    if (growth > growth_limit)
      finding(name + ": the ripple of F(Q) over its last quarter is " + format("%.2f", growth) +
              " of that over its first quarter; the oscillations of F(Q) die away with Q, those of Q (S - 1) do "
              "not: if the file holds Q F(Q) or Q [S(Q) - 1], divide it by Q");
  }

  void short_distances(int s, const std::vector<double>& q, const std::vector<double>& f, double sum, double scale) {
    if (shortest_ <= 0) {
      out_ << "  no zero range: no check of the transform at short distances\n";
      return;
    }
    const double level_expected = static_cast<double>(model_.Z) * sum;
    const double from = window_from(0.0, shortest_);
    const std::vector<double> r = window(from, shortest_);
    if (r.empty()) {
      out_ << "  the shortest zero range is too short for a check of the transform\n";
      return;
    }
    const double level = mean(short_distance_transform(q, f, r, static_cast<double>(par_.density), q.back(), true));
    const double off = level - level_expected;
    out_ << format(
        "  transform of F(Q) over r %.2g to %.3g A (below the shortest zero range): %.4g; expected %.4g "
        "(floor %g times the sum of the weights), off by %.3g of the weights' size\n",
        from, shortest_, level, level_expected, static_cast<double>(model_.Z), off / scale);
    if (std::fabs(off) > transform_limit * scale) {
      const double ratio = level_expected != 0.0 ? level / level_expected : 0.0;
      std::string hint;
      if (std::fabs(ratio - four_pi) < 2.0 || std::fabs(ratio - 1.0 / four_pi) < 0.03)
        hint = " (a factor of about 4 pi: per steradian against per atom)";
      finding(file(s) + ": below the shortest zero range (" + format("%.3g", shortest_) +
              " A) the transform of F(Q) is " + format("%.4g", level) + ", " + format("%.3g", ratio) +
              " times the level " + format("%.4g", level_expected) + " that the weights and density give" + hint +
              ": the data and the weights are in different units or normalisations (barn against normalised to "
              "1?). Scale the data file or the set's weights so that they agree, and check the density");
    }
  }

  void inversion() {
    const int single_set_findings = findings_;
    const int n = par_.nbasis;
    if (par_.nsets != n) {
      out_ << format("\nNo direct inversion: %d data sets for %d basis functions (it needs as many of each)\n",
                     par_.nsets, n);
      return;
    }
    int first = 1, last = model_.q.nq;
    for (int s = 1; s <= n; ++s) {
      first = std::max(first, static_cast<int>(set(s).settings.q_first));
      last = std::min(last, static_cast<int>(set(s).settings.q_last));
    }
    if (last - first < 8) {
      out_ << "\nNo direct inversion: the fitted Q ranges of the sets hardly overlap\n";
      return;
    }
    // S_p(Q) - 1 (or the basis functions' transforms in fixed mode) at every point.
    std::vector<std::vector<double>> basis(static_cast<std::size_t>(n));
    std::vector<double> q;
    const auto un = static_cast<std::size_t>(n);
    for (int k = first; k <= last; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      std::vector<double> a(un * un), b(un);
      for (int s = 1; s <= n; ++s) {
        const auto us = static_cast<std::size_t>(s - 1);
        b[us] = static_cast<double>(set(s).F[uk]);
        for (int p = 1; p <= n; ++p)
          a[us * un + static_cast<std::size_t>(p - 1)] =
              static_cast<double>(set(s).coef[static_cast<std::size_t>(p)][uk]);
      }
      if (!solve(a, b, un)) {
        std::string names;
        for (int s = 1; s <= n; ++s) names += (s > 1 ? ", " : "") + file(s);
        finding("the weights of " + names + " at Q = " + format("%g", Q(k)) +
                " do not separate the basis functions (two sets have proportional weights): one set is given "
                "twice or its weights are copied from another set");
        return;
      }
      q.push_back(Q(k));
      for (std::size_t p = 0; p < un; ++p) basis[p].push_back(b[p]);
    }
    // How much each basis function's level moves per unit of the sets' typical
    // deviations: sum over sets of |(C^-1)_ps| times the set's weight size, with C
    // the weights averaged over the points.
    std::vector<double> c_mean(un * un, 0.0), set_scale(un, 0.0);
    for (int k = first; k <= last; ++k)
      for (std::size_t s = 0; s < un; ++s)
        for (std::size_t p = 0; p < un; ++p) {
          const double c = static_cast<double>(set(static_cast<int>(s) + 1).coef[p + 1][static_cast<std::size_t>(k)]);
          c_mean[s * un + p] += c / static_cast<double>(last - first + 1);
          set_scale[s] += std::fabs(c) / static_cast<double>(last - first + 1);
        }
    std::vector<double> amplification(un, 0.0);
    for (std::size_t s = 0; s < un; ++s) {
      std::vector<double> column(un, 0.0);
      column[s] = 1.0;
      if (!solve(c_mean, column, un)) return;  // every point was solved above; not reached in practice
      for (std::size_t p = 0; p < un; ++p) amplification[p] += std::fabs(column[p]) * set_scale[s];
    }
    const double floor = static_cast<double>(model_.Z);
    out_ << format("\nDirect inversion of the %d sets with their weights, Q %g to %g (Lorch window):\n", n, q.front(),
                   q.back());
    for (int p = 1; p <= n; ++p) {
      bool any = false;
      for (const ZeroConstraint& z : par_.zero) {
        if (z.partial != p) continue;
        any = true;
        const double to = static_cast<double>(z.r_to);
        const double from = window_from(static_cast<double>(z.r_from), to);
        const std::vector<double> r = window(from, to);
        if (r.empty() || floor == 0.0) {
          out_ << format("  basis function %d over r %.3g to %.3g A: %s\n", p, from, to,
                         r.empty() ? "zero range too short to compare" : "floor 0, nothing to compare with");
          continue;
        }
        const double level = mean(short_distance_transform(q, basis[static_cast<std::size_t>(p - 1)], r,
                                                           static_cast<double>(par_.density), q.back(), true));
        const double limit =
            std::max(inversion_limit, amplified_limit * amplification[static_cast<std::size_t>(p - 1)]) *
            std::fabs(floor);
        out_ << format("  basis function %d over r %.3g to %.3g A (zero range): %.3f, floor %g, tolerance %.2g\n", p,
                       from, to, level, floor, limit);
        if (std::fabs(level - floor) > limit) {
          std::string names;
          for (int s = 1; s <= n; ++s) names += (s > 1 ? ", " : "") + file(s);
          finding(
              "the direct inversion of " + names + " gives basis function " + std::to_string(p) + " a level of " +
              format("%.3g", level) + " inside its zero range (" + format("%.3g", from) + " to " + format("%.3g", to) +
              " A), where it must be " + format("%g", floor) +
              ": the weights are in the wrong order (each coefficient record lists the basis functions in "
              "the order of the zero ranges and the result columns) or a set has another set's weights "
              "(check which data file each block names)" +
              (single_set_findings > 0 ? "; a finding of a single set above has the same effect: fix that first" : ""));
        }
      }
      if (!any) out_ << format("  basis function %d: no zero range, nothing to compare\n", p);
    }
  }

  const RunParameters& par_;
  const Model& model_;
  std::ostream& out_;
  double shortest_ = -1;
  int findings_ = 0;
};

void run_check(const std::string& parameter_file) {
  Console console(std::cout, std::cin);
  BuildOptions build;
  build.stage = BuildStage::corrected;
  const std::unique_ptr<Run> run = build_run(parameter_file, build, console);
  Checker checker(*run, std::cout);
  std::cout << "Checking " << parameter_file << ": ";
  checker.all();
  std::cout << '\n';
  if (checker.findings() == 0) {
    std::cout << "No findings: the data and weights look consistent.\n";
    return;
  }
  std::cout.flush();
  throw Stop(std::to_string(checker.findings()) + (checker.findings() == 1 ? " finding" : " findings") +
                 " (marked FINDING above): fix them, or fit knowing them",
             2);
}

}  // namespace

void add_check(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand(
      "check", "Check a parameter file and its data files before a fit: Q grid, high-Q level, units, weight order");
  sub->add_option("PARAMETER_FILE", *path, "the parameter file (data file names relative to the current folder)")
      ->required();
  sub->footer(
      "Reads the parameter file and its data files as yosta does, and reports per data set: the Q range\n"
      "and grid; the level F(Q) tends to at high Q (0 for F(Q); near 1 suggests S(Q)); the transform of\n"
      "F(Q) below the shortest zero range against -sum w (units and normalisation); and, with as many\n"
      "data sets as basis functions, each basis function's level inside its zero range from a direct\n"
      "inversion with the file's weights (near -1 for g - 1; far off: weights in the wrong order or a\n"
      "set mislabelled). Exit status 0: no findings; 2: findings (marked FINDING); 1: unreadable input.\n"
      "Example:\n  yosta-tools check water_3sets.dat");
  sub->callback([path] { run_check(*path); });
}

}  // namespace yosta::tools
