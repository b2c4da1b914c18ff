#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// A measured-style file: `#` lines, a header of names, points at
// (k0 + i + offset) dq with F = a + b Q (so any average of neighbours is F at
// the mean Q), error 0.01 (1 + i), and trailing padding rows.
std::string measured(int n, double dq, double k0, double offset, int padding = 1) {
  std::string text = "# made for a test\n# second comment\nQ F err\n";
  for (int i = 0; i < n + padding; ++i) {
    const double q = (k0 + i + offset) * dq;
    char line[120];
    if (i < n) {
      std::snprintf(line, sizeof line, "%.10g %.10g %.10g\n", q, 0.5 - 0.25 * q, 0.01 * (1 + i));
    } else {
      std::snprintf(line, sizeof line, "%.10g 0 0\n", q);
    }
    text += line;
  }
  return text;
}

struct GridCase {
  const char* name;
  double offset;  // 0: k dq, 0.5: bin centres
  const char* options;
  std::size_t points;
  double q_first;
  double dq_out;
};

TEST(Import, PutsThePointsOnMultiplesOfDq) {
  // 20 points from k0 = 3 at dq 0.1.
  const GridCase cases[] = {
      {"on the grid already", 0.0, "", 20, 0.3, 0.1},
      {"bin centres interpolated", 0.5, "", 19, 0.4, 0.1},
      {"bin centres shifted", 0.5, "--shift", 20, 0.4, 0.1},
      {"odd rebin on the grid", 0.0, "--rebin 3", 6, 0.6, 0.3},
      {"even rebin on the grid (trapezoid)", 0.0, "--rebin 2", 9, 0.4, 0.2},
      {"even rebin of bins", 0.5, "--rebin 2", 10, 0.4, 0.2},
      {"odd rebin of bins", 0.5, "--rebin 3", 6, 0.6, 0.3},
      {"shifted bins rebinned", 0.5, "--shift --rebin 3", 6, 0.6, 0.3},
      {"range kept", 0.0, "--q-range 0.5 1.0", 6, 0.5, 0.1},
  };
  for (const GridCase& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), measured(20, 0.1, 3, c.offset));
    const CommandResult r = run_tools(dir, std::string("import in.txt -o out.dat ") + c.options);
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
    const std::vector<std::string> lines = split_lines(read_file(dir.file("out.dat")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(numbers(lines[0]).at(0), static_cast<double>(c.points)) << c.name;
    EXPECT_NE(lines[1].find("in.txt"), std::string::npos) << c.name << ": the heading names the source";
    const auto rows = data_rows(dir.file("out.dat"));
    ASSERT_EQ(rows.size(), c.points) << c.name;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const double q = c.q_first + static_cast<double>(i) * c.dq_out;
      ASSERT_EQ(rows[i].size(), 3u) << c.name;
      EXPECT_NEAR(rows[i][0], q, 1e-9) << c.name << " point " << i;
      // --shift moves the values with their Q: F is then 0.25 dq / 2 below the line.
      const double shifted = std::string(c.options).find("--shift") != std::string::npos ? 0.25 * 0.05 : 0.0;
      EXPECT_NEAR(rows[i][1], 0.5 - 0.25 * q + shifted, 1e-8) << c.name << " point " << i;
      const double multiple = rows[i][0] / c.dq_out;
      EXPECT_NEAR(multiple, std::round(multiple), 1e-6) << c.name;
    }
  }
}

TEST(Import, CombinesErrorsOfIndependentPoints) {
  TempDir dir;
  write_file(dir.file("in.txt"), measured(12, 0.1, 3, 0.5));
  // Interpolation: the mean of bins i and i+1, error sqrt(s_i^2 + s_i+1^2) / 2.
  ASSERT_EQ(run_tools(dir, "import in.txt -o mid.dat").status, 0);
  const auto mid = data_rows(dir.file("mid.dat"));
  ASSERT_EQ(mid.size(), 11u);
  for (std::size_t i = 0; i < mid.size(); ++i) {
    const double s1 = 0.01 * (1 + i), s2 = 0.01 * (2 + i);
    EXPECT_NEAR(mid[i][2], std::sqrt(s1 * s1 + s2 * s2) / 2, 1e-9) << i;
  }
  // --rebin 3 of bins: half of the two edge bins and the two inside, over 3.
  ASSERT_EQ(run_tools(dir, "import in.txt --rebin 3 -o three.dat").status, 0);
  const auto three = data_rows(dir.file("three.dat"));
  ASSERT_FALSE(three.empty());
  // The first window is centred on 0.6: bins 0.45 ... 0.75 (i = 1 ... 4).
  const double s[] = {0.02, 0.03, 0.04, 0.05};
  const double expect = std::sqrt(0.25 * s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + 0.25 * s[3] * s[3]) / 3;
  EXPECT_NEAR(three[0][0], 0.6, 1e-9);
  EXPECT_NEAR(three[0][2], expect, 1e-9);
}

