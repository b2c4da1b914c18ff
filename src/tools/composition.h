// Sample compositions and the scattering powers of their atoms: the parsing of
// "O:1 H:2" and "H:D=0.5,H=0.5", the embedded neutron scattering lengths, and
// the Faber-Ziman pair weights built from them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace yosta::tools {

// One kind of atom as written by the user: an element (mass number 0, the
// natural mixture) or an isotope ("2H", "D", "T", "13C").
struct Species {
  std::string symbol;  // element symbol, e.g. "H"
  int Z = 0;
  int A = 0;  // mass number; 0 for the natural element
  std::string name() const;
};

// Parses "H", "2H", "D", "T", "13C". Throws Stop naming `where` for text that
// is not a known element or isotope of the neutron table.
Species parse_species(std::string_view text, std::string_view where);

// The bound coherent scattering length (fm) and total bound scattering cross
// section (barn; negative when unknown) of a species, from the embedded table.
struct NeutronLengths {
  double b = 0.0;
  double sigma_s = -1.0;
};
NeutronLengths neutron_lengths(const Species& s, std::string_view where);

// A site of the composition: a species, its atomic fraction, and for an
// element given as such an optional isotope mixture replacing natural
// abundance.
struct Site {
  Species species;
  double fraction = 0.0;           // c_i, the amounts divided by their sum
  std::vector<Species> isotopes;   // empty: the species itself
  std::vector<double> abundances;  // of `isotopes`, summing to 1
};

// "O:1 H:2" (spaces or commas between entries). Amounts must be finite and
// non-negative with a positive sum; an element may appear once.
std::vector<Site> parse_composition(std::string_view text);

// Applies one isotope option "H:2H=0.5,1H=0.5" (D and T for 2H and 3H; the
// element's own symbol for its natural mixture) to the site of that element.
// The abundances must be non-negative and sum to 1 (within 1e-4).
void apply_isotopes(std::vector<Site>& sites, std::string_view text, std::string_view where);

// The pairs i <= j in the order (1,1), (1,2) ... (1,n), (2,2) ... (n,n): the
// order of the coefficients in a data set's coefficient record when the basis
// functions are numbered so.
std::vector<std::string> pair_names(const std::vector<Site>& sites);

// Mean coherent scattering length (fm) and total scattering cross section
// (barn; negative when one is unknown) of every site.
struct SitePower {
  double b = 0.0;
  double sigma_s = 0.0;
};
std::vector<SitePower> neutron_powers(const std::vector<Site>& sites);

// Faber-Ziman weights (2 - d_ij) c_i c_j b_i b_j in barn, in pair order.
std::vector<double> pair_weights(const std::vector<Site>& sites, const std::vector<double>& b_fm);

// X-ray weights (2 - d_ij) c_i c_j f_i f_j / N at one Q, in pair order, with
// N = <f^2> (fsq) or <f>^2 and the form factors of xraylib. Throws Stop when
// xraylib has no form factor or N is zero.
std::vector<double> xray_pair_weights(const std::vector<Site>& sites, double Q, bool fsq);

// Singular values (largest first) of a rows x cols matrix given by rows.
std::vector<double> singular_values(const std::vector<std::vector<double>>& matrix);

}  // namespace yosta::tools
