#include "tools/composition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/circle.h"
#include "base/stop.h"
#include "tools/columns.h"

namespace yosta::tools {
namespace {

struct TableRow {
  const char* symbol;
  int Z;
  int A;
  double b;
  double sigma_s;
};

constexpr TableRow neutron_table[] = {
#include "tools/neutron_table.inc"
};

const TableRow* find_row(const std::string& symbol, int A) {
  for (const TableRow& row : neutron_table) {
    if (symbol == row.symbol && row.A == A) return &row;
  }
  return nullptr;
}

// "NAME:VALUE" split at the first colon; throws Stop when there is none.
std::pair<std::string, std::string> name_value(const std::string& item, char sep, std::string_view where,
                                               std::string_view form) {
  const std::size_t at = item.find(sep);
  if (at == std::string::npos || at == 0 || at + 1 == item.size()) {
    throw Stop(std::string(where) + ": '" + item + "' is not of the form " + std::string(form));
  }
  return {item.substr(0, at), item.substr(at + 1)};
}

}  // namespace

std::string Species::name() const { return A == 0 ? symbol : std::to_string(A) + symbol; }

Species parse_species(std::string_view text, std::string_view where) {
  std::string t(text);
  Species s;
  if (t == "D" || t == "T") {
    s.symbol = "H";
    s.A = t == "D" ? 2 : 3;
  } else {
    std::size_t i = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    if (i > 0) s.A = i > 4 ? -1 : std::atoi(t.substr(0, i).c_str());
    s.symbol = t.substr(i);
    if (s.A == 0 && i > 0) s.A = -1;  // "0H" names no isotope
  }
  const TableRow* row = s.A < 0 ? nullptr : find_row(s.symbol, s.A);
  if (row == nullptr) {
    const bool element = find_row(s.symbol, 0) != nullptr;
    throw Stop(std::string(where) + ": '" + t + "' is " +
               (element ? "an isotope without a neutron scattering length in the table"
                        : "not a known element or isotope (write H, 2H, D, T, 13C ...)"));
  }
  s.Z = row->Z;
  return s;
}

NeutronLengths neutron_lengths(const Species& s, std::string_view where) {
  const TableRow* row = find_row(s.symbol, s.A);
  if (row == nullptr) throw Stop(std::string(where) + ": no neutron scattering length for " + s.name());
  return {row->b, row->sigma_s};
}

std::vector<Site> parse_composition(std::string_view text) {
  const std::string where = "--composition '" + std::string(text) + "'";
  std::vector<Site> sites;
  double total = 0.0;
  for (const std::string& item : split(text, " \t,;")) {
    const auto [name, amount_text] = name_value(item, ':', where, "ELEMENT:AMOUNT");
    Site site;
    site.species = parse_species(name, where);
    for (const Site& other : sites) {
      if (other.species.symbol == site.species.symbol) {
        throw Stop(where + ": element " + site.species.symbol + " appears twice");
      }
    }
    site.fraction = parse_number(amount_text, "the amount of " + name, where);
    if (site.fraction < 0.0) throw Stop(where + ": the amount of " + name + " is negative (" + amount_text + ")");
    total += site.fraction;
    sites.push_back(site);
  }
  if (sites.empty()) throw Stop(where + ": no atoms; write for example \"O:1 H:2\"");
  if (!(total > 0.0)) throw Stop(where + ": the amounts sum to zero");
  if (!std::isfinite(total)) {
    // Amounts are ratios: huge ones whose sum overflows are taken relative
    // to the largest first.
    double largest = 0.0;
    for (const Site& site : sites) largest = std::max(largest, site.fraction);
    total = 0.0;
    for (Site& site : sites) total += site.fraction /= largest;
  }
  for (Site& site : sites) site.fraction /= total;
  return sites;
}

void apply_isotopes(std::vector<Site>& sites, std::string_view text, std::string_view where_) {
  const std::string where = std::string(where_) + " '" + std::string(text) + "'";
  const auto [element, list] = name_value(std::string(text), ':', where, "ELEMENT:ISOTOPE=FRACTION,...");
  Site* site = nullptr;
  for (Site& s : sites) {
    if (s.species.symbol == element) site = &s;
  }
  if (site == nullptr) throw Stop(where + ": element " + element + " is not in the composition");
  if (site->species.A != 0) {
    throw Stop(where + ": the composition gives " + site->species.name() + ", a single isotope, for " + element);
  }
  site->isotopes.clear();
  site->abundances.clear();
  double sum = 0.0;
  for (const std::string& item : split(list, ",")) {
    const auto [iso, frac_text] = name_value(item, '=', where, "ISOTOPE=FRACTION");
    const Species s = parse_species(iso, where);
    if (s.symbol != element) throw Stop(where + ": " + iso + " is not an isotope of " + element);
    const double x = parse_number(frac_text, "the fraction of " + iso, where);
    if (x < 0.0) throw Stop(where + ": the fraction of " + iso + " is negative (" + frac_text + ")");
    site->isotopes.push_back(s);
    site->abundances.push_back(x);
    sum += x;
  }
  if (std::fabs(sum - 1.0) > 1e-4) {
    throw Stop(where + ": the fractions sum to " + format("%.6g", sum) + ", not 1");
  }
}

std::vector<std::string> pair_names(const std::vector<Site>& sites) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    for (std::size_t j = i; j < sites.size(); ++j) {
      names.push_back(sites[i].species.name() + "-" + sites[j].species.name());
    }
  }
  return names;
}

