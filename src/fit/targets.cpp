// Collecting independent solutions at target chi-squared levels. Once every
// data set fits at or below its target, the fit runs on for five times as many
// accepted moves as it needed to get there; the basis values are then added to
// the running sums and the fit starts again from the default start.
//
// States: searching (collection count 0), collecting (count positive), taking
// (a set is added), finished (the last requested set taken: reported to the
// save schedule, which saves and ends the run).
#include "fit/targets.h"

#include <cstdint>
#include <limits>

#include "fit/evaluation.h"
#include "model/start.h"
#include "model/transform.h"
#include "text/layout.h"

namespace yosta {

namespace {

// True when chi2_s / N_s is at or below the target of every data set.
bool targets_met(const Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    if (set.chi2 / set.N > set.settings.target_chi2) return false;
  }
  return true;
}

void take_set(Run& run) {
  SaveSums& sums = run.sums;
  for (int p = 1; p <= run.params.nbasis; ++p) {
    const auto pu = static_cast<std::size_t>(p);
    for (int j = 1; j <= run.model.r.nr; ++j) {
      const auto ju = static_cast<std::size_t>(j);
      const float v = run.model.v[pu][ju];
      sums.S1[pu][ju] += v;
      sums.S2[pu][ju] += v * v;
    }
  }
}

}  // namespace

bool target_check(Run& run, Console& console) {
  if (!run.params.save_targets) return false;
  SaveSums& sums = run.sums;

  if (sums.collect_count == 0) {
    // Go on for 5 times the accepted moves it took to get here. The product
    // is held at the 32-bit limit rather than overflowing in very long runs.
    const std::int64_t wanted = 5 * static_cast<std::int64_t>(run.control.accepted);
    sums.collect_count = wanted > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                                           : static_cast<std::int32_t>(wanted);
    if (!targets_met(run)) sums.collect_count = 0;
    if (sums.collect_count == 0) return false;
    run.control.generated = 0;
    run.control.accepted = 0;
  }

  if (sums.collect_count > 0 && run.control.accepted >= sums.collect_count) {
    sums.collect_count = 0;
    run.control.generated = 0;
    run.control.accepted = 0;
    take_set(run);
    ++sums.nsaved;
    console.write(text::layout("(' Saved ',I5,' sets of values')", {sums.nsaved}));
    if (sums.nsaved >= run.params.nsave) return true;
    console.write(text::layout("(' Resetting G(r) to start')"));
    reset_to_start(run);
  }
  return false;
}

void reset_to_start(Run& run) {
  default_start(run.params, run.model);
  run.control.generated = 0;
  run.control.accepted = 0;
  full_model(run.params, run.model);
  model_rebuilt(run);
  run.control.E_cur = 1.0e30f;
}

bool all_sets_saved(const Run& run) { return run.params.save_targets && run.sums.nsaved == run.params.nsave; }

}  // namespace yosta
