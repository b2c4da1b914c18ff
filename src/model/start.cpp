// The starting basis functions: the values of an earlier run's ".g" file or
// the default start, then the hard rules, the starting coordination numbers
// and smoothing penalty, and the saved sums of an earlier run's ".gsv" file.
#include "model/start.h"

#include <cmath>
#include <string>

#include "model/constraints.h"
#include "base/files.h"
#include "base/stop.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

// The point count of a start file, checked before any row is read so that a
// table is never filled past its capacity.
std::int32_t read_point_count(text::FreeReader& in) {
  const std::int32_t nr = in.read_int("number of r points (integer)");
  if (nr > max_r || nr < 1) {
    throw Stop("Start file " + text::printable(in.name()) + " has nr = " + std::to_string(nr) +
               "; it must lie between 1 and " + std::to_string(max_r));
  }
  return nr;
}

void read_g_file(const RunParameters& par, Model& model, MoveCounts& counts, Console& console) {
  const int nbasis = par.nbasis;
  text::FreeReader in = text::FreeReader::open(root_file(par, ".g"));
  const std::int32_t nr = read_point_count(in);

  in.begin("move counters");
  in.get(counts.generated, "number of generated moves (integer)");
  in.get(counts.accepted, "number of accepted moves (integer)");
  in.end();

  float r1 = 0.0f;
  for (int j = 1; j <= nr; ++j) {
    float r = 0.0f;
    in.begin("r point record");
    in.get(r, "r value (real)");
    for (int p = 1; p <= nbasis; ++p) {
      in.get(model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)], "basis function value (real)");
    }
    in.end();
    if (j == 1) r1 = r;
  }

  if (!(r1 > 0.0f) || !std::isfinite(r1)) {
    throw Stop("Start file " + text::printable(in.name()) + " has a first r value of " + text::real_text(r1) +
               "; it must be a positive r spacing");
  }
  const float derived = model.r.dr;
  if (std::fabs(r1 - derived) > 1.0e-5f * derived) {
    console.line(" Warning: start file " + text::printable(in.name()) + " has r spacing " + text::real_text(r1) +
                 ", not the derived " + text::real_text(derived) + "; using the start file's");
  }
  model.r.nr = nr;
  model.r.dr = r1;
}

void read_gsv_file(const RunParameters& par, Model& model, SaveSums& sums, const std::string& path) {
  const int nbasis = par.nbasis;
  text::FreeReader in = text::FreeReader::open(path);
  const std::int32_t nr = read_point_count(in);

  in.begin("saved-set counts");
  // Checked before they are kept: a refused count never reaches the sums.
  std::int32_t nsaved = sums.nsaved, collect_count = sums.collect_count;
  if (in.get(nsaved, "number of saved sets (integer)") && nsaved < 0)
    in.refuse_last("number of saved sets (integer)", "must not be negative");
  if (in.get(collect_count, "collection count (integer)") && collect_count < 0)
    in.refuse_last("collection count (integer)", "must not be negative");
  in.end();
  sums.nsaved = nsaved;
  sums.collect_count = collect_count;

  for (int j = 1; j <= nr; ++j) {
    const auto uj = static_cast<std::size_t>(j);
    float r = 0.0f;
    in.begin("r point record");
    in.get(r, "r value (real)");
    for (int p = 1; p <= nbasis; ++p) in.get(sums.S1[static_cast<std::size_t>(p)][uj], "sum of saved values (real)");
    for (int p = 1; p <= nbasis; ++p) {
      in.get(sums.S2[static_cast<std::size_t>(p)][uj], "sum of squared saved values (real)");
    }
    in.end();
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
      sums.S1[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
      sums.S2[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
    }
  }
}

}  // namespace

void default_start(const RunParameters& par, Model& model) {
  for (int p = 1; p <= max_basis; ++p) {
    for (int j = 1; j <= model.r.nr; ++j) model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
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
