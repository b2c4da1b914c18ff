// Data corrections and the measure of fit. The corrected data beta F + a0 +
// a1 Q + a2 Q^2 are matched to the model by weighted linear least squares; all
// that does not depend on the model (variances, fixed sums, the inverse normal
// matrix, resolution windows) is prepared once, so that each evaluation is a
// broadening pass, one pass of four sums, a small matrix product and one
// chi-squared pass per data set.
#include "model/corrections.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include "model/transform.h"
#include "base/stop.h"
#include "text/free_writer.h"
#include "base/circle.h"
#include "base/lanes.h"

namespace yosta {
namespace {

using lanes::load;
using lanes::store;
using lanes::v2d;
using lanes::v2f;
using lanes::v4f;
using lanes::widen;

constexpr float degree = 0.017453292f;  // radians per degree
constexpr float four_ln2 = 2.7725887f;

// Basis terms of the correction fit, in the order of the normal matrices.
enum Term : int { one = 0, q1 = 1, q2 = 2, data = 3 };

struct CaseBasis {
  int n;
  Term terms[4];
};

CaseBasis basis_of(FitCase c) {
  switch (c) {
    case FitCase::scale_zero:
      return {2, {one, data}};
    case FitCase::scale_zero_linear:
      return {3, {one, q1, data}};
    case FitCase::scale_all:
      return {4, {one, q1, q2, data}};
    case FitCase::zero_linear:
      return {2, {one, q1}};
    case FitCase::zero_all:
      return {3, {one, q1, q2}};
    default:
      return {0, {}};
  }
}

FitCase choose_case(const DataSetSettings& s) {
  // The linear term counts only with rezeroing, the quadratic one only with
  // both; renormalising works on its own.
  const bool linear = s.rezero && s.linear_correction;
  const bool quadratic = linear && s.quadratic_correction;
  if (s.renormalise) {
    if (!s.rezero) return FitCase::scale;
    if (!linear) return FitCase::scale_zero;
    return quadratic ? FitCase::scale_all : FitCase::scale_zero_linear;
  }
  if (!s.rezero) return FitCase::none;
  if (!linear) return FitCase::zero;
  return quadratic ? FitCase::zero_all : FitCase::zero_linear;
}

// Doolittle factorisation A = L U with a unit diagonal in L, no pivoting.
// Inner sums are accumulated in double. False on a zero or non-finite pivot.
bool factorise(const float* a, int n, float (&L)[4][4], float (&U)[4][4]) {
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      L[i][j] = i == j ? 1.0f : 0.0f;
      U[i][j] = 0.0f;
    }
  }
  for (int k = 0; k < n; ++k) {
    for (int j = k; j < n; ++j) {
      double sum = 0.0;
      for (int m = 0; m < k; ++m) sum += static_cast<double>(L[k][m]) * static_cast<double>(U[m][j]);
      U[k][j] = static_cast<float>(static_cast<double>(a[k * n + j]) - sum);
    }
    const float pivot = U[k][k];
    if (pivot == 0.0f || !std::isfinite(pivot)) return false;
    for (int i = k + 1; i < n; ++i) {
      double sum = 0.0;
      for (int m = 0; m < k; ++m) sum += static_cast<double>(L[i][m]) * static_cast<double>(U[m][k]);
      L[i][k] = static_cast<float>(static_cast<double>(a[i * n + k]) - sum) / pivot;
    }
  }
  return true;
}

// A normal matrix is a Gram matrix: each pivot is the part of its term's
// weight that the earlier terms do not explain. One at rounding level (or
// below zero) means the terms are linearly dependent over the fitted range.
bool well_conditioned(const float* a, int n) {
  float L[4][4], U[4][4];
  if (!factorise(a, n, L, U)) return false;
  for (int k = 0; k < n; ++k) {
    if (!(U[k][k] > 16.0f * FLT_EPSILON * std::fabs(a[k * n + k]))) return false;
  }
  return true;
}

