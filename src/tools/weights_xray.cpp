// yosta-tools weights xray: Q-dependent X-ray weights from the atomic form
// factors of xraylib, on the Q points of a data file, written as a data file
// with coefficient columns.
#include <xraylib.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/stop.h"
#include "tools/columns.h"
#include "tools/composition.h"
#include "tools/outputs.h"
#include "tools/subcommands.h"
#include "base/circle.h"

namespace yosta::tools {
namespace {

struct XrayOptions {
  std::string composition;
  std::string q_from;
  std::string normalise = "fsq";
  std::string output;
};

// Rayleigh form factor of element Z at Q (1/A); xraylib takes q = sin(theta)/lambda = Q / 4 pi.
double form_factor(int Z, double Q) {
  xrl_error* error = nullptr;
  const double f = FF_Rayl(Z, Q / four_pi, &error);
  if (error != nullptr) {
    const std::string message = error->message != nullptr ? error->message : "unknown error";
    xrl_error_free(error);
    throw Stop("xraylib: no form factor for Z = " + std::to_string(Z) + " at Q = " + format("%g", Q) + ": " + message);
  }
  return f;
}

}  // namespace

std::vector<double> xray_pair_weights(const std::vector<Site>& sites, double Q, bool fsq) {
  std::vector<double> f;
  double mean = 0.0, mean_sq = 0.0;
  for (const Site& s : sites) {
    f.push_back(form_factor(s.species.Z, Q));
    mean += s.fraction * f.back();
    mean_sq += s.fraction * f.back() * f.back();
  }
  const double norm = fsq ? mean_sq : mean * mean;
  if (!(norm > 0.0)) {
    throw Stop(fsq ? "The X-ray normalisation <f^2> is zero at Q = " + format("%g", Q) +
                         "; no atom of the composition scatters there: check --composition"
                   : "The X-ray normalisation <f>^2 is zero at Q = " + format("%g", Q) + "; use --normalise fsq");
  }
  std::vector<double> w;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    for (std::size_t j = i; j < sites.size(); ++j) {
      w.push_back((i == j ? 1.0 : 2.0) * sites[i].fraction * sites[j].fraction * f[i] * f[j] / norm);
    }
  }
  return w;
}

namespace {

void run_xray(const XrayOptions& o) {
  if (o.normalise != "fsq" && o.normalise != "fmean2") {
    throw Stop("--normalise '" + o.normalise + "': write fsq (<f^2>) or fmean2 (<f>^2)");
  }
  const bool fsq = o.normalise == "fsq";
  const std::vector<Site> sites = parse_composition(o.composition);
  const std::vector<std::string> pairs = pair_names(sites);
  const Table table = read_table(o.q_from);
  for (std::size_t k = 0; k < table.rows.size(); ++k) {
    if (table.rows[k][0] < 0.0) {
      throw Stop(o.q_from + ", line " + std::to_string(table.lines[k]) + ": Q = " + format("%g", table.rows[k][0]) +
                 " is negative");
    }
  }

  std::vector<std::vector<double>> rows;
  for (const std::vector<double>& in : table.rows) {
    std::vector<double> row{in[0], in[1]};
    for (double w : xray_pair_weights(sites, in[0], fsq)) row.push_back(w);
    rows.push_back(std::move(row));
  }
  std::string heading = "Q F";
  for (const std::string& p : pairs) heading += " w" + p;
  heading += " | w_ij = (2-d_ij) c_i c_j f_i f_j / " + std::string(fsq ? "<f^2>" : "<f>^2") +
             ", f from xraylib FF_Rayl; composition " + o.composition;
  write_data_file(o.output, "X-ray F(Q) from " + o.q_from + " with Q-dependent weights", heading, rows);

  std::cout << "X-ray weights (2 - d_ij) c_i c_j f_i(Q) f_j(Q) / " << (fsq ? "<f^2>" : "<f>^2")
            << ", form factors from xraylib (FF_Rayl, q = Q/4pi).\n"
            << "Coefficient columns in the order of the basis functions:";
  for (const std::string& p : pairs) std::cout << ' ' << p;
  std::cout << '\n' << format(" %10s", "Q (1/A)");
  for (const std::string& p : pairs) std::cout << format(" %10s", p.c_str());
  std::cout << format(" %10s\n", "sum");
  const std::size_t n = rows.size();
  for (std::size_t k : {std::size_t{0}, n / 2, n - 1}) {
    std::cout << format(" %10.4f", rows[k][0]);
    double sum = 0.0;
    for (std::size_t c = 2; c < rows[k].size(); ++c) {
      std::cout << format(" %10.6f", rows[k][c]);
      sum += rows[k][c];
    }
    std::cout << format(" %10.6f\n", sum);
  }
  if (table.width() > 2) {
    std::cout << "The columns after F(Q) of " << o.q_from
              << " are not copied: a data set with Q-dependent coefficients has no error column; give its "
                 "error as sigma in the parameter file.\n";
  }
  std::cout << "Wrote " << o.output << ": " << n << " points, " << pairs.size()
            << " coefficient columns; in the parameter file this set is one with Q-dependent coefficients.\n";
}

}  // namespace

void add_weights_xray(CLI::App& weights) {
  auto o = std::make_shared<XrayOptions>();
  CLI::App* xray = weights.add_subcommand(
      "xray", "Q-dependent X-ray weights on the Q points of a data file, written as a data file");
  xray->add_option("--composition", o->composition, "atoms and amounts, e.g. \"O:1 H:2\"")->required();
  xray->add_option("--q-from", o->q_from, "data file whose Q and F(Q) columns are used")->required();
  xray->add_option("--normalise", o->normalise,
                   "fsq: divide by <f^2> = sum c_i f_i^2 (default; reduced X-ray data usually are); "
                   "fmean2: divide by <f>^2 = (sum c_i f_i)^2");
  xray->add_option("-o,--output", o->output, "the data file to write")->required();
  xray->footer(
      "Writes Q, F(Q) and one weight column per pair, pairs in the order (1,1), (1,2) ... (n,n).\n"
      "Example:\n"
      "  yosta-tools weights xray --composition \"O:1 H:2\" --q-from xray.dat -o xray_qdep.dat");
  xray->callback([o] {
    check_outputs({{o->output, "-o", false}}, {o->q_from});
    run_xray(*o);
  });
}

}  // namespace yosta::tools
