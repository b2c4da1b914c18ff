#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/subcommands.h"
#include "tools_fixture.h"

namespace yosta::testing {
namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double rho = 0.1;

// F(Q) of one partial with weight w whose g(r) is 0 below 1.5 A and 1 + a Gaussian
// shell at 2.8 A beyond: w (S(Q) - 1), S - 1 = 4 pi rho int r^2 (g - 1) sin(Qr)/(Qr) dr,
// by a fine midpoint sum out to 12 A. Its transform below 1.5 A is -w, so a background
// removal with sum of weights w must leave it nearly unchanged.
double structure(double q, double w) {
  double s = 0.0;
  const double dr = 0.002;
  for (double r = 0.5 * dr; r < 12.0; r += dr) {
    const double g = r < 1.5 ? 0.0 : 1.0 + 1.5 * std::exp(-0.5 * std::pow((r - 2.8) / 0.15, 2));
    s += r * r * (g - 1.0) * std::sin(q * r) / (q * r);
  }
  return w * 4.0 * pi * rho * s * dr;
}

// A slowly varying artefact, 0.2 at Q = 0 falling off over about 6 inverse A: its
// transform lies within about 0.3 A of r = 0.
double artefact(double q) { return -0.2 * std::exp(-0.5 * std::pow(q / 6.0, 2)); }

struct Curve {
  std::vector<double> q, clean, measured;
};

Curve curve() {
  Curve c;
  for (int k = 4; k <= 600; ++k) {  // Q 0.2 to 30 in steps of 0.05
    const double q = 0.05 * k;
    c.q.push_back(q);
    c.clean.push_back(structure(q, 0.4));
    c.measured.push_back(c.clean.back() + artefact(q));
  }
  return c;
}

std::string data_file(const Curve& c, bool errors) {
  std::string t = std::to_string(c.q.size()) + "  a test set\nQ F err\n";
  for (std::size_t k = 0; k < c.q.size(); ++k) {
    char row[100];
    std::snprintf(row, sizeof row, errors ? "%.4f %.8e 0.0025\n" : "%.4f %.8e\n", c.q[k], c.measured[k]);
    t += row;
  }
  return t;
}

double rms(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
  return std::sqrt(s / static_cast<double>(a.size()));
}

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

TEST(Background, WritesTheCorrectedFileWithItsErrors) {
  TempDir dir;
  const Curve c = curve();
  write_file(dir.file("set.dat"), data_file(c, true));
  const CommandResult r = run_tools(dir, "background set.dat -o out.dat --sum-weights 0.4 --density 0.1 --rcut 0.8");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::vector<double>> rows = data_rows(dir.file("out.dat"));
  ASSERT_EQ(rows.size(), c.q.size());
  std::vector<double> f;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    ASSERT_EQ(rows[k].size(), 3u);
    EXPECT_NEAR(rows[k][0], c.q[k], 1e-9);
    EXPECT_DOUBLE_EQ(rows[k][2], 0.0025);
    f.push_back(rows[k][1]);
  }
  EXPECT_LT(rms(f, c.clean), rms(c.measured, c.clean) / 20.0);
  EXPECT_EQ(numbers(split_lines(read_file(dir.file("out.dat")))[0]).at(0), static_cast<double>(c.q.size()));
  EXPECT_NE(r.output.find("Wrote out.dat: 597 points"), std::string::npos) << r.output;
}

TEST(Background, RefusesBadInputWithAClearMessage) {
  TempDir dir;
  const Curve c = curve();
  write_file(dir.file("set.dat"), data_file(c, false));
  const std::string ok = " -o out.dat --sum-weights 0.4 --density 0.1";
  struct Case {
    std::string args, message;
  };
  const std::vector<Case> cases = {
      {"missing.dat" + ok, "missing.dat"},
      {"set.dat" + ok + " --rcut 0", "--rcut: 0 is not above 0"},
      {"set.dat" + ok + " --rcut 3.5", "--rcut 3.5 A reaches into the first neighbour shells"},
      {"set.dat" + ok + " --rcut abc", "--rcut: 'abc' is not a number"},
      {"set.dat -o out.dat --sum-weights nan --density 0.1", "--sum-weights: 'nan' is not a finite number"},
      {"set.dat -o out.dat --sum-weights 0.4 --density -1", "--density: -1 is not above 0"},
      {"set.dat" + ok + " --qmax 0.1", "--qmax 0.1 lies below the first Q of set.dat"},
      {"set.dat" + ok + " --step 0.5", "--step 0.5 must be at most a quarter of --rcut 0.8"},
  };
  for (const Case& k : cases) {
    const CommandResult r = run_tools(dir, "background " + k.args);
    EXPECT_EQ(r.status, 1) << k.args << "\n" << r.output;
    EXPECT_NE(r.output.find(k.message), std::string::npos) << k.args << "\n" << r.output;
  }
  // A set with Q-dependent coefficients (five columns) is not one this applies to.
  write_file(dir.file("qdep.dat"), "3  x\nQ F c1 c2 c3\n0.1 1 0.3 0.2 0.1\n0.2 1 0.3 0.2 0.1\n0.3 1 0.3 0.2 0.1\n");
  CommandResult r = run_tools(dir, "background qdep.dat" + ok);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("qdep.dat: 5 columns"), std::string::npos) << r.output;
  // Q must rise.
  write_file(dir.file("order.dat"), "3  x\nQ F\n0.1 1\n0.3 1\n0.2 1\n");
  r = run_tools(dir, "background order.dat" + ok);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("order.dat, line 5, column 1: Q 0.2"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace yosta::testing
