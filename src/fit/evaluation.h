// The evaluation a run keeps between moves: the sums every evaluator keeps,
// the trial being evaluated, and the evaluator chosen for the model
// (fit/evaluator.h describes the interface, fit/qspace.h and fit/rspace.h the
// two implementations). The choice is made once, by prepare_evaluation; the
// move cycle runs the chosen evaluator through with_evaluator, the other
// callers through the functions below.
#pragma once

#include <array>
#include <stdexcept>
#include <variant>

#include "base/one_based.h"
#include "fit/evaluator.h"
#include "fit/qspace.h"
#include "fit/rspace.h"

namespace yosta {

struct Run;

struct EvaluationState {
  OneBased<SetSums, max_sets> sets{};
  Trial trial;
  // Whether every set has the same fit case (the usual run), found by
  // prepare_evaluation: refit_all then runs one loop compiled for it.
  bool one_case = false;
  // None until prepare_evaluation has run for the model.
  std::variant<std::monostate, QSpaceEvaluator, RSpaceEvaluator> evaluator;
};

// Which evaluation a run uses: the r-space tables where they fit in memory
// (fit/rspace.h), else the passes over the Q points; or the Q-space passes
// whatever the size (tests and benchmarks compare the two).
enum class EvaluationPath { best, q_space };

// Calls f with the chosen evaluator; an evaluation never prepared is a
// logic error.
template <class F>
decltype(auto) with_evaluator(EvaluationState& ev, F&& f) {
  if (auto* r = std::get_if<RSpaceEvaluator>(&ev.evaluator)) return f(*r);
  if (auto* q = std::get_if<QSpaceEvaluator>(&ev.evaluator)) return f(*q);
  throw std::logic_error("the evaluation of the model was not prepared");
}

// Chooses the evaluator for the model as it is now set up and prepares it
// (the fixed sums of every set, its tables, the kept sums). Called again
// whenever the model's sizes or switches change.
void prepare_evaluation(Run& run, EvaluationPath path = EvaluationPath::best);

// The steps of the chosen evaluator (fit/evaluator.h), for callers outside
// the move cycle. Before prepare_evaluation a trial, keep or undo is a logic
// error; a rebuild does nothing and a sync only broadens the compared models.
double evaluate_trial(Run& run, const TrialChange& tc);
void keep_trial(Run& run);
void undo_trial(Run& run);
void model_rebuilt(Run& run);
void sync_model(Run& run);

// True when trials are evaluated from the r-space tables.
bool rspace_in_use(const Run& run);

}  // namespace yosta
