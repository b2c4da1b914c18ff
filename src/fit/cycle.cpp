// The Monte Carlo move cycle. One turn: draw a centre and an amplitude, shape
// the change (single point or Gaussian bump) under the zero and positivity
// rules, update the coordination numbers, the smoothing penalty and the model
// F(Q) incrementally, re-evaluate every data set, and keep or undo the change
// by a Metropolis test on half the change of the cost.
//
// Every random number is drawn exactly where the method draws it, so that a
// seed reproduces a run move for move. A rejected move is undone by
// subtracting what was added; no copy of the model is ever taken.
#include "fit/cycle.h"

#include <cmath>
#include <cstdint>

#include "model/constraints.h"
#include "fit/targets.h"
#include "fit/evaluation.h"
#include "model/transform.h"
#include "base/random.h"

namespace yosta {

namespace {

// The move counters are 32-bit and, in long runs, wrap around rather than
// overflow (signed overflow would be undefined).
inline std::int32_t count_up(std::int32_t n) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u); }

// A trial move as drawn: basis function p at r point j (r = j dr), and the
// amplitude before the hard rules.
struct Proposal {
  int p = 1;
  int j = 1;
  float r = 0.0f;
  float delta = 0.0f;
};

// The centre is drawn again while a zero constraint of its basis function
// holds it; the amplitude is uniform in -max_change/r .. +max_change/r, so
// that max_change bounds the change of r g(r). Both come from the
// generator's double values, in this order.
[[gnu::always_inline]] inline Proposal propose(const RunParameters& par, const Model& model, std::int32_t& seed) {
  Proposal m;
  for (;;) {
    m.p = static_cast<int>(next_random(seed) * par.nbasis) + 1;
    m.j = static_cast<int>(next_random(seed) * model.r.nr) + 1;
    m.r = static_cast<float>(m.j) * model.r.dr;
    if (!centre_refused(par, m.p, m.r)) break;
  }
  const double u_amp = next_random(seed);
  m.delta = static_cast<float>(static_cast<double>(2.0f * par.max_change) * (u_amp - 0.5) / static_cast<double>(m.r));
  return m;
}

// The changes of a move at the r points it touches: d[m] is the change at r
// point j0 + m - 1 for the positions mlo..mhi that lie on the grid (a
// single-point move is m = 1 alone).
struct Shaped {
  float d[2 * max_gauss_half + 2];
  int j0 = 1, mlo = 1, mhi = 1;
  bool whole = false;  // a Gaussian bump with every position on the grid and unchanged
  int first() const { return j0 + mlo - 1; }
  int count() const { return mhi - mlo + 1; }
};

// A single point under the positivity rule, or a Gaussian bump of the
// centre's r range, cut at the grid ends, masked beside zero constraints and
// each position under the positivity rule.
[[gnu::always_inline]] inline void shape(const RunParameters& par, const Model& model, Proposal& m, Shaped& out) {
  if (!par.gaussian_moves) {
    m.delta = positivity_rule(par, model, m.p, m.j, m.delta);
    out.d[1] = m.delta;
    out.j0 = m.j;
    return;
  }
  const float dr = model.r.dr;
  const int nr = model.r.nr;
  const auto range = static_cast<std::size_t>(gaussian_range(par, m.r));
  const int n = model.gauss.ngauss[range];
  const auto& bump = model.gauss.shape[range];
  out.j0 = m.j - n;
  out.mlo = out.j0 >= 1 ? 1 : 2 - out.j0;
  out.mhi = nr - out.j0 + 1 < 2 * n + 1 ? nr - out.j0 + 1 : 2 * n + 1;
  for (int k = out.mlo; k <= out.mhi; ++k) {
    const int jm = out.j0 + k - 1;
    const float mask = zero_masked(par, m.p, static_cast<float>(jm) * dr) ? 0.0f : 1.0f;
    out.d[k] = positivity_rule(par, model, m.p, jm, bump[static_cast<std::size_t>(k)] * mask * m.delta);
  }
  out.whole = out.mlo == 1 && out.mhi == 2 * n + 1;
  for (int k = out.mlo; k <= out.mhi && out.whole; ++k) {
    out.whole = out.d[k] == bump[static_cast<std::size_t>(k)] * m.delta;
  }
}

// The Metropolis test on D, half the fall of the cost. Only the last branch
// draws a random number. A D that is not a number (a trial cost that is not
// one) is refused by the first test, before any draw: every comparison with
// a NaN is false, so the test is written as "not at least -20".
[[gnu::always_inline]] inline bool decide(const RunParameters& par, float D, std::int32_t& seed) {
  if (!(D >= -20.0f)) return false;
  if (par.improved_only && D < 0.0f) return false;
  if (D >= 0.0f) return true;
  const double u = next_random(seed);
  return u <= static_cast<double>(std::exp(D));
}

