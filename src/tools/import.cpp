#include "tools/import.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "base/stop.h"
#include "input/capacities.h"
#include "base/option_checks.h"
#include "tools/outputs.h"
#include "tools/subcommands.h"
#include "base/circle.h"

namespace yosta::tools {
namespace {

constexpr double grid_tolerance = 0.05;  // of dq: how far a Q may lie off its grid point
constexpr double padding_error = 1.0e6;  // the error of points added by --grid-like

// A weighted mean of rows: F and coefficients averaged, errors combined as
// independent, sqrt(sum w^2 s^2) / sum w.
std::vector<double> combine(const std::vector<const std::vector<double>*>& rows, const std::vector<double>& w,
                            bool has_error) {
  double total = 0.0;
  for (double x : w) total += x;
  std::vector<double> out(rows.front()->size(), 0.0);
  for (std::size_t c = 0; c < out.size(); ++c) {
    double s = 0.0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const double x = (*rows[r])[c];
      s += has_error && c == 1 ? w[r] * w[r] * x * x : w[r] * x;
    }
    out[c] = has_error && c == 1 ? std::sqrt(s) / total : s / total;
  }
  return out;
}

long floor_div(long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::string q_text(double q) { return format("%.6g", q); }

Series from_table(const Table& t, const ImportOptions& o, std::vector<std::string>& steps) {
  const std::size_t n = t.rows.size();
  const double q0 = t.rows.front()[0];
  const double qn = t.rows.back()[0];
  Series s;
  s.dq = o.dq > 0.0 ? o.dq : (qn - q0) / static_cast<double>(n - 1);
  if (!(s.dq > 0.0)) {
    throw Stop(t.path + ", line " + std::to_string(t.lines.back()) + ": the last Q (" + q_text(qn) +
               ") is not above the first (" + q_text(q0) + "); Q must increase");
  }
  if (q0 < 0.0)
    throw Stop(t.path + ", line " + std::to_string(t.lines.front()) + ": Q = " + q_text(q0) + " is negative");
  const double x0 = q0 / s.dq;
  const double frac = x0 - std::floor(x0);
  if (frac <= grid_tolerance || frac >= 1.0 - grid_tolerance) {
    s.k0 = std::lround(x0);
  } else if (std::fabs(frac - 0.5) <= grid_tolerance) {
    s.centred = true;
    s.k0 = static_cast<long>(std::floor(x0));
  } else {
    throw Stop(t.path + ", line " + std::to_string(t.lines.front()) + ": the first Q, " + q_text(q0) + ", is " +
               format("%.4g", x0) + " dq with dq = " + q_text(s.dq) +
               ": neither a multiple of dq nor a bin centre (k + 1/2) dq; give the grid's step with --dq");
  }
  s.has_error = !o.qdep && t.width() >= 3;
  double largest_move = 0.0;
  std::size_t moved_row = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double q = t.rows[i][0];
    if (std::fabs(q - s.q(i)) > largest_move) {
      largest_move = std::fabs(q - s.q(i));
      moved_row = i;
    }
    if (std::fabs(q - s.q(i)) > grid_tolerance * s.dq) {
      throw Stop(t.path + ", line " + std::to_string(t.lines[i]) + ": Q = " + q_text(q) +
                 " where an even grid of step " + q_text(s.dq) + " from the first Q puts " + q_text(s.q(i)) +
                 "; the points must be evenly spaced without gaps");
    }
    // An error is a standard deviation: a negative one is a slip, not a value.
    if (s.has_error && t.rows[i][2] < 0.0) {
      throw Stop(t.path + ", line " + std::to_string(t.lines[i]) + ", column 3: the error " +
                 format("%g", t.rows[i][2]) + " is negative; errors are standard deviations (0 or more)");
    }
    s.rows.emplace_back(t.rows[i].begin() + 1, t.rows[i].end());
  }
  steps.push_back("read " + std::to_string(n) + " points from " + t.path + ", Q " + q_text(q0) + " to " + q_text(qn) +
                  ", dq " + q_text(s.dq) + (s.centred ? ", at bin centres (k + 1/2) dq" : ", at k dq"));
  // Values printed to a few digits are off their grid point by the rounding;
  // a larger difference (a typing slip) is named.
  if (largest_move > 1e-3 * s.dq) {
    steps.push_back("Q taken as k dq; the largest difference, " + format("%.3g", largest_move) + " at line " +
                    std::to_string(t.lines[moved_row]) + " (Q " + q_text(t.rows[moved_row][0]) + ")");
  }
  if (t.padding_dropped > 0) {
    steps.push_back("left out " + std::to_string(t.padding_dropped) + " trailing row(s) of zeros");
  }
  return s;
}

// Averages of native bins at (k + 1/2) dq over windows n dq wide centred on
// multiples of n dq: an even n takes n whole bins, an odd n the n - 1 bins
// inside and half of each bin the window's edges cut (the same as
// interpolating onto k dq and averaging n points, with independent errors).
Series rebin_centred(const Series& s, int n) {
  Series out;
  out.dq = s.dq * n;
  out.has_error = s.has_error;
  const long span = n % 2 == 0 ? n : n + 1;  // bins touched by one window
  std::vector<double> w(static_cast<std::size_t>(span), 1.0);
  if (n % 2 != 0) w.front() = w.back() = 0.5;
  // A window starting at bin k_s is centred on (k_s + span / 2) dq.
  const long half = span / 2;
  long first = s.k0;
  while (((first + half) % n + n) % n != 0) ++first;
  out.k0 = (first + half) / n;
  const long last = s.k0 + static_cast<long>(s.rows.size()) - 1;
  for (long start = first; start + span - 1 <= last; start += n) {
    std::vector<const std::vector<double>*> group;
    for (long k = start; k < start + span; ++k) group.push_back(&s.rows[static_cast<std::size_t>(k - s.k0)]);
    out.rows.push_back(combine(group, w, s.has_error));
  }
  return out;
}

// Averages over n points of a k dq grid centred on multiples of n dq; an even
// n takes n + 1 points with half weight at both ends.
Series rebin_integer(const Series& s, int n) {
  Series out;
  out.dq = s.dq * n;
  out.has_error = s.has_error;
  const long half = n / 2;
  const long last = s.k0 + static_cast<long>(s.rows.size()) - 1;
  std::vector<double> w(static_cast<std::size_t>(2 * half + 1), 1.0);
  if (n % 2 == 0) w.front() = w.back() = 0.5;
  long centre = floor_div(s.k0 + half + n - 1, n) * n;
  out.k0 = centre / n;
  for (; centre + half <= last; centre += n) {
    std::vector<const std::vector<double>*> group;
    for (long k = centre - half; k <= centre + half; ++k) group.push_back(&s.rows[static_cast<std::size_t>(k - s.k0)]);
    out.rows.push_back(combine(group, w, s.has_error));
  }
  return out;
}

Series on_grid_like(const Series& s, const ImportOptions& o, std::vector<std::string>& steps, long& first_index,
                    long& last_index) {
  const Table other = read_table(o.grid_like);
  const std::size_t n = other.rows.size();
  const double q0 = other.rows.front()[0];
  const double dq = (other.rows.back()[0] - q0) / static_cast<double>(n - 1);
  if (!(std::fabs(dq - s.dq) <= 1e-4 * s.dq)) {
    throw Stop(o.grid_like + ": its Q step is " + q_text(dq) + ", the imported data's " + q_text(s.dq) +
               "; they must be equal (use --rebin or --dq)");
  }
  const long k0 = std::lround(q0 / s.dq);
  for (std::size_t i = 0; i < n; ++i) {
    const double expect = static_cast<double>(k0 + static_cast<long>(i)) * s.dq;
    if (std::fabs(other.rows[i][0] - expect) > grid_tolerance * s.dq) {
      throw Stop(o.grid_like + ", line " + std::to_string(other.lines[i]) + ": Q = " + q_text(other.rows[i][0]) +
                 " is not on the grid k dq with dq = " + q_text(s.dq));
    }
  }
  Series out = s;
  out.k0 = k0;
  out.rows.clear();
  const long own_last = s.k0 + static_cast<long>(s.rows.size()) - 1;
  first_index = last_index = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const long k = k0 + static_cast<long>(i);
    if (k >= s.k0 && k <= own_last) {
      out.rows.push_back(s.rows[static_cast<std::size_t>(k - s.k0)]);
      if (first_index == 0) first_index = static_cast<long>(i) + 1;
      last_index = static_cast<long>(i) + 1;
    } else {
      std::vector<double> pad(s.rows.front().size(), 0.0);
      if (s.has_error) pad[1] = padding_error;
      out.rows.push_back(pad);
    }
  }
  if (first_index == 0) {
    throw Stop(o.grid_like + ": its Q range " + q_text(q0) + " to " + q_text(other.rows.back()[0]) +
               " does not overlap the imported data's, " + q_text(s.q(0)) + " to " + q_text(s.q(s.rows.size() - 1)));
  }
  const long dropped = static_cast<long>(s.rows.size()) - (last_index - first_index + 1);
  steps.push_back("put on the " + std::to_string(n) + "-point Q grid of " + o.grid_like + ", F and coefficients 0" +
                  (s.has_error ? std::string(" and error ") + format("%g", padding_error) : std::string()) +
                  " outside the data's own range (points " + std::to_string(first_index) + " to " +
                  std::to_string(last_index) + ")" +
                  (dropped > 0 ? ", " + std::to_string(dropped) + " point(s) beyond that grid left out" : ""));
  return out;
}

}  // namespace