std::string set_name(int s) { return "Data set " + std::to_string(s); }

void prepare_set(Model& model, int s) {
  DataSet& set = model.sets[s];
  const DataSetSettings& st = set.settings;
  const std::int32_t nq = model.q.nq;

  for (int k = 1; k <= nq; ++k) set.F[k] -= st.fq_offset;

  double S[5] = {0, 0, 0, 0, 0};
  double T[3] = {0, 0, 0};
  double FF = 0.0;
  for (int k = st.q_first; k <= st.q_last; ++k) {
    const float var = set.err[k] * set.err[k];
    set.err[k] = var;
    if (!(var > 0.0f)) {
      throw Stop(set_name(s) + " has an error of " + text::real_text(std::sqrt(var)) + " at its point " +
                 std::to_string(k) + " (Q = " + text::real_text(model.q.Q[k]) +
                 "), which lies in the fitted range; every fitted point needs a non-zero error");
    }
    const double w = 1.0 / static_cast<double>(var);
    const double q = model.q.Q[k];
    const double qq = static_cast<double>(model.q.Q[k] * model.q.Q[k]);  // Q*Q rounded to single
    const double f = set.F[k];
    set.inv_var[k] = w;
    set.F_w[k] = f * w;
    set.Q_w[k] = q * w;
    set.QQ_w[k] = qq * w;
    S[0] += w;
    T[0] += f * w;
    FF += f * f * w;
    S[1] += q * w;
    S[2] += qq * w;
    S[3] += qq * q * w;
    S[4] += qq * qq * w;
    T[1] += q * f * w;
    T[2] += qq * f * w;
  }
  set.N = static_cast<float>(st.q_last - st.q_first + 1);
  set.S0 = static_cast<float>(S[0]);
  set.S1 = static_cast<float>(S[1]);
  set.S2 = static_cast<float>(S[2]);
  set.S3 = static_cast<float>(S[3]);
  set.S4 = static_cast<float>(S[4]);
  set.T0 = static_cast<float>(T[0]);
  set.T1 = static_cast<float>(T[1]);
  set.T2 = static_cast<float>(T[2]);
  set.FF = static_cast<float>(FF);
  for (const float sum : {set.S0, set.S1, set.S2, set.S3, set.S4, set.T0, set.T1, set.T2, set.FF}) {
    if (!std::isfinite(sum)) {
      throw Stop(set_name(s) + ": the weighted sums of its data over the fitted range exceed the single-precision " +
                 "range (F(Q), Q or 1/error^2 too large); chi-squared cannot be formed");
    }
  }

  set.fit_case = choose_case(st);
  if (set.fit_case == FitCase::scale && !(set.FF > 0.0f)) {
    throw Stop(set_name(s) + " is renormalised but its data are all zero over the fitted range; " +
               "the scale cannot be fitted");
  }
  if (set.fit_case == FitCase::zero && !(set.S0 > 0.0f)) {
    throw Stop(set_name(s) + ": the sum of 1/variance over the fitted range is zero; the constant cannot be fitted");
  }

  const CaseBasis basis = basis_of(set.fit_case);
  set.inverse = {};
  if (basis.n >= 2) {
    // Entry (a, b) is the weighted sum of the product of terms a and b.
    const float moments[5] = {set.S0, set.S1, set.S2, set.S3, set.S4};
    const float with_data[3] = {set.T0, set.T1, set.T2};
    float a[16];
    for (int i = 0; i < basis.n; ++i) {
      for (int j = 0; j < basis.n; ++j) {
        const Term ti = basis.terms[i], tj = basis.terms[j];
        float value;
        if (ti == data && tj == data)
          value = set.FF;
        else if (ti == data)
          value = with_data[tj];
        else if (tj == data)
          value = with_data[ti];
        else
          value = moments[ti + tj];
        a[i * basis.n + j] = value;
      }
    }
    float inverse[16];
    if (!well_conditioned(a, basis.n) || !invert_matrix(a, basis.n, inverse)) {
      throw Stop(set_name(s) + ": the corrections asked for cannot be fitted independently over the fitted " +
                 "range (singular normal matrix); switch some of them off or widen the range");
    }
    for (int i = 0; i < basis.n; ++i) {
      for (int j = 0; j < basis.n; ++j) {
        set.inverse[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = inverse[i * basis.n + j];
      }
    }
  }

  set.beta = 0.0f;
  set.a0 = set.a1 = set.a2 = 0.0f;
  set.chi2 = 0.0f;
  // QUIRK: the set-up also starts beta at 1 for renormalise + rezero + linear
  // without quadratic, as the program always has; the first evaluation
  // replaces it.
  if (!st.renormalise || set.fit_case == FitCase::scale_zero_linear) set.beta = 1.0f;

  model.N_total += set.N;
}

}  // namespace

