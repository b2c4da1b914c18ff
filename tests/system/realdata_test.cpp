// End-to-end fits of measured diffraction data: water (three neutron contrasts, and
// those with an X-ray set), benzene (three contrasts) and liquid argon. Each test runs
// the built program on a parameter file of tests/system/realdata/ with a fixed seed and a move
// budget, reads the fitted g(r)s from the root.g file and checks the structure the data
// must give: bond lengths and the first neighbour shell.
//
// The measured data live outside the repository, in the folder named by the environment
// variable YOSTA_REALDATA (set by the build for the tests), by default ../shared/realdata
// beside the source tree. Without it the tests skip.

#include <gtest/gtest.h>

#include <algorithm>
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

// The seed of every fit: 12345, or YOSTA_REALDATA_SEED to try the checks on other walks.
std::string seed() { return yosta::testing::seed_from_env("YOSTA_REALDATA_SEED", "12345"); }

// One line of measured values in the test's output, for the record.
void report(const std::string& what, double value) { std::printf("    %-34s %8.3f\n", what.c_str(), value); }

std::string trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  const auto b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

// The converted X-ray file of water carries weights w_ij = (2 - d_ij) c_i c_j f_i f_j
// divided by <f>^2 = (sum c_i f_i)^2, but its F(Q) is normalised by
// <f^2> = sum c_i f_i^2 (F tends to -0.92 at low Q, where <f>^2 would give about -1.8).
// <f^2> / <f>^2 = w_OO / c_O + w_HH / c_H, so dividing every weight by that sum puts the
// weights on the data's footing. A file whose weights already satisfy this is copied
// unchanged.
std::string water_xray_weights_on_fsq(const std::string& text) {
  const std::vector<std::string> lines = split_lines(text);
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<double> v = numbers(lines[i]);
    if (i < 2 || v.size() < 5) {
      out += lines[i] + "\n";
      continue;
    }
    const double ratio = v[2] / (1.0 / 3.0) + v[4] / (2.0 / 3.0);
    if (std::fabs(ratio - 1.0) < 1e-3) return text;
    char row[160];
    std::snprintf(row, sizeof row, "%.3f %.5f %.6f %.6f %.6f", v[0], v[1], v[2] / ratio, v[3] / ratio, v[4] / ratio);
    out += std::string(row) + "\n";
  }
  return out;
}

// The argon table was printed with Q values off the even grid by up to a few
// hundredths of its spacing; the program fits only points on k dq, so the test
// puts the table on the grid its first and last points define (linear
// interpolation), as yosta-tools import would.
std::string on_even_grid(const std::string& text) {
  const std::vector<std::string> lines = split_lines(text);
  std::vector<double> q, f;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    double a = 0, b = 0;
    if (row >> a >> b) {
      q.push_back(a);
      f.push_back(b);
    }
  }
  const std::size_t n = q.size();
  const double dq = (q[n - 1] - q[0]) / static_cast<double>(n - 1);
  std::string out = lines.at(0) + "\n" + lines.at(1) + "\n";
  std::size_t j = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double at = q[0] + static_cast<double>(k) * dq;
    while (j + 2 < n && q[j + 1] < at) ++j;
    const double t = (at - q[j]) / (q[j + 1] - q[j]);
    char row[64];
    std::snprintf(row, sizeof row, "%.6f %.6f", at, f[j] + t * (f[j + 1] - f[j]));
    out += std::string(row) + "\n";
  }
  return out;
}

// Copies tests/system/realdata/<param> into `dir`, and every data file it names (a line holding
// "realdata/", a path relative to tests/system/realdata/) from the measured-data folder into
// `dir` as well, pointing the record at the copy: result files stay in the scratch folder
// and no name comes near the 80-character limit of a text record.
void prepare(const std::string& param, const std::string& dir) {
  const std::string data = realdata_dir();
  std::string out;
  for (const std::string& line : split_lines(read_file(yosta::testing::test_dir() + "/system/realdata/" + param))) {
    const std::string t = trim(line);
    const auto at = t.find("realdata/");
    if (at == std::string::npos) {
      out += line + "\n";
      continue;
    }
    const std::string rel = t.substr(at + 9);
    const std::string base = fs::path(rel).filename().string();
    std::string text = read_file(data + "/" + rel);
    if (base == "xray_qdep.dat") text = water_xray_weights_on_fsq(text);
    if (base == "argon.dat") text = on_even_grid(text);
    write_file(dir + "/" + base, text);
    out += base + "\n";
  }
  write_file(dir + "/" + param, out);
}

