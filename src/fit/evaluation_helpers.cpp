#include "fit/evaluation_helpers.h"

#include "fit/run.h"
#include "model/transform.h"

namespace yosta {

namespace {

std::size_t u(int i) { return static_cast<std::size_t>(i); }

}  // namespace

bool flat_coefficient(const DataSet& set, int p, int nq) {
  const auto& c = set.coef[p];
  for (int k = 2; k <= nq; ++k) {
    if (c[k] != c[1]) return false;
  }
  return true;
}

bool flat_coefficients(const DataSet& set, int nbasis, int nq) {
  for (int p = 1; p <= nbasis; ++p) {
    if (!flat_coefficient(set, p, nq)) return false;
  }
  return true;
}

void broaden_row(const DataSet& set, const double* row, double* out) {
  const int first = set.settings.q_first, last = set.settings.q_last;
  for (int i = first; i <= last; ++i) out[i] = 0.0;
  for (int k = first; k <= last; ++k) {
    const double x = row[k];
    const int lo = set.lo[k];
    for (int i = lo; i <= set.hi[k]; ++i) {
      if (i >= first && i <= last) out[i] += static_cast<double>(set.weight[u(k)][u(i - lo)]) * x;
    }
  }
}

Bump bump_at(const Run& run, int j) {
  const int range = gaussian_range(run.params, static_cast<float>(j) * run.model.r.dr);
  Bump b;
  const int n = run.model.gauss.ngauss[range];
  if (j - n < 1 || j + n > run.model.r.nr) return b;
  b.n = n;
  b.shape = run.model.gauss.shape[range].data();
  return b;
}

}  // namespace yosta
