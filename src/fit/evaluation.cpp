#include "fit/evaluation.h"

#include "fit/run.h"
#include "model/corrections.h"

namespace yosta {

// What every evaluator shares.
//
// Everything the evaluation needs from the compared model M is linear or
// quadratic in M: with e = M - F over the fitted range, the refit sums are
// R0 = T0 + E0, RF = FF + EF, R1 = T1 + E1, R2 = T2 + E2 (E0 = sum e/var,
// EF = sum e F/var, E1 = sum e Q/var, E2 = sum e Q^2/var), and chi-squared,
// with x = beta - 1, is the quadratic form
//   sum (e - x F - a0 - a1 Q - a2 Q^2)^2 / var
//     = EE - 2x EF - 2a0 E0 - 2a1 E1 - 2a2 E2 + x^2 FF + 2x (a0 T0 + a1 T1 + a2 T2)
//       + a0^2 S0 + 2a0 a1 S1 + (a1^2 + 2a0 a2) S2 + 2a1 a2 S3 + a2^2 S4
// with EE = sum e^2/var. So a trial move needs only the changes of the E
// sums; the refit and chi-squared are then a few dozen operations.

namespace {

using kernels::need0;
using kernels::need1;
using kernels::need2;
using kernels::needF;

std::size_t u(int i) { return static_cast<std::size_t>(i); }

// Which E sums a fit case reads besides EE.
constexpr unsigned needs_of(FitCase c) {
  switch (c) {
    case FitCase::none:
      return 0u;
    case FitCase::scale:
      return needF;
    case FitCase::zero:
      return need0;
    case FitCase::zero_linear:
      return need0 | need1;
    case FitCase::zero_all:
      return need0 | need1 | need2;
    case FitCase::scale_zero:
      return need0 | needF;
    case FitCase::scale_zero_linear:
      return need0 | need1 | needF;
    case FitCase::scale_all:
      return need0 | need1 | need2 | needF;
  }
  return need0 | need1 | need2 | needF;
}

// Adds the changes in d to the sums for the fit case's needs (the others stay).
inline KeptSums plus(const KeptSums& k, const KeptSums& d, unsigned need) {
  KeptSums r = k;
  r.EE += d.EE;
  if ((need & need0) != 0) r.E0 += d.E0;
  if ((need & needF) != 0) r.EF += d.EF;
  if ((need & need1) != 0) r.E1 += d.E1;
  if ((need & need2) != 0) r.E2 += d.E2;
  return r;
}

// The fixed sums of every set, in double (the data set stores them in
// single), Q*Q rounded to single precision as the passes use it.
void form_fixed_sums(Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    SetSums& k = run.kept.sets[s];
    for (double& x : k.S) x = 0.0;
    for (double& x : k.T) x = 0.0;
    k.FF = 0.0;
    for (int q = set.settings.q_first; q <= set.settings.q_last; ++q) {
      const float Q = run.model.q.Q[q];
      const double w = set.inv_var[q], x = Q, xx = Q * Q, f = set.F[q];
      k.S[0] += w;
      k.S[1] += x * w;
      k.S[2] += xx * w;
      k.S[3] += xx * x * w;
      k.S[4] += xx * xx * w;
      k.T[0] += f * w;
      k.T[1] += x * f * w;
      k.T[2] += xx * f * w;
      k.FF += f * f * w;
    }
  }
}

// chi2 of a set with its current coefficients from the sums (see above),
// its terms grouped so that they can be formed side by side. The terms of
// coefficients the case does not fit (zero, or beta - 1 zero) are left out:
// they would add exact zeros.
template <FitCase C>
double chi_squared_from(const SetSums& k, const KeptSums& e, const DataSet& set) {
  using Terms = CaseTerms<C>;
  constexpr bool scaled = Terms::scaled;
  constexpr int n = Terms::offsets;
  const double x = static_cast<double>(set.beta) - 1.0;
  const double a0 = set.a0, a1 = set.a1, a2 = set.a2;
  double cross = 0.0, data = 0.0, poly = 0.0;
  if constexpr (scaled && n >= 1)
    cross = x * e.EF + a0 * e.E0;
  else if constexpr (scaled)
    cross = x * e.EF;
  else if constexpr (n >= 1)
    cross = a0 * e.E0;
  if constexpr (n == 2) cross = cross + a1 * e.E1;
  if constexpr (n == 3) cross = cross + (a1 * e.E1 + a2 * e.E2);
  if constexpr (scaled) {
    data = x * x * k.FF;
    if constexpr (n == 1) data = data + 2.0 * x * (a0 * k.T[0]);
    if constexpr (n == 2) data = data + 2.0 * x * (a0 * k.T[0] + a1 * k.T[1]);
    if constexpr (n == 3) data = data + 2.0 * x * ((a0 * k.T[0] + a1 * k.T[1]) + a2 * k.T[2]);
  }
  if constexpr (n == 1) poly = a0 * a0 * k.S[0];
  if constexpr (n == 2) poly = (a0 * a0 * k.S[0] + 2.0 * a0 * a1 * k.S[1]) + a1 * a1 * k.S[2];
  if constexpr (n == 3)
    poly = (a0 * a0 * k.S[0] + 2.0 * a0 * a1 * k.S[1]) +
           ((a1 * a1 + 2.0 * a0 * a2) * k.S[2] + (2.0 * a1 * a2 * k.S[3] + a2 * a2 * k.S[4]));
  double chi2 = e.EE;
  if constexpr (scaled || n >= 1) chi2 = chi2 - 2.0 * cross;
  if constexpr (scaled && n >= 1)
    chi2 = chi2 + (data + poly);
  else if constexpr (scaled)
    chi2 = chi2 + data;
  else if constexpr (n >= 1)
    chi2 = chi2 + poly;
  // The exact value is a sum of squares; rounding must not make it negative
  // (nor a negative zero). A NaN stays a NaN: it must not pass for a perfect
  // fit.
  return chi2 <= 0.0 ? 0.0 : chi2;
}

// One set's trial sums, corrections and chi2 for its fit case.
template <FitCase C>
float refit_set(SetSums& k, DataSet& set, bool changed, const KeptSums& d) {
  k.trial = changed ? plus(k.kept, d, needs_of(C)) : k.kept;
  const KeptSums& e = k.trial;
  RefitSums r{0.0f, 0.0f, 0.0f, 0.0f};
  constexpr int n = CaseTerms<C>::offsets;
  if constexpr (n >= 1) r.R0 = static_cast<float>(k.T[0] + e.E0);
  if constexpr (CaseTerms<C>::scaled) r.RF = static_cast<float>(k.FF + e.EF);
  if constexpr (n >= 2) r.R1 = static_cast<float>(k.T[1] + e.E1);
  if constexpr (n >= 3) r.R2 = static_cast<float>(k.T[2] + e.E2);
  refit_case<C>(set, r);
  set.chi2 = static_cast<float>(chi_squared_from<C>(k, e, set));
  return set.chi2;
}

}  // namespace