Series prepare_import(const Table& table, const ImportOptions& o, std::vector<std::string>& steps) {
  if (o.rebin < 1) throw Stop("--rebin " + std::to_string(o.rebin) + ": N must be at least 1");
  if (o.q_range.size() == 2 && !(o.q_range[0] <= o.q_range[1])) {
    throw Stop("--q-range " + q_text(o.q_range[0]) + " " + q_text(o.q_range[1]) + ": QMIN must not exceed QMAX");
  }
  if (o.qdep && o.has_error) throw Stop("--error and --qdep: a file of Q-dependent coefficients has no error column");
  if (o.has_error && !(o.error > 0.0)) throw Stop("--error " + format("%g", o.error) + ": the error must be positive");
  if (!(o.dq >= 0.0) || !std::isfinite(o.dq)) throw Stop("--dq " + format("%g", o.dq) + ": the step must be positive");
  if (!(o.scale != 0.0) || !std::isfinite(o.scale)) {
    throw Stop("--scale " + format("%g", o.scale) + ": the scale must be a finite number other than 0");
  }

  Series s = from_table(table, o, steps);
  if (o.sq) {
    for (auto& row : s.rows) {
      row[0] = o.scale * (row[0] - 1.0);
      if (s.has_error) row[1] *= std::fabs(o.scale);
    }
    steps.push_back("S(Q) to " + (o.scale == 1.0 ? std::string() : format("%g", o.scale) + " * ") + "(S(Q) - 1)");
  }

  const int n = o.rebin;
  bool rebinned = false;
  if (s.centred) {
    if (n > 1 && !o.shift) {
      s = rebin_centred(s, n);
      rebinned = true;
      steps.push_back("averaged the bins over windows " + std::to_string(n) +
                      " bins wide centred on multiples of dq = " + q_text(s.dq) +
                      (n % 2 == 0 ? "" : " (half weight for the bins cut by a window's edge)") +
                      (s.has_error ? ", errors propagated" : ""));
    } else if (o.shift) {
      s.centred = false;
      s.k0 += 1;
      steps.push_back("shifted every Q by +dq/2 = " + q_text(s.dq / 2) + " onto k dq");
    } else {
      Series mid = s;
      mid.centred = false;
      mid.k0 = s.k0 + 1;
      mid.rows.clear();
      const std::vector<double> w{1.0, 1.0};
      for (std::size_t i = 0; i + 1 < s.rows.size(); ++i) {
        mid.rows.push_back(combine({&s.rows[i], &s.rows[i + 1]}, w, s.has_error));
      }
      s = mid;
      steps.push_back("interpolated from bin centres onto k dq: mean of neighbouring bins" +
                      std::string(s.has_error ? ", error sqrt(s1^2 + s2^2) / 2" : ""));
    }
  } else if (o.shift) {
    steps.push_back("--shift ignored: Q already lies on multiples of dq");
  }
  if (n > 1 && !rebinned) {
    s = rebin_integer(s, n);
    steps.push_back("averaged " + std::to_string(n) + " neighbouring points" +
                    (n % 2 == 0 ? " (and half of the next on each side)" : "") +
                    ", centred on multiples of dq = " + q_text(s.dq));
  }
  if (s.rows.empty()) {
    throw Stop(table.path + ": too few points to average groups of " + std::to_string(n));
  }

  if (o.q_range.size() == 2) {
    const double tol = 1e-6 * s.dq;
    Series kept = s;
    kept.rows.clear();
    bool first = true;
    for (std::size_t i = 0; i < s.rows.size(); ++i) {
      if (s.q(i) >= o.q_range[0] - tol && s.q(i) <= o.q_range[1] + tol) {
        if (first) kept.k0 = s.k0 + static_cast<long>(i);
        first = false;
        kept.rows.push_back(s.rows[i]);
      }
    }
    if (kept.rows.size() < 2) {
      throw Stop("--q-range " + q_text(o.q_range[0]) + " " + q_text(o.q_range[1]) + ": leaves " +
                 std::to_string(kept.rows.size()) + " points of " + table.path + " (Q " + q_text(s.q(0)) + " to " +
                 q_text(s.q(s.rows.size() - 1)) + "); at least 2 are needed");
    }
    s = kept;
    steps.push_back("kept Q " + q_text(o.q_range[0]) + " to " + q_text(o.q_range[1]));
  }

  if (o.has_error) {
    for (auto& row : s.rows) {
      if (s.has_error) {
        row[1] = o.error;
      } else {
        row.insert(row.begin() + 1, o.error);
      }
    }
    steps.push_back((s.has_error ? "replaced the errors by " : "added the error ") + format("%g", o.error));
    s.has_error = true;
  }
  return s;
}