bool invert_matrix(const float* a, int n, float* inverse) {
  float L[4][4], U[4][4];
  if (n < 1 || n > 4 || !factorise(a, n, L, U)) return false;

  // Y = inverse of L by forward substitution on the identity.
  float Y[4][4] = {};
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      double sum = i == j ? 1.0 : 0.0;
      for (int m = 0; m < i; ++m) sum -= static_cast<double>(L[i][m]) * static_cast<double>(Y[m][j]);
      Y[i][j] = static_cast<float>(sum);
    }
  }
  // X = inverse of U by back substitution.
  float X[4][4] = {};
  for (int j = n - 1; j >= 0; --j) {
    X[j][j] = 1.0f / U[j][j];
    for (int i = j - 1; i >= 0; --i) {
      double sum = 0.0;
      for (int m = i + 1; m <= j; ++m) sum += static_cast<double>(U[i][m]) * static_cast<double>(X[m][j]);
      X[i][j] = static_cast<float>(-sum) / U[i][i];
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double sum = 0.0;
      for (int m = 0; m < n; ++m) sum += static_cast<double>(X[i][m]) * static_cast<double>(Y[m][j]);
      const float value = static_cast<float>(sum);
      if (!std::isfinite(value)) return false;
      inverse[i * n + j] = value;
    }
  }
  return true;
}

void prepare_data(const RunParameters& par, Model& model) {
  model.N_total = 0.0f;
  for (int s = 1; s <= par.nsets; ++s) prepare_set(model, s);
  if (par.smoothing_on) model.N_total += static_cast<float>(model.r.nr * par.nbasis);
}

