// The composition and isotope readers of `yosta-tools weights` on arbitrary
// text, with the neutron weights built from what they accept. The first byte
// splits the rest into the --composition text and one --isotope text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/stop.h"
#include "fuzz_support.h"
#include "tools/composition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using yosta::fuzz::require;
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t cut = rest.empty() ? 0 : data[0] % (rest.size() + 1);
  const std::string_view composition = rest.substr(0, cut), isotope = rest.substr(cut);
  try {
    std::vector<yosta::tools::Site> sites = yosta::tools::parse_composition(composition);
    double total = 0.0;
    for (const auto& site : sites) {
      require(std::isfinite(site.fraction) && site.fraction >= 0.0 && site.fraction <= 1.0, "fractions in 0..1");
      total += site.fraction;
    }
    require(std::fabs(total - 1.0) < 1e-9, "fractions summing to 1");
    if (!isotope.empty()) yosta::tools::apply_isotopes(sites, isotope, "--isotope");
    std::vector<double> b;
    for (const auto& power : yosta::tools::neutron_powers(sites)) {
      require(std::isfinite(power.b), "finite scattering lengths");
      b.push_back(power.b);
    }
    for (double w : yosta::tools::pair_weights(sites, b)) require(std::isfinite(w), "finite weights");
  } catch (const yosta::Stop&) {
  }
  return 0;
}
