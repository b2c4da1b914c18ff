// yosta-tools background as started: the corrected file and refusals of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/background_curve.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

using namespace background;

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
      {"set.dat -o out.dat --sum-weights 0.4 --density 1e30",
       "--density 1e+30 atoms per cubic Angstrom is more than 1"},
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