void run_import(const ImportOptions& o) {
  const Table table = read_table(o.input);
  std::vector<std::string> steps;
  Series s = prepare_import(table, o, steps);
  long first_index = 0, last_index = 0;
  if (!o.grid_like.empty()) s = on_grid_like(s, o, steps, first_index, last_index);

  const std::size_t nq = s.rows.size();
  if (nq > static_cast<std::size_t>(max_q)) {
    // The smallest rebinning that fits, found by trying from where it can
    // first fit: averaging n points leaves about nq * rebin / n of them (a
    // point or two more at the ends), so fewer cannot fit. A handful of
    // trials at most, each linear in the file.
    int smallest = 0;
    const double estimate = static_cast<double>(nq) * o.rebin / (max_q + 3.0);
    const int from = std::max(o.rebin + 1, static_cast<int>(std::min(estimate, 2.0e9)));
    for (int n = from; n <= static_cast<int>(table.rows.size()); ++n) {
      ImportOptions trial = o;
      trial.rebin = n;
      std::vector<std::string> ignored;
      try {
        if (prepare_import(table, trial, ignored).rows.size() <= static_cast<std::size_t>(max_q)) {
          smallest = n;
          break;
        }
      } catch (const Stop&) {
        break;
      }
    }
    throw Stop(o.input + ": " + std::to_string(nq) + " Q points after import, more than the program's limit of " +
               std::to_string(max_q) + "; average neighbouring points with --rebin N" +
               (smallest > 0 ? " (the smallest that fits is --rebin " + std::to_string(smallest) + ")" : "") +
               " or narrow the range with --q-range");
  }

  std::vector<std::vector<double>> rows;
  for (std::size_t i = 0; i < nq; ++i) {
    std::vector<double> row{s.q(i)};
    row.insert(row.end(), s.rows[i].begin(), s.rows[i].end());
    rows.push_back(std::move(row));
  }
  std::string heading = s.has_error ? "Q F err" : "Q F";
  for (std::size_t c = (s.has_error ? 2 : 1); c < s.rows.front().size(); ++c) {
    heading += " c" + std::to_string(c - (s.has_error ? 1 : 0));
  }
  std::string joined;
  for (const std::string& step : steps) joined += (joined.empty() ? "" : "; ") + step;
  write_data_file(o.output, "imported by yosta-tools from " + o.input, heading + " | " + joined, rows);

  for (const std::string& step : steps) std::cout << "  " << step << '\n';
  const double q_last = s.q(nq - 1);
  std::cout << "Wrote " << o.output << ": " << nq << " points, Q " << q_text(s.q(0)) << " to " << q_text(q_last)
            << ", dq " << q_text(s.dq) << (s.has_error ? ", with an error column" : ", no error column") << '\n';
  std::cout << "  r spacing dr = 2 pi / (last Q * Mr):";
  for (int mr : {1, 2, 4}) std::cout << format("  Mr = %d: %.5g A", mr, two_pi / (q_last * mr));
  const long grid_points = std::lround(q_last / s.dq);
  if (grid_points > 0) {
    std::cout << format("; Mr at most %ld",
                        std::min(static_cast<long>(max_mr), static_cast<long>(max_sinqr - 1) / grid_points));
  }
  std::cout << '\n';
  if (first_index > 0) {
    std::cout << "  In the parameter file fit this set over points q_first = " << first_index
              << ", q_last = " << last_index << " (Q " << q_text(s.q(static_cast<std::size_t>(first_index - 1)))
              << " to " << q_text(s.q(static_cast<std::size_t>(last_index - 1))) << ")\n";
  }
}