double refit_all(Run& run, bool changed, const KeptSums* d) {
  // One loop compiled for the sets' common case lets the steps of the sets
  // overlap: choosing the case set by set made a whole run of the three-set
  // bench case 4 to 6% slower.
  if (run.kept.one_case) {
    return with_fit_case(run.model.sets[1].fit_case, [&](auto c) {
      double total = 0.0;
      for (int s = 1; s <= run.params.nsets; ++s)
        total +=
            static_cast<double>(refit_set<decltype(c)::value>(run.kept.sets[s], run.model.sets[s], changed, d[s - 1]));
      return total;
    });
  }
  double total = 0.0;
  for (int s = 1; s <= run.params.nsets; ++s) {
    DataSet& set = run.model.sets[s];
    SetSums& k = run.kept.sets[s];
    const KeptSums& ds = d[s - 1];
    const float chi2 =
        with_fit_case(set.fit_case, [&](auto c) { return refit_set<decltype(c)::value>(k, set, changed, ds); });
    total += static_cast<double>(chi2);
  }
  return total;
}

void keep_sums(Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) run.kept.sets[s].kept = run.kept.sets[s].trial;
}

void broaden_compared_models(Run& run) {
  if (!run.params.resolution_on) return;
  for (int s = 1; s <= run.params.nsets; ++s) compared_model(run.params, run.model, run.model.sets[s]);
}

KeptSums recompute_kept_sums(const Run& run, int s) {
  const DataSet& set = run.model.sets[s];
  const int first = set.settings.q_first, last = set.settings.q_last;
  float broadened[max_q + 1];
  const float* M = set.F_calc.data();
  if (run.params.resolution_on) {
    broaden(set, run.model.q.nq, set.F_calc.data(), broadened);
    M = broadened;
  }
  KeptSums e;
  for (int q = first; q <= last; ++q) {
    const auto uq = u(q);
    const double diff = static_cast<double>(M[q]) - static_cast<double>(set.F[uq]);
    const double dw = diff * set.inv_var[uq];
    e.E0 += dw;
    e.EF += dw * static_cast<double>(set.F[uq]);
    e.E1 += dw * static_cast<double>(run.model.q.Q[uq]);
    e.E2 += dw * static_cast<double>(run.model.q.Q[uq] * run.model.q.Q[uq]);
    e.EE += dw * diff;
  }
  return e;
}

void prepare_evaluation(Run& run, EvaluationPath path) {
  EvaluationState& ev = run.kept;
  ev.evaluator = std::monostate{};  // the old tables go first
  ev.trial = Trial{};
  ev.one_case = true;
  for (int s = 2; s <= run.params.nsets; ++s)
    ev.one_case = ev.one_case && run.model.sets[s].fit_case == run.model.sets[1].fit_case;
  form_fixed_sums(run);
  if (path == EvaluationPath::best && rspace_fits(run, rspace_max_bytes))
    ev.evaluator.emplace<RSpaceEvaluator>().prepare(run);
  else
    ev.evaluator.emplace<QSpaceEvaluator>().prepare(run);
}

double evaluate_trial(Run& run, const TrialChange& tc) {
  return with_evaluator(run.kept, [&](auto& e) { return e.trial(run, tc); });
}
void keep_trial(Run& run) {
  with_evaluator(run.kept, [&](auto& e) { e.keep(run); });
}
void undo_trial(Run& run) {
  with_evaluator(run.kept, [&](auto& e) { e.undo(run); });
}
// Before the evaluation is prepared nothing is kept and F_calc is the model's
// own: a rebuild needs nothing, a sync only the compared models.
void model_rebuilt(Run& run) {
  if (std::holds_alternative<std::monostate>(run.kept.evaluator)) return;
  with_evaluator(run.kept, [&](auto& e) { e.rebuilt(run); });
}
void sync_model(Run& run) {
  if (std::holds_alternative<std::monostate>(run.kept.evaluator)) return broaden_compared_models(run);
  with_evaluator(run.kept, [&](auto& e) { e.sync(run); });
}

bool rspace_in_use(const Run& run) { return std::holds_alternative<RSpaceEvaluator>(run.kept.evaluator); }

static_assert(Evaluator<QSpaceEvaluator> && Evaluator<RSpaceEvaluator>);

}  // namespace yosta
