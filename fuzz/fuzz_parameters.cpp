// The parameter-file reader on arbitrary bytes: it either stops with a
// message or returns settings in which every real is a finite number.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "base/stop.h"
#include "fuzz_support.h"
#include "input/parameters.h"
#include "text/free_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using yosta::fuzz::finite;
  using yosta::fuzz::require;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    yosta::text::FreeReader reader("fuzz.dat", in);
    const yosta::RunParameters p = yosta::read_parameters(reader);
    require(finite(p.density) && p.density > 0.0f, "density");
    require(finite(p.max_change) && p.max_change != 0.0f, "max_change");
    require(finite(p.rmax) && finite(p.run_time) && finite(p.save_interval), "rmax or times");
    require(finite(p.smoothing_weight) && finite(p.smoothing_exponent) && finite(p.smoothing_cutoff), "smoothing");
    require(!p.save_targets || p.nsave >= 1, "nsave");
    require(p.nsets >= 1 && p.nsets <= yosta::max_sets, "nsets");
    for (int i = 0; i < p.nranges; ++i) {
      const auto& r = p.ranges[static_cast<std::size_t>(i)];
      require(finite(r.width) && finite(r.rch), "Gaussian range");
    }
    for (const auto& c : p.coordination) {
      require(finite(c.r_from) && finite(c.r_to) && finite(c.concentration) && finite(c.basis_weight) &&
                  finite(c.coordination) && finite(c.weighting),
              "coordination constraint");
    }
    for (int s = 0; s < p.nsets; ++s) {
      const auto& set = p.sets[static_cast<std::size_t>(s)];
      require(finite(set.fq_offset) && finite(set.sigma) && finite(set.target_chi2) && finite(set.wavelength) &&
                  finite(set.res_u) && finite(set.res_v) && finite(set.res_w),
              "data set settings");
      for (float c : set.coefficients) require(finite(c), "coefficient");
    }
    require(p.root_length >= 1 && static_cast<std::size_t>(p.root_length) <= p.root.size(), "root");
  } catch (const yosta::Stop&) {
  }
  return 0;
}
