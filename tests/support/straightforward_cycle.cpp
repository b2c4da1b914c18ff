#include "support/straightforward_cycle.h"

#include <cmath>

#include "model/constraints.h"
#include "base/random.h"

namespace yosta::bench {
namespace {

float literal_kernel(const Run& run, int k, int j) {
  const int a = k + run.model.q.q_offset;
  if (a == 0) return static_cast<float>(j * j) * run.model.tables.q_zero_factor;
  const int m = (a * j) % run.model.tables.P;
  return run.model.tables.sinqr[static_cast<std::size_t>(m)] *
         run.model.tables.reciprocal[static_cast<std::size_t>(k)] * static_cast<float>(j);
}

void literal_update(Run& run, int p, int j0, const float* d, int n) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    for (int k = 1; k <= run.model.q.nq; ++k) {
      float change = 0.0f;
      for (int i = 0; i < n; ++i) {
        if (d[i] == 0.0f) continue;
        change +=
            literal_kernel(run, k, j0 + i) * set.coef[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)] * d[i];
      }
      set.change[static_cast<std::size_t>(k)] = change;
      set.F_calc[static_cast<std::size_t>(k)] += change;
    }
  }
}

}  // namespace

void baseline_full_model(Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    for (int k = 1; k <= run.model.q.nq; ++k) {
      float f = 0.0f;
      for (int p = 1; p <= run.params.nbasis; ++p)
        for (int j = 1; j <= run.model.r.nr; ++j)
          f += literal_kernel(run, k, j) * set.coef[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)] *
               run.model.v[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)];
      set.F_calc[static_cast<std::size_t>(k)] = set.background[static_cast<std::size_t>(k)] + f;
    }
  }
}

double baseline_evaluate(Run& run) {
  double total = 0.0;
  const auto& Q = run.model.q.Q;
  for (int s = 1; s <= run.params.nsets; ++s) {
    DataSet& set = run.model.sets[static_cast<std::size_t>(s)];
    const auto& par = set.settings;
    // Compared model.
    if (run.params.resolution_on) {
      for (int i = 1; i <= run.model.q.nq; ++i) set.M[static_cast<std::size_t>(i)] = 0.0f;
      for (int k = par.q_first; k <= par.q_last; ++k) {
        const auto uk = static_cast<std::size_t>(k);
        for (int i = set.lo[uk]; i <= set.hi[uk]; ++i)
          set.M[static_cast<std::size_t>(i)] +=
              set.weight[uk][static_cast<std::size_t>(i - set.lo[uk])] * set.F_calc[uk];
      }
    } else {
      for (int k = 1; k <= run.model.q.nq; ++k)
        set.M[static_cast<std::size_t>(k)] = set.F_calc[static_cast<std::size_t>(k)];
    }
    // The four sums.
    double R0 = 0, RF = 0, R1 = 0, R2 = 0;
    for (int k = par.q_first; k <= par.q_last; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      const float m = set.M[uk] / set.err[uk];
      R0 += m;
      RF += set.F[uk] * m;
      R1 += Q[uk] * m;
      R2 += (Q[uk] * Q[uk]) * m;
    }
    // The corrections: solve the normal equations directly in double.
    const double D0 = R0 - set.T0, D1 = R1 - set.T1, D2 = R2 - set.T2;
    double x[4] = {0, 0, 0, 0};
    double rhs[4];
    int n = 0;
    switch (set.fit_case) {
      case FitCase::none:
        break;
      case FitCase::scale:
        set.beta = static_cast<float>(RF / set.FF);
        break;
      case FitCase::zero:
        set.a0 = static_cast<float>(D0 / set.S0);
        break;
      case FitCase::scale_zero:
        rhs[0] = R0;
        rhs[1] = RF;
        n = 2;
        break;
      case FitCase::scale_zero_linear:
        rhs[0] = R0;
        rhs[1] = R1;
        rhs[2] = RF;
        n = 3;
        break;
      case FitCase::scale_all:
        rhs[0] = R0;
        rhs[1] = R1;
        rhs[2] = R2;
        rhs[3] = RF;
        n = 4;
        break;
      case FitCase::zero_linear:
        rhs[0] = D0;
        rhs[1] = D1;
        n = 2;
        break;
      case FitCase::zero_all:
        rhs[0] = D0;
        rhs[1] = D1;
        rhs[2] = D2;
        n = 3;
        break;
    }
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < n; ++c)
        x[i] += static_cast<double>(set.inverse[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)]) * rhs[c];
    switch (set.fit_case) {
      case FitCase::scale_zero:
        set.a0 = static_cast<float>(x[0]);
        set.beta = static_cast<float>(x[1]);
        break;
      case FitCase::scale_zero_linear:
        set.a0 = static_cast<float>(x[0]);
        set.a1 = static_cast<float>(x[1]);
        set.beta = static_cast<float>(x[2]);
        break;
      case FitCase::scale_all:
        set.a0 = static_cast<float>(x[0]);
        set.a1 = static_cast<float>(x[1]);
        set.a2 = static_cast<float>(x[2]);
        set.beta = static_cast<float>(x[3]);
        break;
      case FitCase::zero_linear:
        set.a0 = static_cast<float>(x[0]);
        set.a1 = static_cast<float>(x[1]);
        break;
      case FitCase::zero_all:
        set.a0 = static_cast<float>(x[0]);
        set.a1 = static_cast<float>(x[1]);
        set.a2 = static_cast<float>(x[2]);
        break;
      default:
        break;
    }
    // Chi-squared.
    double chi2 = 0;
    for (int k = par.q_first; k <= par.q_last; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      const float r = set.M[uk] - (set.a2 * Q[uk] + set.a1) * Q[uk] - set.beta * set.F[uk] - set.a0;
      chi2 += r * r / set.err[uk];
    }
    set.chi2 = static_cast<float>(chi2);
    total += set.chi2;
  }
  return total;
}

