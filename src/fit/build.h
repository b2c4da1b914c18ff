// Building a run: from a parameter file, or parameters already read, and the
// caller's options to a run ready for its first move. The one way the
// program, the tools and library callers set a run up. Bad input throws Stop
// with its message; nothing here exits or keeps state between runs, so one
// process may build any number of runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/console.h"
#include "fit/evaluation.h"
#include "fit/run.h"
#include "input/parameters.h"

namespace yosta {

// How far a build goes.
enum class BuildStage {
  data,       // the data files read (their adjusted settings in model.sets)
  corrected,  // and the grids with their checks, the data corrections and the floor value
  ready,      // everything: the start, the tables, the first model and the evaluation
};

struct BuildOptions {
  std::int32_t seed = 1;    // the generator's start
  double start_time = 0.0;  // minutes, the run clock's origin
  BuildStage stage = BuildStage::ready;
  EvaluationPath evaluation = EvaluationPath::best;
};

// The parameter file read and checked; the file is closed on return.
RunParameters read_parameter_file(const std::string& path);

// A run from the parameters. Set-up steps, in this order, any of which may
// stop: the data files (each data set's settings copied from the parameters
// and adjusted to its file once, here); the r grid, the Q grid and the
// Gaussian ranges checked; the data offsets and corrections and the floor
// value [corrected]; the Gaussian shapes, the starting g(r)s with their
// constraint and smoothing values and their checks, the transform tables with
// the first model F(Q), the resolution windows and the evaluation [ready].
// The console receives the warnings of the data files and the start.
std::unique_ptr<Run> build_run(const RunParameters& params, const BuildOptions& options, Console& console);
std::unique_ptr<Run> build_run(const std::string& parameter_file, const BuildOptions& options, Console& console);

}  // namespace yosta
