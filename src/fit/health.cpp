#include "fit/health.h"

#include <cmath>
#include <cstdio>

#include "base/stop.h"
#include "text/free_writer.h"

namespace yosta {

namespace {

bool finite(float x) { return std::isfinite(x); }
bool finite(double x) { return std::isfinite(x); }

std::string short_real(float x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", static_cast<double>(x));
  return text;
}

// What was found: "<subject> is not a finite number (<value>) <when>; <remedy>".
struct Finding {
  std::string subject;  // empty: nothing found
  std::string value;
  std::string remedy;
  bool found() const { return !subject.empty(); }
  std::string line(const std::string& when) const {
    std::string text = subject + " is not a finite number (" + value + ")";
    if (!when.empty()) text += " " + when;
    if (!remedy.empty()) text += "; " + remedy;
    return text;
  }
};

Finding finding(std::string subject, float value, std::string remedy) {
  return Finding{std::move(subject), text::real_text(value), std::move(remedy)};
}
Finding finding(std::string subject, double value, std::string remedy) {
  return Finding{std::move(subject), text::real_text(static_cast<float>(value)), std::move(remedy)};
}

std::string set_label(const Run& run, int s) {
  return "Data set " + std::to_string(s) + " (" + run.model.sets[s].settings.data_file + ")";
}

// What is blamed when a set's misfit leaves the single-precision range.
const char* const misfit_records =
    "its misfit has left the single-precision range: check the set's errors (sigma, record 24.5, or the error "
    "column of its file), its F values and its coefficients (record 24.4, or the coefficient columns of its file)";

Finding check_sets_cost(const Run& run) {
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    if (!finite(set.chi2)) return finding(set_label(run, s) + ": its chi-squared", set.chi2, misfit_records);
    const KeptSums& k = run.kept.sets[s].kept;
    for (const double x : {k.EE, k.E0, k.EF, k.E1, k.E2}) {
      if (!finite(x)) return finding(set_label(run, s) + ": a sum of its misfit", x, misfit_records);
    }
  }
  return {};
}

Finding check_penalties(const Run& run) {
  const Model& model = run.model;
  for (std::size_t c = 0; c < run.params.coordination.size(); ++c) {
    const float N = model.Nc[c + 1];
    if (!finite(N)) {
      return finding("Coordination constraint " + std::to_string(c + 1) + " (partial " +
                         std::to_string(run.params.coordination[c].partial) + "): its coordination number",
                     N, "check its concentration and basis_weight (record 15.1)");
    }
  }
  if (!finite(model.P)) {
    return finding("The coordination penalty", model.P,
                   "check the weighting of the coordination constraints (record 15.1): a small weighting makes a "
                   "large penalty");
  }
  if (!finite(model.S)) {
    return finding("The smoothing penalty", model.S, "check smoothing_weight and smoothing_exponent (record 18)");
  }
  return {};
}

Finding check_cost(const Run& run) {
  Finding f = check_sets_cost(run);
  if (!f.found()) f = check_penalties(run);
  if (!f.found() && !finite(run.control.E_cur)) {
    f = finding("The cost of the current model (chi-squared and penalties)", run.control.E_cur, "");
  }
  return f;
}

// The first of r points 1..nr whose value is not finite, 0 when none.
int first_non_finite(const Array1<float, max_r>& values, int nr) {
  for (int j = 1; j <= nr; ++j) {
    if (!finite(values[j])) return j;
  }
  return 0;
}

std::string at_r(const Model& model, int j) {
  return " at r = " + short_real(static_cast<float>(j) * model.r.dr) + " A";
}

Finding check_saved(const Run& run) {
  const Model& model = run.model;
  const int nr = model.r.nr;
  for (int p = 1; p <= run.params.nbasis; ++p) {
    if (const int j = first_non_finite(model.v[p], nr); j > 0) {
      return finding("Basis function " + std::to_string(p) + at_r(model, j), model.v[p][j],
                     "check max_change (record 9) and the start file");
    }
  }
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = model.sets[s];
    for (int k = 1; k <= model.q.nq; ++k) {
      const std::string at_q = " F(Q) at Q = " + short_real(model.q.Q[k]);
      if (!finite(set.F_calc[k])) {
        return finding(set_label(run, s) + ": its model" + at_q, set.F_calc[k], misfit_records);
      }
      if (run.params.resolution_on && !finite(set.M[k])) {
        return finding(set_label(run, s) + ": its broadened model" + at_q, set.M[k],
                       "check its resolution (record 24.6)");
      }
    }
    for (const float x : {set.beta, set.a0, set.a1, set.a2}) {
      if (!finite(x)) {
        return finding(set_label(run, s) + ": a fitted correction (scale or offset)", x,
                       "check that its corrections (records 24.8 to 24.11) can be fitted to its data");
      }
    }
  }
  if (run.params.save_targets) {
    for (int p = 1; p <= run.params.nbasis; ++p) {
      for (const auto* sums : {&run.sums.S1[p], &run.sums.S2[p]}) {
        if (const int j = first_non_finite(*sums, nr); j > 0) {
          return finding("The sum of the saved sets of basis function " + std::to_string(p) + at_r(model, j),
                         (*sums)[j], "the saved sets cannot be summed in single precision");
        }
      }
    }
  }
  return {};
}

}  // namespace

std::string non_finite_cost(const Run& run) {
  const Finding f = check_cost(run);
  return f.found() ? f.line("") : std::string();
}

std::string non_finite_state(const Run& run) {
  Finding f = check_cost(run);
  if (!f.found()) f = check_saved(run);
  return f.found() ? f.line("") : std::string();
}

void stop_unless_finite(const Run& run, bool whole, int status) {
  Finding f = check_cost(run);
  if (!f.found() && whole) f = check_saved(run);
  if (!f.found()) return;
  const std::string when = run.control.moves_made > 0 ? "at move " + std::to_string(run.control.generated)
                                                      : std::string("before the first move of this run");
  throw Stop(f.line(when), status);
}

}  // namespace yosta