void add_import(CLI::App& app) {
  auto o = std::make_shared<ImportOptions>();
  CLI::App* sub = app.add_subcommand("import", "Put a measured F(Q) or S(Q) file on the program's Q grid and layout");
  sub->add_option("INPUT", o->input, "measured file: columns Q, F, optional error, further columns (coefficients)")
      ->required();
  sub->add_option("-o,--output", o->output, "the data file to write")->required();
  sub->add_option("--dq", o->dq, "the Q step (default: from the first and last Q)")
      ->transform(real_number(Sign::not_negative));
  auto* shift = sub->add_flag("--shift", o->shift, "bin-centred input: shift Q by +dq/2 instead of interpolating");
  sub->add_flag("--interpolate")
      ->description("bin-centred input: interpolate onto k dq (the default)")
      ->excludes(shift);
  sub->add_option("--rebin", o->rebin, "average N neighbouring points (errors combined)")
      ->transform(whole_number(1, 100000));
  sub->add_option("--q-range", o->q_range, "keep only QMIN <= Q <= QMAX")->expected(2)->transform(real_number());
  sub->add_option("--error", o->error, "write this error for every point (adds or replaces the error column)")
      ->transform(real_number(Sign::positive))
      ->each([o](const std::string&) { o->has_error = true; });
  sub->add_flag("--sq", o->sq, "the input holds S(Q): write S(Q) - 1");
  sub->add_option("--scale", o->scale, "with --sq: write SCALE * (S(Q) - 1)")->transform(real_number());
  sub->add_option("--grid-like", o->grid_like,
                  "put the result on the Q grid of this data file (same dq), with F 0 and a large error outside "
                  "the data's range, and print the q_first/q_last to use");
  sub->add_flag("--qdep", o->qdep,
                "the columns after F(Q) are coefficients (a Q-dependent data file, no error column)");
  sub->footer(
      "Q must come evenly spaced, at k dq or at bin centres (k + 1/2) dq; bin centres are interpolated\n"
      "onto k dq (mean of neighbours) unless --shift. Steps run in the order: S(Q) - 1, grid, --rebin,\n"
      "--q-range, --error, --grid-like. At most 1100 points may result.\n"
      "Examples:\n"
      "  yosta-tools import SLS18498-H2O.mint01 -o H2O.dat\n"
      "  yosta-tools import C6H6.mint01 --rebin 5 -o C6H6.dat\n"
      "  yosta-tools import argon.sq --sq -o argon.dat\n"
      "  yosta-tools import xray_qdep.dat --qdep --grid-like H2O.dat -o xray_on_neutron_grid.dat");
  sub->callback([o] {
    if (o->scale != 1.0 && !o->sq) throw Stop("--scale is used with --sq only");
    std::vector<std::string> inputs{o->input};
    if (!o->grid_like.empty()) inputs.push_back(o->grid_like);
    check_outputs({{o->output, "-o", false}}, inputs);
    run_import(*o);
  });
}

}  // namespace yosta::tools