TEST(Import, ConvertsSqAndSetsErrorsAndKeepsCoefficientColumns) {
  TempDir dir;
  write_file(dir.file("s.txt"), "0.1 1.5\n0.2 0.5\n0.3 1.0\n");
  ASSERT_EQ(run_tools(dir, "import s.txt --sq --scale 2 --error 0.05 -o s.dat").status, 0);
  const auto rows = data_rows(dir.file("s.dat"));
  ASSERT_EQ(rows.size(), 3u);
  const double f[] = {1.0, -1.0, 0.0};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(rows[i][1], f[i], 1e-12);
    EXPECT_NEAR(rows[i][2], 0.05, 1e-12);
  }
  // A Q off its grid point by 3% of dq (a typing slip) is put on it, and named.
  write_file(dir.file("slip.txt"), "# Q S\n0.1 1\n0.2 1\n0.303 1\n0.4 1\n");
  const CommandResult slip = run_tools(dir, "import slip.txt --sq -o slip.dat");
  ASSERT_EQ(slip.status, 0) << slip.output;
  EXPECT_NE(slip.output.find("the largest difference, 0.003 at line 4 (Q 0.303)"), std::string::npos) << slip.output;
  EXPECT_NEAR(data_rows(dir.file("slip.dat")).at(2).at(0), 0.3, 1e-9);
  // Q, F and two coefficient columns, interpolated with the data.
  write_file(dir.file("c.txt"), "0.05 1 0.1 0.3\n0.15 3 0.3 0.5\n0.25 5 0.5 0.7\n");
  ASSERT_EQ(run_tools(dir, "import c.txt --qdep -o c.dat").status, 0);
  const auto c = data_rows(dir.file("c.dat"));
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], (std::vector<double>{0.1, 2, 0.2, 0.4}));
  EXPECT_EQ(c[1], (std::vector<double>{0.2, 4, 0.4, 0.6}));
}

TEST(Import, GridLikePadsOntoTheOtherFilesGrid) {
  TempDir dir;
  // The other file: 10 points 0.1 ... 1.0 in the program's layout.
  std::string other = "10 a neutron set\nQ F err\n";
  for (int k = 1; k <= 10; ++k) other += std::to_string(0.1 * k) + " 0 0.01\n";
  write_file(dir.file("n.dat"), other);
  write_file(dir.file("x.txt"), "0.3 1 0.2\n0.4 2 0.2\n0.5 3 0.2\n");
  const CommandResult r = run_tools(dir, "import x.txt --grid-like n.dat -o x.dat");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("q_first = 3, q_last = 5"), std::string::npos) << r.output;
  const auto rows = data_rows(dir.file("x.dat"));
  ASSERT_EQ(rows.size(), 10u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NEAR(rows[i][0], 0.1 * static_cast<double>(i + 1), 1e-9);
    const bool inside = i >= 2 && i <= 4;
    EXPECT_EQ(rows[i][1], inside ? static_cast<double>(i - 1) : 0.0) << i;
    EXPECT_EQ(rows[i][2], inside ? 0.2 : 1.0e6) << i;
  }
  // Another step is refused.
  write_file(dir.file("y.txt"), "0.2 1\n0.4 2\n0.6 3\n");
  const CommandResult bad = run_tools(dir, "import y.txt --grid-like n.dat -o y.dat");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("its Q step is 0.1, the imported data's 0.2"), std::string::npos) << bad.output;
}