bool baseline_move(Run& run) {
  const RunParameters& par = run.params;
  int p = 1, j = 1;
  float r = run.model.r.dr;
  do {
    p = static_cast<int>(next_random(run.control.seed) * par.nbasis) + 1;
    j = static_cast<int>(next_random(run.control.seed) * run.model.r.nr) + 1;
    r = static_cast<float>(j) * run.model.r.dr;
  } while (centre_refused(run.params, p, r));
  const double u = next_random(run.control.seed);
  const float delta =
      static_cast<float>(static_cast<double>(2.0f * par.max_change) * (u - 0.5) / static_cast<double>(r));

  float d[2 * max_gauss_half + 1];
  int j0 = j, n = 1;
  if (par.gaussian_moves) {
    int K = 1;
    if (par.nranges >= 2)
      for (int i = par.nranges; i >= 1; --i)
        if (par.ranges[static_cast<std::size_t>(i - 1)].rch >= r) K = i;
    const int half = run.model.gauss.ngauss[static_cast<std::size_t>(K)];
    j0 = j - half;
    n = 2 * half + 1;
    for (int m = 1; m <= n; ++m) {
      const int jm = j0 + m - 1;
      const bool on_grid = jm >= 1 && jm <= run.model.r.nr;
      const float mask = on_grid && !zero_masked(run.params, p, static_cast<float>(jm) * run.model.r.dr) ? 1.0f : 0.0f;
      d[m - 1] = on_grid
                     ? positivity_rule(run.params, run.model, p, jm,
                                       run.model.gauss.shape[static_cast<std::size_t>(K)][static_cast<std::size_t>(m)] *
                                           mask * delta)
                     : 0.0f;
    }
    // Positions off the grid take no part.
    while (j0 < 1) {
      ++j0;
      --n;
      for (int i = 0; i < n; ++i) d[i] = d[i + 1];
    }
    if (j0 + n - 1 > run.model.r.nr) n = run.model.r.nr - j0 + 1;
  } else {
    d[0] = positivity_rule(run.params, run.model, p, j, delta);
  }
  float dNc[max_constraints + 1];
  coordination_move(run.params, run.model, p, j0, d, n, dNc);
  auto& v = run.model.v[static_cast<std::size_t>(p)];
  if (!par.gaussian_moves) v[static_cast<std::size_t>(j)] += d[0];
  literal_update(run, p, j0, d, n);
  const double chi2 = baseline_evaluate(run);
  const float E_new = static_cast<float>(chi2 + run.model.S + run.model.P);
  const float D = (run.control.E_cur - E_new) * 0.5f;
  bool accept;
  if (par.improved_only && D < 0.0f)
    accept = false;
  else if (D < -20.0f)
    accept = false;
  else if (D >= 0.0f)
    accept = true;
  else
    accept = next_random(run.control.seed) <= static_cast<double>(std::exp(D));
  ++run.control.generated;
  if (!accept) {
    if (!par.gaussian_moves) v[static_cast<std::size_t>(j)] -= d[0];
    for (int s = 1; s <= par.nsets; ++s)
      for (int k = 1; k <= run.model.q.nq; ++k)
        run.model.sets[static_cast<std::size_t>(s)].F_calc[static_cast<std::size_t>(k)] -=
            run.model.sets[static_cast<std::size_t>(s)].change[static_cast<std::size_t>(k)];
    for (std::size_t c = 1; c <= par.coordination.size(); ++c) run.model.Nc[c] -= dNc[c];
    return false;
  }
  if (par.gaussian_moves)
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(j0 + i)] += d[i];
  run.control.E_cur = E_new;
  ++run.control.accepted;
  return true;
}

}  // namespace yosta::bench