// The basis functions of a root.g file, as g(r) (the file holds g - 1).
struct Curves {
  std::vector<double> r;
  std::vector<std::vector<double>> g;  // g[p][j], p from 0
};

Curves read_g(const std::string& path, int nbasis) {
  Curves c;
  c.g.resize(nbasis);
  if (!fs::exists(path)) {
    ADD_FAILURE() << "no result file " << path;
    return c;
  }
  const std::vector<std::string> lines = split_lines(read_file(path));
  EXPECT_GE(lines.size(), 3u) << path;
  if (lines.size() < 3) return c;
  const std::size_t nr = static_cast<std::size_t>(numbers(lines[0]).at(0));
  EXPECT_EQ(lines.size(), nr + 2) << path;
  for (std::size_t j = 2; j < lines.size(); ++j) {
    const std::vector<double> v = numbers(lines[j]);
    if (v.size() != static_cast<std::size_t>(nbasis) + 1) {
      ADD_FAILURE() << path << " line " << j + 1 << ": " << lines[j];
      return c;
    }
    c.r.push_back(v[0]);
    for (int p = 0; p < nbasis; ++p) c.g[p].push_back(v[p + 1] + 1.0);
  }
  return c;
}

struct Peak {
  double r = 0;
  double height = 0;
};

// The highest point of basis function p (1-based) with r in [lo, hi], after a running
// mean over +-half_width Angstrom (0: the values as fitted), its position refined by the
// parabola through it and its two neighbours.
Peak find_peak(const Curves& c, int p, double lo, double hi, double half_width = 0.0) {
  const std::vector<double>& raw = c.g.at(p - 1);
  const std::size_t n = raw.size();
  const double dr = c.r.at(1) - c.r.at(0);
  const long k = std::lround(half_width / dr);
  std::vector<double> y(n);
  for (long j = 0; j < static_cast<long>(n); ++j) {
    const long a = std::max(0L, j - k), b = std::min(static_cast<long>(n) - 1, j + k);
    double s = 0;
    for (long i = a; i <= b; ++i) s += raw[i];
    y[j] = s / static_cast<double>(b - a + 1);
  }
  std::size_t best = n;
  for (std::size_t j = 0; j < n; ++j)
    if (c.r[j] >= lo && c.r[j] <= hi && (best == n || y[j] > y[best])) best = j;
  Peak peak;
  if (best == n) return peak;
  peak.r = c.r[best];
  peak.height = y[best];
  if (best > 0 && best + 1 < n) {
    const double curv = y[best - 1] - 2.0 * y[best] + y[best + 1];
    if (curv < 0) peak.r += 0.5 * (y[best - 1] - y[best + 1]) / curv * dr;
  }
  return peak;
}

// Neighbours of type j around an atom of type i between lo and hi:
// 4 pi rho c_j int g_ij r^2 dr, with rho the total number density.
double neighbours(const Curves& c, int p, double lo, double hi, double rho, double c_j) {
  const double dr = c.r.at(1) - c.r.at(0);
  double s = 0;
  for (std::size_t j = 0; j < c.r.size(); ++j)
    if (c.r[j] >= lo && c.r[j] <= hi) s += c.g[p - 1][j] * c.r[j] * c.r[j];
  return 4.0 * 3.14159265358979323846 * rho * c_j * s * dr;
}

class RealData : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(realdata_dir()))
      GTEST_SKIP() << "measured data not found in " << realdata_dir()
                   << " (set YOSTA_REALDATA to the folder holding water/, benzene/ and argon/)";
  }

  // Runs the fit of tests/system/realdata/<param> in the scratch folder and returns its g(r)s.
  Curves fit(const std::string& param, const std::string& root, int nbasis, long moves) {
    if (slow_build) moves /= 20;
    prepare(param, dir_.path());
    const std::string command =
        "'" + yosta_binary() + "' --seed " + seed() + " --max-moves " + std::to_string(moves) + " " + param;
    const yosta::testing::CommandResult result = run_command(command, dir_.path());
    // Ended by the move budget like a run at its time limit: status 10, results saved.
    EXPECT_EQ(result.status, 10) << result.output;
    EXPECT_NE(result.output.find("Saving completed"), std::string::npos) << result.output;
    return read_g(dir_.file(root + ".g"), nbasis);
  }

  // The physics checks need the full fit; a short one (slow build) ends the test here,
  // marked skipped, once the run and its result file have been checked.
  static bool skip_physics() { return slow_build; }

  TempDir dir_;
};

#define SKIP_PHYSICS_IN_SLOW_BUILD() \
  if (skip_physics()) GTEST_SKIP() << "physics checks need an optimised build without sanitizers"

