// Progress lines: the state of the fit after an accepted move, under the
// column heading that closes the run report.
#include "output/progress.h"

#include <cstdint>
#include <string>

#include "text/free_writer.h"
#include "text/layout.h"

namespace yosta {

void write_progress(const Run& run, Console& console, float E) {
  const RunParameters& p = run.params;
  console.write(text::free_record(
      {std::string(" Accepted: "), run.control.accepted, std::string("     Generated:"), run.control.generated}));

  // The smoothing penalty per basis value; nr * nbasis is formed as an integer.
  const std::int32_t nvalues = run.model.r.nr * p.nbasis;
  const float smoothing_per_point = run.model.S / static_cast<float>(nvalues);
  const float cost_per_point = E / run.model.N_total;
  for (int s = 1; s <= p.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    const float reduced_chi2 = set.chi2 / set.N;
    if (s < p.nsets) {
      console.write(text::layout("(5(1X,G10.4))", {set.beta, set.a0, set.a1, set.a2, reduced_chi2}));
    } else {
      // The last data set's line also carries the run-wide values.
      console.write(text::layout(
          "(7(1X,G10.4))", {set.beta, set.a0, set.a1, set.a2, reduced_chi2, smoothing_per_point, cost_per_point}));
    }
  }

  for (std::size_t c = 0; c < p.coordination.size(); ++c) {
    console.write(text::free_record(
        {static_cast<std::int32_t>(c + 1), run.model.Nc[c + 1], p.coordination[c].coordination, run.model.P}));
  }
}

}  // namespace yosta
