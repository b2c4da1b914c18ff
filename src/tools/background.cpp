// yosta-tools background: removes from a measured F(Q) the part that its transform
// puts below a cut-off distance, where no pair of atoms can be. Below r_cut every
// g_ij(r) is 0, so the transform G(r) = 1/(2 pi^2 rho r) int Q F(Q) sin(Qr) dQ must
// equal -sum_ij w_ij there; what it holds beyond that level is a slowly varying
// background in F(Q) (for hydrogen, the residual of its inelastic scattering). Its
// back-transform
//   B(Q) = 4 pi rho int_0^r_cut r^2 [G(r) + sum w] sin(Qr)/(Qr) dr
// is subtracted from F. Input and output are data files of the program's layout with
// fixed coefficients (Q, F and optionally an error column, kept unchanged).
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/stop.h"
#include "input/capacities.h"
#include "tools/columns.h"
#include "base/option_checks.h"
#include "tools/outputs.h"
#include "tools/subcommands.h"
#include "base/circle.h"

namespace yosta::tools {
namespace {

struct BackgroundOptions {
  std::string input;
  std::string output;
  double r_cut = 0.8;
  double sum_weights = 0.0;
  double density = 0.0;
  double q_max = 0.0;  // 0: the whole file
  double step = 0.005;
};

}  // namespace

std::vector<double> short_distance_transform(const std::vector<double>& q, const std::vector<double>& f,
                                             const std::vector<double>& r, double density, double q_max, bool lorch) {
  const std::size_t n = q.size();
  const double dq = (q.back() - q.front()) / static_cast<double>(n - 1);
  // A midpoint sum over the points up to q_max, each standing for [Q - dq/2, Q + dq/2],
  // and F held at its first value from Q = 0 to the first point's interval, integrated
  // exactly. The Lorch window sin(x)/x, x = pi Q / q_max, is 1 to within 1e-3 over that
  // first interval and is left out there.
  const double a = std::max(0.0, q.front() - 0.5 * dq);
  std::vector<double> g(r.size());
  for (std::size_t i = 0; i < r.size(); ++i) {
    const double x = r[i];
    double s = 0.0;
    for (std::size_t k = 0; k < n && q[k] <= q_max + 1e-9 * q_max; ++k) {
      double w = 1.0;
      if (lorch) {
        const double u = pi * q[k] / q_max;
        w = u == 0.0 ? 1.0 : std::sin(u) / u;
      }
      s += q[k] * f[k] * w * std::sin(q[k] * x);
    }
    s *= dq;
    s += f.front() * (std::sin(a * x) - a * x * std::cos(a * x)) / (x * x);
    g[i] = s / (2.0 * pi * pi * density * x);
  }
  return g;
}

std::vector<double> low_r_background(const std::vector<double>& q, const std::vector<double>& f, double r_cut,
                                     double sum_weights, double density, double q_max, double step) {
  const std::size_t n = q.size();
  // G(r) at the middle of each step below r_cut.
  const long nr = std::lround(r_cut / step);
  std::vector<double> r(static_cast<std::size_t>(nr));
  for (long i = 0; i < nr; ++i) r[static_cast<std::size_t>(i)] = (static_cast<double>(i) + 0.5) * step;
  std::vector<double> excess = short_distance_transform(q, f, r, density, q_max, false);
  for (double& e : excess) e += sum_weights;
  std::vector<double> b(n, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    double s = 0.0;
    for (long i = 0; i < nr; ++i) {
      const double x = r[static_cast<std::size_t>(i)];
      const double qr = q[k] * x;
      const double sinc = qr == 0.0 ? 1.0 : std::sin(qr) / qr;
      s += x * x * excess[static_cast<std::size_t>(i)] * sinc;
    }
    b[k] = 4.0 * pi * density * s * step;
  }
  return b;
}

namespace {

void run_background(const BackgroundOptions& o) {
  const double r_cut = o.r_cut, density = o.density, sum_weights = o.sum_weights, step = o.step;
  const std::string r_cut_text = format("%g", r_cut);
  if (density > static_cast<double>(max_density))
    throw Stop("yosta-tools background: --density " + format("%g", density) +
               " atoms per cubic Angstrom is more than 1, denser than any matter (water holds 0.1)");
  if (r_cut > 3.0)
    throw Stop("yosta-tools background: --rcut " + r_cut_text +
               " A reaches into the first neighbour shells; the cut-off must lie below the shortest distance (a few "
               "tenths of an Angstrom to about 1 A)");
  if (step > r_cut / 4.0)
    throw Stop("yosta-tools background: --step " + format("%g", step) + " must be at most a quarter of --rcut " +
               r_cut_text);
  const Table t = read_table(o.input);
  if (!t.program_layout)
    throw Stop(o.input +
               ": not in the program's data-file layout (point count, heading, points); use yosta-tools "
               "import first");
  if (t.width() < 2 || t.width() > 3)
    throw Stop(o.input + ": " + std::to_string(t.width()) +
               " columns; background works on sets with fixed coefficients (Q, F and optionally an error)");
  std::vector<double> q, f;
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    const double x = t.rows[k][0];
    if (!(x >= 0.0) || (k > 0 && !(x > q.back())))
      throw Stop(o.input + ", line " + std::to_string(t.lines[k]) + ", column 1: Q " + format("%g", x) +
                 " is negative or not above the Q before it");
    q.push_back(x);
    f.push_back(t.rows[k][1]);
  }
  const double q_max = o.q_max > 0.0 ? o.q_max : q.back();
  if (q_max < q.front())
    throw Stop("yosta-tools background: --qmax " + format("%g", q_max) + " lies below the first Q of " + o.input +
               " (" + format("%g", q.front()) + ")");
  const std::vector<double> b = low_r_background(q, f, r_cut, sum_weights, density, q_max, step);
  std::vector<std::vector<double>> rows = t.rows;
  double s2 = 0.0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    rows[k][1] -= b[k];
    s2 += b[k] * b[k];
  }
  const std::string heading = std::string(t.width() == 3 ? "Q F err" : "Q F") + " | " + o.input +
                              " less the back-transform of its r < " + r_cut_text + " A part (level " +
                              format("%g", -sum_weights) + ", rho " + format("%g", density) + ")";
  write_data_file(o.output, "background of r < " + r_cut_text + " A removed by yosta-tools", heading, rows);
  std::cout << format(
      "Removed from %s the back-transform of its transform below r = %g A (level -sum w = %g, "
      "rho %g, Q up to %g)\n",
      o.input.c_str(), r_cut, -sum_weights, density, q_max);
  std::cout << "  background B(Q):";
  for (double at : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0}) {
    if (at < q.front() || at > q.back()) continue;
    std::size_t k = 0;
    while (k + 1 < q.size() && q[k + 1] <= at) ++k;
    std::cout << format("  %g: %.4f", q[k], b[k]);
  }
  std::cout << format("\n  RMS of B over the file: %.4g\nWrote %s: %zu points\n",
                      std::sqrt(s2 / static_cast<double>(rows.size())), o.output.c_str(), rows.size());
}

}  // namespace