// Water: basis functions 1 = O-O, 2 = O-H, 3 = H-H; 0.100 atoms per cubic Angstrom.
void check_water(const Curves& c) {
  const Peak oh = find_peak(c, 2, 0.80, 1.20);
  report("O-H bond (A)", oh.r);
  EXPECT_NEAR(oh.r, 0.97, 0.04) << "O-H bond";
  // The intramolecular H-H peak, unsmoothed by the fit (whose smoothing starts at
  // 2.2 A), scatters from point to point; it is located on a running mean over about
  // its half width.
  const Peak hh = find_peak(c, 3, 1.30, 1.90, 0.06);
  report("intramolecular H-H (A)", hh.r);
  EXPECT_NEAR(hh.r, 1.55, 0.06) << "intramolecular H-H";
  const Peak oo = find_peak(c, 1, 2.40, 3.20);
  report("first O-O peak (A)", oo.r);
  report("first O-O peak height", oo.height);
  EXPECT_NEAR(oo.r, 2.80, 0.08) << "first O-O shell";
  EXPECT_GT(oo.height, 1.8) << "first O-O shell";
  // Two hydrogens bonded to every oxygen.
  const double h_per_o = neighbours(c, 2, 0.80, 1.20, 0.100, 2.0 / 3.0);
  report("H per O, 0.8 to 1.2 A", h_per_o);
  EXPECT_NEAR(h_per_o, 2.0, 0.4) << "H per O in the bond";
}

TEST_F(RealData, WaterThreeNeutronContrastsGiveBondsAndFirstShell) {
  const Curves c = fit("water_3sets.dat", "water_3sets", 3, 3000000);
  ASSERT_GT(c.r.size(), 100u);
  SKIP_PHYSICS_IN_SLOW_BUILD();
  check_water(c);
}

TEST_F(RealData, WaterWithXraySetInQDependentModeGivesBondsAndFirstShell) {
  const Curves c = fit("water_4sets.dat", "water_4sets", 3, 3000000);
  ASSERT_GT(c.r.size(), 100u);
  SKIP_PHYSICS_IN_SLOW_BUILD();
  check_water(c);
}

// Benzene: basis functions 1 = C-C, 2 = C-H, 3 = H-H; 0.08104 atoms per cubic Angstrom.
TEST_F(RealData, BenzeneThreeContrastsGiveRingAndCHBonds) {
  const Curves c = fit("benzene_3sets.dat", "benzene_3sets", 3, 2000000);
  ASSERT_GT(c.r.size(), 100u);
  SKIP_PHYSICS_IN_SLOW_BUILD();
  const Peak ch = find_peak(c, 2, 0.90, 1.25);
  report("C-H bond (A)", ch.r);
  EXPECT_NEAR(ch.r, 1.08, 0.04) << "C-H bond";
  const Peak cc = find_peak(c, 1, 1.25, 1.60);
  report("C-C ring bond (A)", cc.r);
  EXPECT_NEAR(cc.r, 1.40, 0.04) << "C-C ring bond";
  // One hydrogen on every carbon, two ring neighbours.
  const double h_per_c = neighbours(c, 2, 0.90, 1.25, 0.08104, 0.5);
  const double c_per_c = neighbours(c, 1, 1.20, 1.65, 0.08104, 0.5);
  report("H per C, 0.9 to 1.25 A", h_per_c);
  report("C per C, 1.2 to 1.65 A", c_per_c);
  EXPECT_NEAR(h_per_c, 1.0, 0.25) << "H per C in the bond";
  EXPECT_NEAR(c_per_c, 2.0, 0.5) << "C per C in the ring bond";
}

// Argon: one basis function, 0.02125 atoms per cubic Angstrom.
TEST_F(RealData, ArgonFirstShell) {
  const Curves c = fit("argon_1set.dat", "argon_1set", 1, 2000000);
  ASSERT_GT(c.r.size(), 40u);
  SKIP_PHYSICS_IN_SLOW_BUILD();
  const Peak first = find_peak(c, 1, 3.0, 4.5);
  report("first peak (A)", first.r);
  report("first peak height", first.height);
  EXPECT_NEAR(first.r, 3.7, 0.1) << "first shell";
  EXPECT_NEAR(first.height, 3.0, 0.4) << "first shell";
  // About twelve neighbours out to the first minimum.
  const double n1 = neighbours(c, 1, 0.0, 5.3, 0.02125, 1.0);
  report("neighbours within 5.3 A", n1);
  EXPECT_NEAR(n1, 12.0, 1.5) << "first-shell neighbours";
}

}  // namespace
