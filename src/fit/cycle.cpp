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
inline std::int32_t count_up(std::int32_t n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u);
}

inline bool single_point_smoothing(const RunParameters& par) {
  return par.smoothing_on && (par.smoothing_type == 1 || par.smoothing_type == 2);
}

}  // namespace

bool one_move(Run& run, Console& console) {
  const RunParameters& par = run.params;
  const int nr = run.model.r.nr;
  const float dr = run.model.r.dr;

  // 1. The centre: basis function p and r point j, drawn again while a zero
  // constraint of p holds r.
  int p = 1;
  int j = 1;
  float r = dr;
  for (;;) {
    p = static_cast<int>(next_random(run.control.seed) * par.nbasis) + 1;
    j = static_cast<int>(next_random(run.control.seed) * nr) + 1;
    r = static_cast<float>(j) * dr;
    if (!centre_refused(run.params, p, r)) break;
  }
  auto& v = run.model.v[static_cast<std::size_t>(p)];

  // 2. The amplitude, uniform in -max_change/r .. +max_change/r: max_change
  // bounds the change of r g(r). Formed from the generator's double value.
  const double u_amp = next_random(run.control.seed);
  float delta = static_cast<float>(static_cast<double>(2.0f * par.max_change) * (u_amp - 0.5) /
                                   static_cast<double>(r));

  // 3. Shape the move: d[m] is the change at r point j0 + m - 1, for the
  // positions mlo..mhi that lie on the grid (a single-point move is m = 1).
  const bool gaussian = par.gaussian_moves;
  float d[2 * max_gauss_half + 2];
  int j0 = j;
  int mlo = 1;
  int mhi = 1;
  if (!gaussian) {
    delta = positivity_rule(run.params, run.model, p, j, delta);
    d[1] = delta;
  } else {
    const int K = gaussian_range(par, r);
    const int n = run.model.gauss.ngauss[static_cast<std::size_t>(K)];
    const auto& shape = run.model.gauss.shape[static_cast<std::size_t>(K)];
    j0 = j - n;
    mlo = j0 >= 1 ? 1 : 2 - j0;
    mhi = nr - j0 + 1 < 2 * n + 1 ? nr - j0 + 1 : 2 * n + 1;
    for (int m = mlo; m <= mhi; ++m) {
      const int jm = j0 + m - 1;
      const float mask = zero_masked(run.params, p, static_cast<float>(jm) * dr) ? 0.0f : 1.0f;
      d[m] = positivity_rule(run.params, run.model, p, jm, shape[static_cast<std::size_t>(m)] * mask * delta);
    }
  }
  const int first = j0 + mlo - 1;  // r point of the first on-grid position
  const int count = mhi - mlo + 1;
  const float* changes = &d[mlo];

  // 4. Coordination numbers and the coordination penalty.
  float dNc[max_constraints + 1];
  coordination_move(run.params, run.model, p, first, changes, count, dNc);

  // 5. Smoothing, and the tentative single-point change. A Gaussian move
  // leaves v alone until it is accepted.
  float dS = 0.0f;
  if (!gaussian) {
    if (single_point_smoothing(par)) {
      dS = smoothing_change(run.params, run.model, p, j, delta);
    } else {
      v[static_cast<std::size_t>(j)] += delta;
    }
  }
  run.model.S += dS;

  // 6, 7. Model update and evaluation, in one pass per data set from the
  // sums kept between moves. When every change is zero the model stays as it
  // is and nothing needs to be taken back out on rejection. A single point,
  // and a Gaussian bump that is whole (every position on the grid, no mask,
  // no positivity change: d(m) = shape(m) delta exactly), take their change
  // from a row prepared per r point; other bumps go point by point.
  TrialChange trial;
  trial.p = p;
  trial.first = first;
  trial.d = changes;
  trial.count = count;
  for (int i = 0; i < count; ++i) trial.changed = trial.changed || changes[i] != 0.0f;
  if (!gaussian) {
    trial.row = j;
    trial.amplitude = delta;
  } else {
    const int K = gaussian_range(par, r);
    const int n = run.model.gauss.ngauss[static_cast<std::size_t>(K)];
    const auto& shape = run.model.gauss.shape[static_cast<std::size_t>(K)];
    bool whole = mlo == 1 && mhi == 2 * n + 1;
    for (int m = mlo; m <= mhi && whole; ++m) whole = d[m] == shape[static_cast<std::size_t>(m)] * delta;
    if (whole) {
      trial.row = j;
      trial.amplitude = delta;
    }
  }
  const double chi2 = evaluate_trial(run, trial);

  // 8. The cost, in single precision.
  const float E_new = static_cast<float>(chi2 + static_cast<double>(run.model.S) + static_cast<double>(run.model.P));
  const float D = (run.control.E_cur - E_new) * 0.5f;

  // 9. Metropolis test. Only the last branch draws a random number.
  bool accept = false;
  if (par.improved_only && D < 0.0f) {
    accept = false;
  } else if (D < -20.0f) {
    accept = false;
  } else if (D >= 0.0f) {
    accept = true;
  } else {
    const double u = next_random(run.control.seed);
    accept = u <= static_cast<double>(std::exp(D));
  }

  // 10.
  run.control.generated = count_up(run.control.generated);

  if (!accept) {
    // 11. Undo in reverse, by subtraction. The corrections and chi2 of the
    // data sets keep their rejected values until the next evaluation.
    // QUIRK: (v + delta) - delta need not give back v to the last bit; the
    // method undoes by subtraction and so does this.
    if (!gaussian) v[static_cast<std::size_t>(j)] -= delta;
    run.model.S -= dS;
    undo_trial(run);
    const int ncoord = static_cast<int>(par.coordination.size());
    for (int c = 1; c <= ncoord; ++c) run.model.Nc[static_cast<std::size_t>(c)] -= dNc[c];
  } else {
    // 12. Accept: apply a Gaussian change, count, and let the display and the
    // target saving see the new model.
    if (gaussian) {
      for (int m = mlo; m <= mhi; ++m) v[static_cast<std::size_t>(j0 + m - 1)] += d[m];
    }
    keep_trial(run);
    run.control.E_cur = E_new;
    run.control.accepted = count_up(run.control.accepted);
    // The hook is set only when plots are drawn (live plotting, or a device
    // named on the command line).
    if (run.hooks.plots.refresh != nullptr && par.plot_interval > 0 && run.control.accepted % par.plot_interval == 0) {
      sync_model(run);
      run.hooks.plots.refresh(run.hooks.plots.context);
    }
    if (run.hooks.progress != nullptr &&
        (run.control.accepted == 1 || (par.report_interval > 0 && run.control.accepted % par.report_interval == 0))) {
      sync_model(run);
      run.hooks.progress(run, console, E_new);
    }
    if (par.save_targets) target_check(run, console);
  }

  // 13. The save check runs after every move; it may end the cycle.
  ++run.control.moves_made;
  if (run.hooks.after_move != nullptr) run.hooks.after_move(run, console);
  // Keep live windows painted when accepted moves (and so refreshes) are rare.
  if (run.hooks.plots.repaint != nullptr && (run.control.moves_made & 2047) == 0) run.hooks.plots.repaint(run.hooks.plots.context);
  return accept;
}

bool run_cycle(Run& run, Console& console) {
  while (run.control.running) one_move(run, console);
  return all_sets_saved(run);
}

}  // namespace yosta
