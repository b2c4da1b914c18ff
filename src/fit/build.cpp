#include "fit/build.h"

#include <algorithm>

#include "fit/health.h"
#include "model/constraints.h"
#include "model/corrections.h"
#include "model/datasets.h"
#include "model/grid.h"
#include "model/start.h"
#include "model/transform.h"
#include "text/free_reader.h"

namespace yosta {

RunParameters read_parameter_file(const std::string& path) {
  text::FreeReader reader = text::FreeReader::open(path);
  return read_parameters(reader);
}

std::unique_ptr<Run> build_run(const RunParameters& params, const BuildOptions& options, Console& console) {
  std::unique_ptr<Run> owned = make_run();
  Run& run = *owned;
  run.params = params;
  run.control.seed = options.seed;
  run.control.clock.start_time = options.start_time;
  const RunParameters& par = run.params;
  Model& model = run.model;

  read_data_sets(par, model, &console);
  if (options.stage == BuildStage::data) return owned;
  derive_r_grid(par, model);
  check_q_grid(model);
  if (par.gaussian_moves) check_gaussian_ranges(par, model);
  prepare_data(par, model);
  set_floor_value(par, model);
  if (options.stage == BuildStage::corrected) return owned;

  if (par.gaussian_moves) tabulate_gaussians(par, model);
  MoveCounts counts;
  prepare_start(par, model, counts, run.sums, console);
  run.control.generated = counts.generated;
  run.control.accepted = counts.accepted;
  check_free_centre(par, model);
  check_smoothing_factor(par, model);
  build_tables(par, model);
  full_model(par, model);
  setup_resolution(par, model);
  prepare_evaluation(run, options.evaluation);
  // A start whose model or penalties are already beyond single precision
  // (say, a tiny coordination weighting) cannot be fitted.
  stop_unless_finite(run, true, 1);
  run.schedule.start(par);
  return owned;
}

std::unique_ptr<Run> build_run(const std::string& parameter_file, const BuildOptions& options, Console& console) {
  return build_run(read_parameter_file(parameter_file), options, console);
}

}  // namespace yosta