TEST(Import, RefusesMoreThan1100PointsNamingTheSmallestRebin) {
  TempDir dir;
  write_file(dir.file("big.txt"), measured(2300, 0.01, 2, 0.5));
  const CommandResult r = run_tools(dir, "import big.txt -o big.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("2299 Q points after import, more than the program's limit of 1100"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("the smallest that fits is --rebin 3"), std::string::npos) << r.output;
  EXPECT_FALSE(std::ifstream(dir.file("big.dat")).good()) << "nothing is written";
  ASSERT_EQ(run_tools(dir, "import big.txt --rebin 3 -o big.dat").status, 0);
  EXPECT_LE(data_rows(dir.file("big.dat")).size(), 1100u);
}

// A byte-order mark before the first value, and inputs that are no regular
// file: every row is read, or the input is refused by name.
TEST(Import, ReadsEveryRowAfterAByteOrderMarkAndRefusesWhatIsNoFile) {
  TempDir dir;
  write_file(dir.file("bom.txt"),
             "\xEF\xBB\xBF"
             "0.1 1\n0.2 2\n0.3 3\n");
  const CommandResult r = run_tools(dir, "import bom.txt -o bom.dat");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("read 3 points"), std::string::npos) << r.output;
  EXPECT_EQ(data_rows(dir.file("bom.dat")).size(), 3u);

  std::filesystem::create_symlink("/dev/urandom", dir.file("random.txt"));
  const CommandResult random = run_tools(dir, "import random.txt -o random.dat");
  EXPECT_EQ(random.status, 1);
  EXPECT_NE(random.output.find("it is a character device, not a regular file"), std::string::npos) << random.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("random.dat")));
}

struct BadInput {
  const char* text;
  const char* options;
  const char* message;
};

TEST(Import, RefusesBadInputNamingLineAndValueAndKeepsTheOldFile) {
  const BadInput cases[] = {
      {"0.1 1\n0.2 x\n", "", "in.txt, line 2, column 2: 'x' is not a number"},
      {"0.1 1\n0.2 nan\n", "", "in.txt, line 2, column 2: 'nan' is not a finite number"},
      {"0.1 1\n0.2 inf\n", "", "'inf' is not a finite number"},
      {"0.1 1\n0.2 1 3\n", "", "in.txt, line 2: 3 columns where the rows above have 2"},
      {"0.1 1\n0.2 1\n0.35 1\n0.4 1\n", "", "line 3: Q = 0.35 where an even grid"},
      {"0.13 1\n0.23 1\n0.33 1\n", "", "neither a multiple of dq nor a bin centre"},
      {"0.3 1\n0.2 1\n", "", "Q must increase"},
      {"0.1 1\n", "", "at least 2 are needed"},
      {"0.1 1\n0.2 1\n", "--q-range 5 6", "--q-range 5 6: leaves 0 points"},
      {"0.1 1\n0.2 1\n", "--rebin 0", "--rebin: 0 is not in 1 to 100000"},
      {"0.1 1\n0.2 1\n", "--error -1", "--error: -1 is not above 0"},
      {"0.1 1\n0.2 1\n", "--scale 2", "--scale is used with --sq only"},
      {"0.1 1\n0.2 1\n", "--sq --scale inf", "--scale: 'inf' is not a finite number"},
      {"0.1 1\n0.2 1\n", "--dq -0.1", "--dq: -0.1 is below 0"},
      {"0.1 1\n0.2 1\n", "--q-range 0 x", "--q-range: 'x' is not a number"},
      {"0.1 1\n0.2 1\n", "--dq nan", "--dq: 'nan' is not a finite number"},
      {"4 points\nQ F\n0.1 1\n0.2 1\n", "", "the first line announces 4 points, the file holds 2"},
      {"0.1 1 0.1\n0.2 1 -0.1\n0.3 1 0.1\n", "", "in.txt, line 2, column 3: the error -0.1 is negative"},
  };
  for (const BadInput& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), c.text);
    write_file(dir.file("out.dat"), "earlier result\n");
    const CommandResult r = run_tools(dir, std::string("import in.txt -o out.dat ") + c.options);
    EXPECT_EQ(r.status, 1) << c.text << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.text << "\n" << r.output;
    EXPECT_EQ(read_file(dir.file("out.dat")), "earlier result\n");
  }
}

}  // namespace
}  // namespace yosta::testing
