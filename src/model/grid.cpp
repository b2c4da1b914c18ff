// The real-space grid, the floor value and the Gaussian move shapes.
#include "model/grid.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/stop.h"
#include "text/free_writer.h"
#include "base/circle.h"

namespace yosta {
namespace {

constexpr float fwhm_to_sigma = 0.42480883f;  // 1 / (2 sqrt(2 ln 2))

std::string without_newline(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

}  // namespace

void derive_r_grid(const RunParameters& par, Model& model) {
  const RunParameters& params = par;
  const float q_last = model.q.Q[model.q.nq];
  if (params.Mr < 1) {
    throw Stop("Mr is " + std::to_string(params.Mr) + "; the r-grid factor must be at least 1");
  }
  if (!(q_last > 0.0f)) {
    throw Stop("The last Q value " + text::real_text(q_last) + " is not positive");
  }

  // The spacing makes every product Q_k r_j a multiple of 2 pi / P, so one
  // sine table serves the whole transform. The point count divides rmax by
  // the spacing before it is rounded to single precision; the product
  // q_last * Mr is exact in double.
  const double dr_unrounded =
      static_cast<double>(two_pi_f) / (static_cast<double>(q_last) * static_cast<double>(params.Mr));
  model.r.dr = static_cast<float>(dr_unrounded);

  const double points = static_cast<double>(params.rmax) / dr_unrounded;
  // Saturate before converting so an absurd rmax still reaches the checks below.
  const double capped = std::isnan(points) ? 2.0e9 : std::clamp(points, -2.0e9, 2.0e9);
  const std::int32_t nr = static_cast<std::int32_t>(capped) + 1;
  model.r.nr = nr;
  if (nr > max_r) {
    throw Stop(
        std::vector<std::string>{without_newline(text::free_record(
                                     {std::string(" nr="), nr, std::string(" larger than array dimension"), max_r})),
                                 " Reduce rmax (or increase size parameter max_r) "},
        1);
  }
  if (nr < 1) {
    throw Stop("rmax " + text::real_text(params.rmax) + " gives no r points; it must not be negative");
  }
  // A grid of one or two points has no room for a g(r): every move would
  // fall on the first point or none.
  if (points < static_cast<double>(min_r_points - 1)) {
    throw Stop("rmax " + text::real_text(params.rmax) + " A gives " + std::to_string(nr) + " r point" +
               (nr == 1 ? "" : "s") + " spaced at dr = " + text::real_text(model.r.dr) + " A; rmax must be at least " +
               std::to_string(min_r_points - 1) +
               " dr = " + text::real_text(static_cast<float>(min_r_points - 1) * model.r.dr) + " A");
  }
}

void check_gaussian_ranges(const RunParameters& par, Model& model) {
  const RunParameters& params = par;
  if (!params.gaussian_moves) return;
  if (params.nranges < 1) {
    throw Stop("Gaussian moves need at least one r range; the parameter file gives " + std::to_string(params.nranges));
  }
  const float dr = model.r.dr;
  for (int i = 1; i <= params.nranges; ++i) {
    const GaussianRange& range = params.ranges[static_cast<std::size_t>(i - 1)];
    const float sigma = range.width * fwhm_to_sigma;  // the model keeps the standard deviation
    model.gauss.sigma[i] = sigma;
    const float points = (sigma / dr) * 3.0f;
    if (!(points > -1.0f)) {
      throw Stop("The Gaussian width of r range " + std::to_string(i) + " gives a standard deviation of " +
                 text::real_text(sigma) + "; it must not be negative");
    }
    // Truncation toward zero; a huge width must not overflow the conversion.
    const std::int32_t ngauss = points < 1000.0f ? static_cast<std::int32_t>(points) : max_gauss_half + 1;
    model.gauss.ngauss[i] = ngauss;
    if (ngauss > max_gauss_half) {
      // QUIRK: "Decrase" is the message as users know it.
      throw Stop(std::vector<std::string>{"Too many points for a Gaussian.", "(Decrase sigma, or increase r spacing.)"},
                 1);
    }
  }
  const float extent = static_cast<float>(model.r.nr) * dr;
  if (extent > params.ranges[static_cast<std::size_t>(params.nranges - 1)].rch) {
    throw Stop(std::vector<std::string>{"Range of Gaussians smaller than specified r-range.",
                                        "(nr*dr should equal to (or less than) rch(nranges))", "Try a smaller rmax"},
               1);
  }
}

void set_floor_value(const RunParameters& par, Model& model) {
  if (par.qdep_coefficients) {
    model.Z = -1.0f;
    return;
  }
  // The first coefficient of set 1 is folded into the basis function: its
  // floor becomes minus that coefficient and the coefficient becomes 1.
  auto& c = model.sets[1].coef[1];
  model.Z = -c[1];
  for (int k = 1; k <= model.q.nq; ++k) c[k] = 1.0f;
}

void tabulate_gaussians(const RunParameters& par, Model& model) {
  const RunParameters& params = par;
  if (!params.gaussian_moves) return;
  const float dr = model.r.dr;
  for (int i = 1; i <= params.nranges; ++i) {
    const std::int32_t n = model.gauss.ngauss[i];
    const float sigma = model.gauss.sigma[i];
    auto& shape = model.gauss.shape[i];
    for (int m = 1; m <= 2 * n + 1; ++m) {
      const float x = static_cast<float>(m - n - 1) * dr / sigma;
      shape[static_cast<std::size_t>(m)] = std::exp(-0.5f * (x * x));
    }
    // The centre is exactly 1 also for a zero-width shape (0 / 0 above).
    shape[static_cast<std::size_t>(n) + 1] = 1.0f;
  }
}

}  // namespace yosta