// After an accepted move: the plots, the progress lines and the target check
// see the new model. Returns true when the last target set was taken.
bool after_accept(Run& run, Console& console, float E_new) {
  const RunParameters& par = run.params;
  run.control.E_cur = E_new;
  run.control.accepted = count_up(run.control.accepted);
  // The plot hook is set only when plots are drawn (live plotting, or a
  // device named on the command line).
  const std::int32_t accepted = run.control.accepted;
  // The progress lines show F_calc and the corrections, which the evaluation
  // brings up to date only when asked. The plots ask for it themselves, and
  // only for a drawing that happens (most refreshes are skipped by the
  // display's rate limit, and a null device draws nothing).
  if (run.hooks.plots.refresh != nullptr && par.plot_interval > 0 && accepted % par.plot_interval == 0)
    run.hooks.plots.refresh(run.hooks.plots.context);
  if (run.hooks.progress != nullptr &&
      (accepted == 1 || (par.report_interval > 0 && accepted % par.report_interval == 0))) {
    sync_model(run);
    run.hooks.progress(run, console, E_new);
  }
  return par.save_targets && target_check(run, console);
}

// One move with the evaluator E the run's evaluation chose.
template <Evaluator E>
bool move_with(Run& run, E& evaluator, Console& console) {
  const RunParameters& par = run.params;
  Model& model = run.model;
  const bool gaussian = par.gaussian_moves;

  Proposal m = propose(par, model, run.control.seed);
  Shaped change;
  shape(par, model, m, change);
  auto& v = model.v[m.p];

  // Coordination numbers and the coordination penalty.
  float dNc[max_constraints + 1];
  coordination_move(par, model, m.p, change.first(), &change.d[change.mlo], change.count(), dNc);

  // The smoothing penalty of a single-point move (a Gaussian move has none).
  // Nothing here writes the basis values: they change only once the move is
  // decided, below.
  const float dS = gaussian ? 0.0f : smoothing_change(par, model, m.p, m.j, m.delta);
  model.S += dS;

  // The model and its evaluation, from the sums kept between moves. When
  // every change is zero the model stays as it is and nothing needs to be
  // taken back out on rejection. A single point, and a whole Gaussian bump
  // (d(m) = shape(m) delta exactly), take their change from a row prepared
  // per r point; other bumps go point by point.
  TrialChange trial;
  trial.p = m.p;
  trial.first = change.first();
  trial.d = &change.d[change.mlo];
  trial.count = change.count();
  for (int i = 0; i < trial.count; ++i) trial.changed = trial.changed || trial.d[i] != 0.0f;
  if (!gaussian || change.whole) {
    trial.row = m.j;
    trial.amplitude = m.delta;
  }
  const double chi2 = evaluator.trial(run, trial);

  // The cost, in single precision, and the test on half its fall.
  const float E_new = static_cast<float>(chi2 + static_cast<double>(model.S) + static_cast<double>(model.P));
  const float D = (run.control.E_cur - E_new) * 0.5f;
  const bool accept = decide(par, D, run.control.seed);
  run.control.generated = count_up(run.control.generated);

  // The basis values are written here alone. An accepted move adds its
  // changes; a rejected one leaves them (but for the rounding below), and
  // its other parts are undone in reverse, by subtraction. The corrections
  // and chi2 of the data sets keep their rejected values until the next
  // evaluation.
  if (!accept) {
    // QUIRK: the method applies a single-point change before the test and
    // undoes it by subtraction, and (v + delta) - delta need not give back v
    // to the last bit: a rejected single-point move leaves v so rounded.
    if (!gaussian) {
      float& x = v[m.j];
      x = (x + m.delta) - m.delta;
    }
    model.S -= dS;
    evaluator.undo(run);
    const int ncoord = static_cast<int>(par.coordination.size());
    for (int c = 1; c <= ncoord; ++c) model.Nc[c] -= dNc[c];
  }
  MoveReport report;
  report.accepted = accept;
  if (accept) {
    for (int k = change.mlo; k <= change.mhi; ++k) v[change.j0 + k - 1] += change.d[k];
    evaluator.keep(run);
    report.last_set_taken = after_accept(run, console, E_new);
  }

  // The save check runs after every move and answers whether the cycle goes on.
  ++run.control.moves_made;
  if (run.hooks.after_move != nullptr && !run.hooks.after_move(run, console, report)) run.control.running = false;
  // Keep live windows painted when accepted moves (and so refreshes) are rare.
  if (run.hooks.plots.repaint != nullptr && (run.control.moves_made & 2047) == 0) {
    run.hooks.plots.repaint(run.hooks.plots.context);
  }
  return accept;
}

}  // namespace

bool one_move(Run& run, Console& console) {
  return with_evaluator(run.kept, [&](auto& e) { return move_with(run, e, console); });
}

bool run_cycle(Run& run, Console& console) {
  // The evaluator is chosen once, for the whole cycle.
  with_evaluator(run.kept, [&](auto& e) {
    while (run.control.running) move_with(run, e, console);
  });
  return all_sets_saved(run);
}

}  // namespace yosta