void add_background(CLI::App& app) {
  auto o = std::make_shared<BackgroundOptions>();
  CLI::App* sub = app.add_subcommand(
      "background", "Remove from F(Q) the back-transform of its part below a cut-off distance (slow backgrounds)");
  sub->add_option("INPUT", o->input, "data file (program layout, fixed coefficients: Q, F, optional error)")
      ->required();
  sub->add_option("-o,--output", o->output, "the data file to write")->required();
  sub->add_option("--sum-weights", o->sum_weights,
                  "sum of the set's weights (<b>^2 for neutrons, barn; printed by 'weights neutron'): the "
                  "transform's level below the cut-off is minus this")
      ->required()
      ->transform(real_number());
  sub->add_option("--density", o->density, "number density, atoms per cubic Angstrom")
      ->required()
      ->transform(real_number(Sign::positive));
  sub->add_option("--rcut", o->r_cut, "cut-off distance in Angstrom, below the shortest pair distance (default 0.8)")
      ->transform(real_number(Sign::positive));
  sub->add_option("--qmax", o->q_max, "last Q of the transform (default: the whole file)")
      ->transform(real_number(Sign::positive));
  sub->add_option("--step", o->step, "r step of the transform below the cut-off, Angstrom (default 0.005)")
      ->transform(real_number(Sign::positive));
  sub->footer(
      "Below the cut-off every g(r) is 0, so the transform of F(Q) must there equal -sum w; whatever\n"
      "else it holds is a slowly varying background (for hydrogen, the residual of its inelastic\n"
      "scattering). Its back-transform is subtracted from F at every point; errors are kept.\n"
      "Example (water H2O, O-H bond at 0.97 A):\n"
      "  yosta-tools background H2O.dat -o H2O_bg.dat --sum-weights 0.003124 --density 0.1 --rcut 0.8");
  sub->callback([o] {
    check_outputs({{o->output, "-o", false}}, {o->input});
    run_background(*o);
  });
}

}  // namespace yosta::tools
