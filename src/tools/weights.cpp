// yosta-tools weights neutron: Faber-Ziman weights of a composition for one or
// several isotope contrasts, with the conditioning of the weight matrix.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "tools/columns.h"
#include "tools/composition.h"
#include "tools/subcommands.h"
#include "base/circle.h"

namespace yosta::tools {
namespace {

struct NeutronOptions {
  std::string composition;
  std::vector<std::string> isotopes;
  std::vector<std::string> contrasts;
  bool paste = false;
};

struct Contrast {
  std::string name;
  std::vector<Site> sites;
  std::vector<SitePower> powers;
  std::vector<double> weights;
};

Contrast build_contrast(const NeutronOptions& o, const std::string& given) {
  Contrast c;
  c.sites = parse_composition(o.composition);
  for (const std::string& iso : o.isotopes) apply_isotopes(c.sites, iso, "--isotope");
  if (!given.empty()) {
    const std::size_t colon = given.find(':');
    c.name = given.substr(0, colon);
    if (c.name.empty()) throw Stop("--contrast '" + given + "': the contrast has no name (NAME:ISOTOPES)");
    if (colon != std::string::npos) {
      for (const std::string& item : split(given.substr(colon + 1), "; \t")) {
        apply_isotopes(c.sites, item, "--contrast " + c.name + ":");
      }
    }
  }
  c.powers = neutron_powers(c.sites);
  std::vector<double> b;
  for (const SitePower& p : c.powers) b.push_back(p.b);
  c.weights = pair_weights(c.sites, b);
  return c;
}

double sum(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

std::string site_text(const Site& site) {
  if (site.isotopes.empty()) return site.species.name();
  std::string t;
  for (std::size_t k = 0; k < site.isotopes.size(); ++k) {
    t += (k ? "," : "") + site.isotopes[k].name() + "=" + format("%g", site.abundances[k]);
  }
  return site.species.symbol + "(" + t + ")";
}

void print_sites(const Contrast& c) {
  std::cout << format(" %-22s %10s %10s %12s\n", "atom", "fraction", "b (fm)", "sigma_s (b)");
  for (std::size_t i = 0; i < c.sites.size(); ++i) {
    const SitePower& p = c.powers[i];
    std::cout << format(" %-22s %10.6f %10.4f ", site_text(c.sites[i]).c_str(), c.sites[i].fraction, p.b)
              << (p.sigma_s >= 0.0 ? format("%12.4f", p.sigma_s) : format("%12s", "unknown")) << '\n';
  }
}

// Self scattering per atom and steradian, sum c_i sigma_s,i / 4 pi (barn/sr).
std::string self_level(const Contrast& c) {
  double level = 0.0;
  for (std::size_t i = 0; i < c.sites.size(); ++i) {
    if (c.powers[i].sigma_s < 0.0) return "unknown (a cross section is missing from the table)";
    level += c.sites[i].fraction * c.powers[i].sigma_s / four_pi;
  }
  return format("%.6g barn/sr", level);
}

void run_neutron(const NeutronOptions& o) {
  std::vector<Contrast> contrasts;
  if (o.contrasts.empty()) {
    contrasts.push_back(build_contrast(o, ""));
  } else {
    for (const std::string& given : o.contrasts) contrasts.push_back(build_contrast(o, given));
  }
  const std::vector<std::string> pairs = pair_names(contrasts.front().sites);
  if (o.paste) {
    for (const Contrast& c : contrasts) std::cout << coefficient_record(c.weights, pairs, c.name) << '\n';
    return;
  }
  std::cout << "Neutron weights w_ij = (2 - d_ij) c_i c_j b_i b_j in barn (Faber-Ziman), bound coherent\n"
               "scattering lengths b from the table of python3-periodictable.\n"
               "Coefficient record order, basis function 1.."
            << pairs.size() << ":";
  for (const std::string& p : pairs) std::cout << ' ' << p;
  std::cout << "\n";
  for (const Contrast& c : contrasts) {
    std::cout << '\n';
    if (!c.name.empty()) std::cout << "Contrast " << c.name << '\n';
    print_sites(c);
    std::cout << format(" %-10s %12s\n", "pair", "w (barn)");
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      std::cout << format(" %-10s %12.6f\n", pairs[k].c_str(), c.weights[k]);
    }
    std::cout << " sum of weights <b>^2        " << format("%.6f barn", sum(c.weights)) << '\n';
    std::cout << " self scattering level       " << self_level(c) << '\n';
    std::cout << " coefficient record          " << coefficient_record(c.weights, pairs, c.name) << '\n';
  }
  if (contrasts.size() < 2) return;

  std::cout << "\nWeight matrix (barn), one row a contrast:\n" << format(" %-10s", "contrast");
  for (const std::string& p : pairs) std::cout << format(" %11s", p.c_str());
  std::cout << '\n';
  std::vector<std::vector<double>> matrix;
  for (const Contrast& c : contrasts) {
    std::cout << format(" %-10s", c.name.c_str());
    for (double w : c.weights) std::cout << format(" %11.6f", w);
    std::cout << '\n';
    matrix.push_back(c.weights);
  }
  const std::vector<double> s = singular_values(matrix);
  std::cout << " singular values (barn):";
  for (double x : s) std::cout << format(" %.4g", x);
  std::cout << '\n';
  const double smallest = s.back();
  if (contrasts.size() < pairs.size()) {
    std::cout << " condition number: infinite; " << contrasts.size() << " contrasts cannot determine " << pairs.size()
              << " partials\n";
  } else if (!(smallest > 1e-12 * s.front())) {
    std::cout << " condition number: infinite; the contrasts do not determine the partials\n";
  } else {
    std::cout << " condition number " << format("%.4g", s.front() / smallest)
              << " (largest over smallest singular value; the larger, the less the data fix the partials)\n";
  }
}

}  // namespace

std::string coefficient_record(const std::vector<double>& weights, const std::vector<std::string>& pairs,
                               const std::string& contrast) {
  std::string line;
  for (double x : weights) line += (line.empty() ? "" : " ") + format("%.6g", x);
  line += "  ";
  for (const std::string& pair : pairs) line += " " + pair;
  if (!contrast.empty()) line += " (" + contrast + ")";
  return line;
}

void add_weights(CLI::App& app) {
  CLI::App* weights = app.add_subcommand("weights", "Weights of the partial structure factors in F(Q)");
  weights->require_subcommand(1);
  weights->footer(
      "Examples:\n"
      "  yosta-tools weights neutron --composition \"O:1 H:2\" --isotope \"H:D=0.5,H=0.5\"\n"
      "  yosta-tools weights xray --composition \"O:1 H:2\" --q-from xray.dat -o xray_qdep.dat");

  auto o = std::make_shared<NeutronOptions>();
  CLI::App* neutron = weights->add_subcommand(
      "neutron", "Faber-Ziman neutron weights (barn) of a composition, for one or several isotope contrasts");
  neutron->add_option("--composition", o->composition, "atoms and amounts, e.g. \"O:1 H:2\"")->required();
  neutron->add_option("--isotope", o->isotopes,
                      "isotope mixture of one element, e.g. \"H:2H=0.5,1H=0.5\" (D, T for 2H, 3H; H for natural H); "
                      "natural abundance otherwise");
  neutron->add_option("--contrast", o->contrasts,
                      "one contrast NAME:ISOTOPES, e.g. \"HDO:H:D=0.5,H=0.5\" (isotope options separated by ';'); "
                      "several print the weight matrix, its singular values and condition number");
  neutron->add_flag("--paste", o->paste,
                    "print only the coefficient record(s), one line each: the weights, then the pairs they belong to");
  neutron->footer(
      "Pairs come in the order O-O, O-H, H-H for \"O:1 H:2\": (1,1), (1,2) ... (1,n), (2,2) ... (n,n).\n"
      "Examples:\n"
      "  yosta-tools weights neutron --composition \"O:1 H:2\"\n"
      "  yosta-tools weights neutron --composition \"O:1 H:2\" --contrast H2O --contrast D2O:H:D=1 \\\n"
      "      --contrast \"HDO:H:D=0.5,H=0.5\"\n"
      "  yosta-tools weights neutron --composition \"C:1 H:1\" --isotope H:D=1 --paste");
  neutron->callback([o] { run_neutron(*o); });

  add_weights_xray(*weights);
}

}  // namespace yosta::tools