std::vector<SitePower> neutron_powers(const std::vector<Site>& sites) {
  std::vector<SitePower> out;
  for (const Site& site : sites) {
    SitePower p;
    if (site.isotopes.empty()) {
      const NeutronLengths n = neutron_lengths(site.species, "neutron table");
      p.b = n.b;
      p.sigma_s = n.sigma_s;
    } else {
      // A random isotope mixture: <b> coherent; the spread of b adds
      // 4 pi (<b^2> - <b>^2) of incoherent scattering (1 barn = 100 fm^2).
      double b = 0.0, b2 = 0.0, sigma = 0.0;
      bool known = true;
      for (std::size_t k = 0; k < site.isotopes.size(); ++k) {
        const NeutronLengths n = neutron_lengths(site.isotopes[k], "neutron table");
        b += site.abundances[k] * n.b;
        b2 += site.abundances[k] * n.b * n.b;
        sigma += site.abundances[k] * n.sigma_s;
        known = known && n.sigma_s >= 0.0;
      }
      p.b = b;
      p.sigma_s = known ? sigma + four_pi * (b2 - b * b) / 100.0 : -1.0;
    }
    out.push_back(p);
  }
  return out;
}

std::vector<double> pair_weights(const std::vector<Site>& sites, const std::vector<double>& b_fm) {
  std::vector<double> w;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    for (std::size_t j = i; j < sites.size(); ++j) {
      const double factor = i == j ? 1.0 : 2.0;
      // b in fm = 1e-13 cm; b_i b_j in barn is (b_i / 10)(b_j / 10).
      w.push_back(factor * sites[i].fraction * sites[j].fraction * b_fm[i] * b_fm[j] / 100.0);
    }
  }
  return w;
}

std::vector<double> singular_values(const std::vector<std::vector<double>>& matrix) {
  // Eigenvalues of the smaller Gram matrix by cyclic Jacobi rotations.
  const std::size_t rows = matrix.size();
  const std::size_t cols = rows == 0 ? 0 : matrix[0].size();
  const bool by_rows = rows <= cols;
  const std::size_t n = by_rows ? rows : cols;
  std::vector<std::vector<double>> g(n, std::vector<double>(n, 0.0));
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = 0; b < n; ++b) {
      double sum = 0.0;
      if (by_rows) {
        for (std::size_t k = 0; k < cols; ++k) sum += matrix[a][k] * matrix[b][k];
      } else {
        for (std::size_t k = 0; k < rows; ++k) sum += matrix[k][a] * matrix[k][b];
      }
      g[a][b] = sum;
    }
  }
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (std::size_t p = 0; p < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) off += g[p][q] * g[p][q];
    }
    if (off < 1e-300) break;
    for (std::size_t p = 0; p < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) {
        if (g[p][q] == 0.0) continue;
        const double theta = (g[q][q] - g[p][p]) / (2.0 * g[p][q]);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (std::size_t k = 0; k < n; ++k) {
          const double gkp = g[k][p], gkq = g[k][q];
          g[k][p] = c * gkp - s * gkq;
          g[k][q] = s * gkp + c * gkq;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double gpk = g[p][k], gqk = g[q][k];
          g[p][k] = c * gpk - s * gqk;
          g[q][k] = s * gpk + c * gqk;
        }
      }
    }
  }
  std::vector<double> values;
  for (std::size_t k = 0; k < n; ++k) values.push_back(std::sqrt(std::max(g[k][k], 0.0)));
  std::sort(values.rbegin(), values.rend());
  return values;
}

}  // namespace yosta::tools
