// B(Q) of yosta-tools background on a curve with a known artefact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/background_curve.h"
#include "tools/subcommands.h"

namespace yosta::testing {
namespace {

using namespace background;

TEST(Background, RemovesASlowArtefactAndKeepsTheStructure) {
  const Curve c = curve();
  // Without the artefact the background is small against the structure.
  const std::vector<double> none = tools::low_r_background(c.q, c.clean, 0.8, 0.4, rho, c.q.back(), 0.005);
  double biggest = 0.0;
  for (double b : none) biggest = std::max(biggest, std::fabs(b));
  EXPECT_LT(biggest, 0.01);
  // With it, the background takes it out: what is left is within a twentieth of it.
  const std::vector<double> b = tools::low_r_background(c.q, c.measured, 0.8, 0.4, rho, c.q.back(), 0.005);
  std::vector<double> corrected(c.q.size());
  for (std::size_t k = 0; k < c.q.size(); ++k) corrected[k] = c.measured[k] - b[k];
  const double before = rms(c.measured, c.clean);
  const double after = rms(corrected, c.clean);
  EXPECT_GT(before, 0.05);
  EXPECT_LT(after, before / 20.0);
  // The level matters: a sum of weights 0.1 too large makes the transform's excess
  // +0.1 below the cut-off, whose back-transform at low Q is 4 pi rho 0.1 r_cut^3 / 3.
  const std::vector<double> shifted = tools::low_r_background(c.q, c.clean, 0.8, 0.5, rho, c.q.back(), 0.005);
  EXPECT_NEAR(shifted[0] - none[0], 4.0 * pi * rho * 0.1 * std::pow(0.8, 3) / 3.0, 0.002);
}

}  // namespace
}  // namespace yosta::testing
