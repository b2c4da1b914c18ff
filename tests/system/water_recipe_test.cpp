// The documented water recipe (docs/water.md, examples/water/): the three neutron
// contrasts, and those with the X-ray set on the neutron Q grid, fitted with the
// parameter files of examples/water/ and compared with the published intermolecular
// partials over 2.2-8.0 A, as tools/compare_water.py does. Each figure is the RMS
// difference of g(r) from the published curve at its points (spacing 0.03 A), the fitted
// curve interpolated linearly; the overall figure is the root of the mean square of the
// three partials.
//
// The measured data live outside the repository (YOSTA_REALDATA, by default
// ../shared/realdata beside the source tree); without them the tests skip. Slow builds
// run a short fit and skip the physics.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/programs.h"

namespace {

namespace fs = std::filesystem;
using namespace yosta::testing;

// r and the partials O-O, O-H, H-H as g(r).
struct Curves {
  std::vector<double> r;
  std::vector<double> g[3];
};

// A root.g file: nr, the move counts, then r and the basis functions as g - 1.
Curves read_fit(const std::string& path) {
  Curves c;
  const std::vector<std::string> lines = split_lines(read_file(path));
  if (lines.size() < 3) {
    ADD_FAILURE() << path << ": " << lines.size() << " lines";
    return c;
  }
  for (std::size_t j = 2; j < lines.size(); ++j) {
    const std::vector<double> v = numbers(lines[j]);
    if (v.size() != 4) {
      ADD_FAILURE() << path << " line " << j + 1 << ": " << lines[j];
      return Curves{};
    }
    c.r.push_back(v[0]);
    for (int p = 0; p < 3; ++p) c.g[p].push_back(v[p + 1] + 1.0);
  }
  return c;
}

// The published partials: comment lines, then r, g_OO, error, g_OH, error, g_HH, error.
Curves read_reference(const std::string& path) {
  Curves c;
  for (const std::string& line : split_lines(read_file(path))) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<double> v = numbers(line);
    if (v.size() < 7) continue;
    c.r.push_back(v[0]);
    for (int p = 0; p < 3; ++p) c.g[p].push_back(v[1 + 2 * p]);
  }
  return c;
}

// The point-by-point mean of fits on one r grid.
Curves mean_of(const std::vector<Curves>& fits) {
  Curves m = fits.at(0);
  for (std::size_t f = 1; f < fits.size(); ++f) {
    EXPECT_EQ(fits[f].r.size(), m.r.size());
    if (fits[f].r.size() != m.r.size()) return m;
    for (int p = 0; p < 3; ++p)
      for (std::size_t j = 0; j < m.r.size(); ++j) m.g[p][j] += fits[f].g[p][j];
  }
  for (int p = 0; p < 3; ++p)
    for (double& v : m.g[p]) v /= static_cast<double>(fits.size());
  return m;
}

double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  std::size_t hi = 1;
  while (x[hi] < at) ++hi;
  const double t = (at - x[hi - 1]) / (x[hi] - x[hi - 1]);
  return y[hi - 1] + t * (y[hi] - y[hi - 1]);
}

// RMS of fit - reference on the reference points in [lo, hi]: O-O, O-H, H-H, overall.
std::vector<double> rms_table(const Curves& fit, const Curves& ref, double lo, double hi) {
  std::vector<double> out;
  double all = 0;
  for (int p = 0; p < 3; ++p) {
    double s = 0;
    int n = 0;
    for (std::size_t i = 0; i < ref.r.size(); ++i) {
      if (ref.r[i] < lo - 1e-9 || ref.r[i] > hi + 1e-9) continue;
      const double d = interpolate(fit.r, fit.g[p], ref.r[i]) - ref.g[p][i];
      s += d * d;
      ++n;
    }
    out.push_back(n > 0 ? std::sqrt(s / n) : 1e30);
    all += out.back() * out.back();
  }
  out.push_back(std::sqrt(all / 3.0));
  return out;
}

// Neighbours 4 pi rho c int g r^2 dr of partial p over [lo, hi] (water: rho 0.100).
double neighbours(const Curves& c, int p, double lo, double hi, double conc) {
  const double dr = c.r.at(1) - c.r.at(0);
  double s = 0;
  for (std::size_t j = 0; j < c.r.size(); ++j)
    if (c.r[j] >= lo && c.r[j] <= hi) s += c.g[p][j] * c.r[j] * c.r[j];
  return 4.0 * M_PI * 0.100 * conc * s * dr;
}

