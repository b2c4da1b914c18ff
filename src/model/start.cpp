// The starting basis functions: the values of an earlier run's ".g" file or
// the default start, then the hard rules, the starting coordination numbers
// and smoothing penalty, and the saved sums of an earlier run's ".gsv" file.
#include "model/start.h"

#include <cmath>
#include <string>

#include <vector>

#include "base/files.h"
#include "formats/result_files.h"
#include "model/constraints.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

// The values of an earlier run's ".g" file; the file must hold this run's
// number of basis functions (a ".gsv" file or a start of another run is
// refused by name).
void read_g_file(const RunParameters& par, Model& model, MoveCounts& counts, Console& console) {
  const formats::GFile g = formats::read_g_file(root_file(par, ".g"), par.nbasis);
  const int nr = g.nr();
  counts.generated = g.generated;
  counts.accepted = g.accepted;
  for (int p = 1; p <= par.nbasis; ++p) {
    const std::vector<float>& column = g.v[static_cast<std::size_t>(p - 1)];
    for (int j = 1; j <= nr; ++j) {
      model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = column[static_cast<std::size_t>(j - 1)];
    }
  }
  const float r1 = g.r.front();  // positive and finite: the reader checks every r
  const float derived = model.r.dr;
  if (std::fabs(r1 - derived) > 1.0e-5f * derived) {
    console.line(" Warning: start file " + text::printable(g.path) + " has r spacing " + text::real_text(r1) +
                 ", not the derived " + text::real_text(derived) + "; using the start file's");
  }
  model.r.nr = nr;
  model.r.dr = r1;
}

void read_gsv_file(const RunParameters& par, Model& model, SaveSums& sums, const std::string& path) {
  const formats::GsvFile s = formats::read_gsv_file(path, par.nbasis);
  const int nr = s.nr();
  sums.nsaved = s.nsaved;
  sums.collect_count = s.collect_count;
  for (int p = 1; p <= par.nbasis; ++p) {
    const auto up = static_cast<std::size_t>(p);
    for (int j = 1; j <= nr; ++j) {
      const auto uj = static_cast<std::size_t>(j);
      sums.S1[up][uj] = s.S1[up - 1][uj - 1];
      sums.S2[up][uj] = s.S2[up - 1][uj - 1];
    }
  }
  // QUIRK: the sums file sets nr last, also when it differs from the start's;
  // the basis values beyond the old nr stay as they are (0).
  model.r.nr = nr;
}

void zero_sums(const Model& model, SaveSums& sums) {
  sums.nsaved = 0;
  sums.collect_count = 0;
  for (int p = 1; p <= max_basis; ++p) {
    for (int j = 1; j <= model.r.nr; ++j) {
      sums.S1[p][j] = 0.0f;
      sums.S2[p][j] = 0.0f;
    }
  }
}

}  // namespace

void default_start(const RunParameters& par, Model& model) {
  for (int p = 1; p <= max_basis; ++p) {
    for (int j = 1; j <= model.r.nr; ++j) model.v[p][j] = 0.0f;
  }
  enforce_zero_and_positivity(par, model);
  coordination_full(par, model);
  smoothing_full(par, model);
}

void prepare_start(const RunParameters& par, Model& model, MoveCounts& counts, SaveSums& sums, Console& console) {
  if (par.start_from_file) {
    read_g_file(par, model, counts, console);
    enforce_zero_and_positivity(par, model);
    coordination_full(par, model);
    smoothing_full(par, model);
  } else {
    default_start(par, model);
    counts = MoveCounts{};
  }

  if (par.save_targets) {
    const std::string path = root_file(par, ".gsv");
    if (file_exists(path)) {
      read_gsv_file(par, model, sums, path);
    } else {
      zero_sums(model, sums);
    }
  }
}

}  // namespace yosta
