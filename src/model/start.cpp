// The starting basis functions: the values of an earlier run's ".g" file or
// the default start, then the hard rules, the starting coordination numbers
// and smoothing penalty, and the saved sums of an earlier run's ".gsv" file.
#include "model/start.h"

#include <cmath>
#include <string>

#include "fit/constraints.h"
#include "run/files.h"
#include "run/stop.h"
#include "text/free_reader.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

// The point count of a start file, checked before any row is read so that a
// table is never filled past its capacity.
std::int32_t read_point_count(text::FreeReader& in) {
  const std::int32_t nr = in.read_int("number of r points (integer)");
  if (nr > max_r || nr < 1) {
    throw Stop("Start file " + in.name() + " has nr = " + std::to_string(nr) + "; it must lie between 1 and " +
               std::to_string(max_r));
  }
  return nr;
}

void read_g_file(Run& run, Console& console) {
  const int nbasis = run.params.nbasis;
  text::FreeReader in = text::FreeReader::open(root_file(run.params, ".g"));
  const std::int32_t nr = read_point_count(in);

  in.begin("move counters");
  in.get(run.generated, "number of generated moves (integer)");
  in.get(run.accepted, "number of accepted moves (integer)");
  in.end();

  float r1 = 0.0f;
  for (int j = 1; j <= nr; ++j) {
    float r = 0.0f;
    in.begin("r point record");
    in.get(r, "r value (real)");
    for (int p = 1; p <= nbasis; ++p) {
      in.get(run.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)], "basis function value (real)");
    }
    in.end();
    if (j == 1) r1 = r;
  }

  if (!(r1 > 0.0f) || !std::isfinite(r1)) {
    throw Stop("Start file " + in.name() + " has a first r value of " + text::real_text(r1) +
               "; it must be a positive r spacing");
  }
  const float derived = run.r.dr;
  if (std::fabs(r1 - derived) > 1.0e-5f * derived) {
    console.line(" Warning: start file " + in.name() + " has r spacing " + text::real_text(r1) +
                 ", not the derived " + text::real_text(derived) + "; using the start file's");
  }
  run.r.nr = nr;
  run.r.dr = r1;
}

void read_gsv_file(Run& run, const std::string& path) {
  const int nbasis = run.params.nbasis;
  text::FreeReader in = text::FreeReader::open(path);
  const std::int32_t nr = read_point_count(in);

  SaveSums& sums = run.sums;
  in.begin("saved-set counts");
  in.get(sums.nsaved, "number of saved sets (integer)");
  in.get(sums.collect_count, "collection count (integer)");
  in.end();

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
  run.r.nr = nr;
}

void zero_sums(Run& run) {
  SaveSums& sums = run.sums;
  sums.nsaved = 0;
  sums.collect_count = 0;
  for (int p = 1; p <= max_basis; ++p) {
    for (int j = 1; j <= run.r.nr; ++j) {
      sums.S1[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
      sums.S2[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
    }
  }
}

}  // namespace

void default_start(Run& run) {
  for (int p = 1; p <= max_basis; ++p) {
    for (int j = 1; j <= run.r.nr; ++j) run.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = 0.0f;
  }
  run.generated = 0;
  run.accepted = 0;
  enforce_zero_and_positivity(run);
  coordination_full(run);
  smoothing_full(run);
}

void prepare_start(Run& run, Console& console) {
  if (run.params.start_from_file) {
    read_g_file(run, console);
    enforce_zero_and_positivity(run);
    coordination_full(run);
    smoothing_full(run);
  } else {
    default_start(run);
  }

  if (run.params.save_targets) {
    const std::string path = root_file(run.params, ".gsv");
    if (file_exists(path)) {
      read_gsv_file(run, path);
    } else {
      zero_sums(run);
    }
  }
}

}  // namespace yosta