class WaterRecipe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(realdata_dir() + "/water")) GTEST_SKIP() << "measured data not found in " << realdata_dir();
    // The inputs from the measured files, by the commands of examples/water/run.sh.
    const std::string water = realdata_dir() + "/water/";
    const std::string tools = "'" + yosta::testing::tools_binary() + "' ";
    const std::vector<std::string> commands = {
        "import '" + water + "neutron/SLS18498-H2O.mint01' -o H2O.dat",
        "import '" + water + "neutron/SLS18502-D2O.mint01' -o D2O.dat",
        "import '" + water + "neutron/SLS18500-HDO5050.mint01' -o HDO.dat",
        "import '" + water + "xray/PCCPfofq.txt' -o xray_raw.dat",
        "weights xray --composition 'O:1 H:2' --q-from xray_raw.dat -o xray_w.dat",
        "import xray_w.dat --qdep --grid-like H2O.dat -o xray.dat"};
    for (const std::string& command : commands) {
      const yosta::testing::CommandResult result = run_command(tools + command, dir_.path());
      ASSERT_EQ(result.status, 0) << command << "\n" << result.output;
    }
    reference_ = read_reference(water + "reference/soper2013_dist_funcs");
    ASSERT_GT(reference_.r.size(), 300u);
  }

  // Fits examples/water/<root>.dat with each seed, two walks at a time, each in a
  // folder of its own; returns the mean of the solutions.
  Curves fit(const std::string& root, const std::vector<int>& seeds, long moves) {
    if (slow_build) moves /= 50;
    std::string script;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
      const std::string seed = std::to_string(seeds[i]);
      const std::string sub = root + ".seed" + seed;
      fs::create_directory(dir_.file(sub));
      fs::copy_file(std::string(YOSTA_SOURCE_DIR) + "/examples/water/" + root + ".dat",
                    dir_.file(sub + "/" + root + ".dat"));
      for (const char* data : {"H2O.dat", "D2O.dat", "HDO.dat", "xray.dat"})
        fs::copy_file(dir_.file(data), dir_.file(sub + "/" + data));
      script += "(cd " + sub + " && '" + yosta_binary() + "' --seed " + seed + " --max-moves " + std::to_string(moves) +
                " " + root + ".dat > run.log 2>&1; echo $? > status) & ";
      if (i % 2 == 1 || i + 1 == seeds.size()) script += "wait; ";
    }
    run_command("( " + script + ")", dir_.path());
    std::vector<Curves> fits;
    for (int seed : seeds) {
      const std::string sub = dir_.file(root + ".seed" + std::to_string(seed));
      EXPECT_EQ(read_file(sub + "/status"), "10\n") << read_file(sub + "/run.log");
      fits.push_back(read_fit(sub + "/" + root + ".g"));
      if (fits.back().r.size() < 100) return Curves{};
    }
    return mean_of(fits);
  }

  void report(const std::string& what, const std::vector<double>& t) {
    std::printf("    %-10s OO %.3f  OH %.3f  HH %.3f  all %.3f\n", what.c_str(), t[0], t[1], t[2], t[3]);
  }

  TempDir dir_;
  Curves reference_;
};

// Three neutron contrasts, one seed (the three-set walk ends in the same place from
// every seed). O-H and H-H reach the direct inversion's level; O-O, weighted 0.037 in
// every contrast, stays above it (docs/water.md says why), so the overall figure is
// held at the level this recipe reaches rather than at the direct inversion's 0.083.
TEST_F(WaterRecipe, ThreeNeutronContrasts) {
  const Curves c = fit("water_3sets", {1}, 3000000);
  ASSERT_GT(c.r.size(), 100u);
  if (slow_build) GTEST_SKIP() << "physics checks need an optimised build without sanitizers";
  const std::vector<double> t = rms_table(c, reference_, 2.2, 8.0);
  report("3 sets", t);
  EXPECT_LT(t[1], 0.08) << "O-H";
  EXPECT_LT(t[2], 0.08) << "H-H";
  EXPECT_LT(t[0], 0.24) << "O-O";
  EXPECT_LT(t[3], 0.15) << "overall";
  // Imposed by coordination constraints: two H per O in the bond, one H per H.
  const double h_per_o = neighbours(c, 1, 0.80, 1.25, 2.0 / 3.0);
  const double h_per_h = neighbours(c, 2, 1.30, 1.85, 2.0 / 3.0);
  std::printf("    H per O %.3f, H per H %.3f\n", h_per_o, h_per_h);
  EXPECT_NEAR(h_per_o, 2.0, 0.12);
  EXPECT_NEAR(h_per_h, 1.0, 0.05);
}

// With the X-ray set, the mean of three seeds: at most 0.075 overall, and no partial
// worse than 0.10. One million moves a seed (the walk has converged after about half a
// million) keep the test near a minute; run.sh uses three million (0.070 overall).
TEST_F(WaterRecipe, ThreeNeutronContrastsAndXray) {
  const Curves c = fit("water_4sets", {1, 2, 3}, 1000000);
  ASSERT_GT(c.r.size(), 100u);
  if (slow_build) GTEST_SKIP() << "physics checks need an optimised build without sanitizers";
  const std::vector<double> t = rms_table(c, reference_, 2.2, 8.0);
  report("4 sets", t);
  EXPECT_LE(t[3], 0.075) << "overall";
  for (int p = 0; p < 3; ++p) EXPECT_LT(t[p], 0.10) << "partial " << p + 1;
  const double h_per_o = neighbours(c, 1, 0.80, 1.25, 2.0 / 3.0);
  const double h_per_h = neighbours(c, 2, 1.30, 1.85, 2.0 / 3.0);
  std::printf("    H per O %.3f, H per H %.3f\n", h_per_o, h_per_h);
  EXPECT_NEAR(h_per_o, 2.0, 0.12);
  EXPECT_NEAR(h_per_h, 1.0, 0.05);
  // The first O-O shell: g_OO(r) reaches 0.5 between 2.35 and 2.6 A, its peak near 2.8 A.
  double rise = 0;
  for (std::size_t j = 1; j < c.r.size() && rise == 0; ++j)
    if (c.r[j] > 2.0 && c.g[0][j] >= 0.5) rise = c.r[j];
  EXPECT_GT(rise, 2.35);
  EXPECT_LT(rise, 2.6);
}

}  // namespace
