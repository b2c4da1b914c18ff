#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// A result file of two data sets as the program writes it: set 1 without resolution
// (Q, model, corrected data, background), set 2 with it (Q, model, broadened model,
// corrected data, background), then the basis functions.
std::string out_file() {
  std::string t = "Results from YOSTA\nTITLE\na test\n2  experimental data sets\n";
  t += " Q, S(Q) (YOSTA), S(Q) (Expt), Background\nCURVES\n4 3\n";
  // differences model - data: +0.01, -0.01, +0.03, -0.03 -> RMS sqrt(0.0005), mean 0
  t += "0.5 1.01 1.0 0.0\n1.0 0.99 1.0 0.0\n1.5 0.53 0.5 0.1\n2.0 0.47 0.5 0.1\n";
  t += " Q, S(Q) (YOSTA), S(Q) (Expt), Background\nCURVES\n2 4\n";
  // the broadened model (column 3) is compared: differences 0.2 and 0.2
  t += "0.5 9.0 0.3 0.1 0.0\n1.0 -9.0 0.4 0.2 0.0\n";
  t += "ENDGROUP\n3 Basis functions\n r, Basis g(r)\nPLOTS\n";
  return t;
}

std::vector<std::string> table_row(const std::string& output, const std::string& first) {
  for (const std::string& line : split_lines(output)) {
    if (line.rfind(first + " ", 0) == 0) return {line};
  }
  return {};
}

TEST(Misfit, GivesTheRmsDifferenceOfModelAndCorrectedDataPerSet) {
  TempDir dir;
  write_file(dir.file("fit.out"), out_file());
  const CommandResult r = run_tools(dir, "misfit fit.out");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::string> one = table_row(r.output, "1");
  const std::vector<std::string> two = table_row(r.output, "2");
  ASSERT_EQ(one.size(), 1u) << r.output;
  ASSERT_EQ(two.size(), 1u) << r.output;
  const std::vector<double> a = numbers(one[0]);
  const std::vector<double> b = numbers(two[0]);
  ASSERT_EQ(a.size(), 7u) << one[0];
  ASSERT_EQ(b.size(), 7u) << two[0];
  EXPECT_EQ(a[1], 4);
  EXPECT_DOUBLE_EQ(a[2], 0.5);
  EXPECT_DOUBLE_EQ(a[3], 2.0);
  EXPECT_NEAR(a[4], std::sqrt(0.0005), 1e-4);
  EXPECT_NEAR(a[5], 0.0, 1e-9);
  // Set 2 compares the broadened model, not the unbroadened one (which is 9 away).
  EXPECT_EQ(b[1], 2);
  EXPECT_NEAR(b[4], 0.2, 1e-4);
  EXPECT_NEAR(b[5], 0.2, 1e-4);
  EXPECT_NE(r.output.find("sigma for chi-squared 1 per point: 0.022 0.2"), std::string::npos) << r.output;
}

TEST(Misfit, NamesFileLineAndValueOfBadInput) {
  TempDir dir;
  std::string text = out_file();
  text.replace(text.find("1.0 0.99"), 8, "1.0 nan");
  write_file(dir.file("bad.out"), text);
  CommandResult r = run_tools(dir, "misfit bad.out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("bad.out line 9"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("nan"), std::string::npos) << r.output;

  write_file(dir.file("short.out"), out_file().substr(0, out_file().find("1.5 0.53")));
  r = run_tools(dir, "misfit short.out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("short.out: ends at line 9"), std::string::npos) << r.output;

  write_file(dir.file("data.dat"), "3 points\nQ F\n0.1 1\n0.2 2\n0.3 3\n");
  r = run_tools(dir, "misfit data.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("not a result (.out) file"), std::string::npos) << r.output;

  r = run_tools(dir, "misfit missing.out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("missing.out: cannot be opened"), std::string::npos) << r.output;

  std::string counts = out_file();
  counts.replace(counts.find("4 3"), 3, "4 7");
  write_file(dir.file("counts.out"), counts);
  r = run_tools(dir, "misfit counts.out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("counts.out line 7: data set 1 curve count must be a whole number from 3 to 4, not 7"),
            std::string::npos)
      << r.output;
}

}  // namespace
}  // namespace yosta::testing