void setup_resolution(const RunParameters& par, Model& model) {
  if (!par.resolution_on) return;
  const std::int32_t nq = model.q.nq;
  const auto& Q = model.q.Q;
  const float q_first = Q[1], q_last = Q[nq];

  for (int s = 1; s <= par.nsets; ++s) {
    DataSet& set = model.sets[s];
    const DataSetSettings& st = set.settings;
    const float lambda = st.wavelength;
    set.lo = {};
    set.hi = {};
    for (int k = st.q_first; k <= st.q_last; ++k) {
      const float qk = Q[k];
      const std::string where = set_name(s) + " at Q = " + text::real_text(qk);

      // x is the sine of the Bragg angle; H the Caglioti width turned into a
      // full width at half maximum in Q.
      const float x = lambda * qk * one_over_four_pi_f;
      if (!(std::fabs(x) < 1.0f)) {
        throw Stop(where + ": wavelength " + text::real_text(lambda) +
                   " times Q / 4 pi is not below 1, so the resolution width is undefined");
      }
      const float c = std::sqrt(1.0f - x * x);
      const float t = x / c;
      const float H = std::sqrt((st.res_u * t + st.res_v) * t + st.res_w) * degree * (c / lambda * four_pi_f) * 0.5f;
      const float g = 1.0f / (H * H) * four_ln2;
      if (!(H > 0.0f) || !std::isfinite(H) || !std::isfinite(g)) {
        throw Stop(where + ": the resolution width is " + text::real_text(H) +
                   "; the resolution parameters must give a positive finite width");
      }
      const float h = 3.0f / std::sqrt(2.0f * g);  // three standard deviations

      std::int32_t lo = 1;
      if (qk - h > q_first) {
        lo = 2;
        while (lo < nq && Q[lo] < qk - h) ++lo;
      }
      std::int32_t hi = nq;
      if (qk + h < q_last) {
        hi = nq - 1;
        while (hi > 1 && Q[hi] > qk + h) --hi;
      }
      if (hi - lo + 1 > max_window) {
        throw Stop({" Peaks too wide",
                    where + ": the resolution window (FWHM " + text::real_text(H) + ") spans " +
                        std::to_string(hi - lo + 1) + " Q points, more than " + std::to_string(max_window) +
                        "; check the wavelength and u, v, w of this set, or use a coarser Q grid (yosta-tools "
                        "import --rebin)"},
                   1);
      }
      set.lo[k] = lo;
      set.hi[k] = hi;

      auto& weight = set.weight[k];
      weight = {};
      double sum = 0.0;
      for (int i = lo; i <= hi; ++i) {
        const float d = qk - Q[i];
        const float w = std::exp(-g * (d * d));
        weight[static_cast<std::size_t>(i - lo)] = w;
        sum += static_cast<double>(w);
      }
      const float total = static_cast<float>(sum);
      for (int i = lo; i <= hi; ++i) weight[static_cast<std::size_t>(i - lo)] /= total;
      // QUIRK: a window that reaches the last Q point loses its whole
      // contribution, as the program always has.
      if (hi == nq) weight = {};
    }
  }
}

void broaden(const DataSet& set, int nq, const float* F_calc, float* M) {
  std::memset(M + 1, 0, sizeof(float) * static_cast<std::size_t>(nq));
  for (int k = set.settings.q_first; k <= set.settings.q_last; ++k) {
    const std::int32_t lo = set.lo[k], hi = set.hi[k];
    const float f = F_calc[k];
    const v4f fv = {f, f, f, f};
    const float* w = set.weight[k].data();
    float* Mw = M + lo;
    const int len = hi - lo + 1;
    int i = 0;
    for (; i + 4 <= len; i += 4) store(Mw + i, load<v4f>(Mw + i) + load<v4f>(w + i) * fv);
    for (; i < len; ++i) Mw[i] = Mw[i] + w[i] * f;
  }
}

namespace {}  // namespace

void compared_model(const RunParameters& par, Model& model, DataSet& set) {
  const std::int32_t nq = model.q.nq;
  float* M = set.M.data();
  const float* F_calc = set.F_calc.data();
  if (!par.resolution_on) {
    std::memcpy(M + 1, F_calc + 1, sizeof(float) * static_cast<std::size_t>(nq));
    return;
  }
  broaden(set, nq, F_calc, M);
}

namespace {

// R0 = sum M/var, RF = sum F M/var, R1 = sum Q M/var, R2 = sum Q^2 M/var over
// the fitted range, in double, two points per vector: the lanes take the
// points in turn (first, first+1, first+2, first+3, then again) and are added
// in lane order, then the points left over in order. The order is fixed, so
// every run gives the same sums.
}  // namespace

