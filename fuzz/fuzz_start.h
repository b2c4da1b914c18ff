// The start-file readers (".g" and ".gsv") on arbitrary bytes: the first byte
// chooses the number of basis functions, the rest is the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "base/console.h"
#include "base/stop.h"
#include "fit/run.h"
#include "fuzz_support.h"
#include "model/start.h"

namespace yosta::fuzz {

inline void fuzz_start_file(const std::uint8_t* data, std::size_t size, bool sums_file) {
  if (size < 1) return;
  // Every input is read into a run as a fresh program has it: what an earlier
  // input left (a refused one part read) must not pass for this one's values.
  static const std::unique_ptr<const Run> fresh = make_run();
  static const std::unique_ptr<Run> run = make_run();
  *run = *fresh;
  static const std::string root = scratch_folder() + "/start";
  write_whole_file(root + (sums_file ? ".gsv" : ".g"), data + 1, size - 1);

  RunParameters& p = run->params;
  p.nbasis = 1 + data[0] % 4;
  p.density = 0.05f;
  p.root = root;
  p.root_length = static_cast<std::int32_t>(root.size());
  p.start_from_file = !sums_file;
  p.save_targets = sums_file;
  p.nsave = 3;
  Model& m = run->model;
  m.r.nr = 100;
  m.r.dr = 0.1f;
  m.Z = -1.0f;
  MoveCounts counts;
  std::ostringstream out;
  std::istringstream in;
  Console console(out, in);
  try {
    prepare_start(p, m, counts, run->sums, console);
    require(m.r.nr >= 1 && m.r.nr <= max_r, "nr");
    if (sums_file) {
      require(run->sums.nsaved >= 0 && run->sums.collect_count >= 0, "saved-set counts");
      for (int b = 1; b <= p.nbasis; ++b) {
        for (int j = 1; j <= m.r.nr; ++j) {
          const auto ub = static_cast<std::size_t>(b), uj = static_cast<std::size_t>(j);
          require(finite(run->sums.S1[ub][uj]) && finite(run->sums.S2[ub][uj]), "saved sums");
        }
      }
    } else {
      require(finite(m.r.dr) && m.r.dr > 0.0f, "r spacing");
      for (int b = 1; b <= p.nbasis; ++b) {
        for (int j = 1; j <= m.r.nr; ++j)
          require(finite(m.v[static_cast<std::size_t>(b)][static_cast<std::size_t>(j)]), "basis value");
      }
    }
  } catch (const Stop&) {
  }
}

}  // namespace yosta::fuzz