RefitSums refit_sums(const DataSet& set) {
  const std::int32_t first = set.settings.q_first, last = set.settings.q_last;
  const float* M = set.M.data();
  const double* w = set.inv_var.data();
  const double* Fw = set.F_w.data();
  const double* Qw = set.Q_w.data();
  const double* QQw = set.QQ_w.data();
  const v2d zero = {0.0, 0.0};
  v2d s0a = zero, s0b = zero, sfa = zero, sfb = zero, s1a = zero, s1b = zero, s2a = zero, s2b = zero;
  int k = first;
  for (; k + 3 <= last; k += 4) {
    const v2d ma = widen(M + k), mb = widen(M + k + 2);
    s0a += ma * load<v2d>(w + k);
    s0b += mb * load<v2d>(w + k + 2);
    sfa += ma * load<v2d>(Fw + k);
    sfb += mb * load<v2d>(Fw + k + 2);
    s1a += ma * load<v2d>(Qw + k);
    s1b += mb * load<v2d>(Qw + k + 2);
    s2a += ma * load<v2d>(QQw + k);
    s2b += mb * load<v2d>(QQw + k + 2);
  }
  double r0 = ((s0a[0] + s0a[1]) + s0b[0]) + s0b[1];
  double rf = ((sfa[0] + sfa[1]) + sfb[0]) + sfb[1];
  double r1 = ((s1a[0] + s1a[1]) + s1b[0]) + s1b[1];
  double r2 = ((s2a[0] + s2a[1]) + s2b[0]) + s2b[1];
  for (; k <= last; ++k) {
    const double m = M[k];
    r0 += m * w[k];
    rf += m * Fw[k];
    r1 += m * Qw[k];
    r2 += m * QQw[k];
  }
  return {static_cast<float>(r0), static_cast<float>(rf), static_cast<float>(r1), static_cast<float>(r2)};
}

// beta, a0, a1, a2 by the set's case; coefficients not fitted take their
// fixed values (1 for beta, 0 for the others).
void refit_coefficients(DataSet& set, const RefitSums& r) {
  with_fit_case(set.fit_case, [&](auto c) { refit_case<decltype(c)::value>(set, r); });
}

namespace {

// chi2 = sum over the fitted range of (M - (a2 Q + a1) Q - beta F - a0)^2 / var:
// the residual in single precision four points at a time (the scalar
// operations lane by lane), its weighted square summed in double over lanes
// as in refit_sums.
float chi_squared(const DataSet& set, const float* Q) {
  const std::int32_t first = set.settings.q_first, last = set.settings.q_last;
  const float* M = set.M.data();
  const float* F = set.F.data();
  const double* w = set.inv_var.data();
  const float beta = set.beta, a0 = set.a0, a1 = set.a1, a2 = set.a2;
  const v4f a2v = {a2, a2, a2, a2}, a1v = {a1, a1, a1, a1};
  const v4f bv = {beta, beta, beta, beta}, a0v = {a0, a0, a0, a0};
  v2d ca = {0.0, 0.0}, cb = ca;
  int k = first;
  for (; k + 3 <= last; k += 4) {
    const v4f q = load<v4f>(Q + k);
    const v4f res = load<v4f>(M + k) - (a2v * q + a1v) * q - bv * load<v4f>(F + k) - a0v;
    const v2d ra = __builtin_convertvector(__builtin_shufflevector(res, res, 0, 1), v2d);
    const v2d rb = __builtin_convertvector(__builtin_shufflevector(res, res, 2, 3), v2d);
    ca += ra * ra * load<v2d>(w + k);
    cb += rb * rb * load<v2d>(w + k + 2);
  }
  double chi2 = ((ca[0] + ca[1]) + cb[0]) + cb[1];
  for (; k <= last; ++k) {
    const float residual = M[k] - (a2 * Q[k] + a1) * Q[k] - beta * F[k] - a0;
    chi2 += static_cast<double>(residual) * static_cast<double>(residual) * w[k];
  }
  return static_cast<float>(chi2);
}

}  // namespace

double evaluate(const RunParameters& par, Model& model) {
  double total = 0.0;
  for (int s = 1; s <= par.nsets; ++s) {
    DataSet& set = model.sets[s];
    compared_model(par, model, set);
    refit_coefficients(set, refit_sums(set));
    set.chi2 = chi_squared(set, model.q.Q.data());
    total += static_cast<double>(set.chi2);
  }
  return total;
}

}  // namespace yosta
