// Whole runs of the program with target saving: independent solutions are
// collected until the requested number is reached (exit status 0), and a
// later run continues from the result files of an earlier one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "support/programs.h"

namespace yosta::testing {
namespace {

std::string parameter_file(bool start_from_file, int nsave) {
  std::ostringstream p;
  p << "Target saving run\n"
    << (start_from_file ? "T" : "F") << "\nF\n0.05\nF\n1\n0\n0.05\n2 12.0\nT\n"
    << nsave << "\nF\n0\n0\nF\nF\n100000\n10 10\n1 0\nset1\n1 200\n0.0\n1.0\n0.01\n1.0e6\nF\nT\nF\nF\nF\nfit\n";
  return p.str();
}

void write_data(const TempDir& dir) {
  std::ostringstream d;
  d << "200\nQ F\n";
  for (int k = 1; k <= 200; ++k) {
    const double Q = (k + 9) * 0.05;
    char line[64];
    std::snprintf(line, sizeof line, "%.4f %.6f\n", Q, std::sin(2.8 * Q) / (2.8 * Q));
    d << line;
  }
  write_file(dir.file("set1.dat"), d.str());
}

// The first two records of the sums file: nr nbasis / saved sets, collection count.
std::pair<int, int> saved_and_collecting(const TempDir& dir) {
  std::istringstream gsv(read_file(dir.file("fit.gsv")));
  int nr = 0, nbasis = 0, saved = -1, collecting = -1;
  gsv >> nr >> nbasis >> saved >> collecting;
  return {saved, collecting};
}

TEST(WholeRun, CollectsEveryRequestedSetThenContinuesFromItsFiles) {
  TempDir dir;
  write_data(dir);
  write_file(dir.file("run.dat"), parameter_file(false, 2));
  CommandResult r = run_command("'" + yosta_binary() + "' --seed 99 run.dat", dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(" Saved     1 sets of values\n Resetting G(r) to start\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" Saved     2 sets of values\nSaving results ... Do not interrupt\n"), std::string::npos)
      << r.output;
  EXPECT_EQ(saved_and_collecting(dir), std::make_pair(2, 0));

  // A second run asks for three sets: it takes over the two saved ones and
  // needs one more.
  write_file(dir.file("run.dat"), parameter_file(true, 3));
  r = run_command("'" + yosta_binary() + "' --seed 7 run.dat", dir.path());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(" Saved     3 sets of values"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find(" Saved     1 sets of values"), std::string::npos) << r.output;
  EXPECT_EQ(saved_and_collecting(dir), std::make_pair(3, 0));
}

TEST(WholeRun, MoveLimitEndsAnIncompleteRunWithItsFiles) {
  TempDir dir;
  write_data(dir);
  std::string params = parameter_file(false, 2);
  params.replace(params.find("1.0e6"), 5, "1.0e-6");  // a target no fit can meet
  write_file(dir.file("run.dat"), params);
  const CommandResult r = run_command("'" + yosta_binary() + "' --seed 5 --max-moves 3000 run.dat", dir.path());
  ASSERT_EQ(r.status, 10) << r.output;
  EXPECT_EQ(saved_and_collecting(dir), std::make_pair(0, 0));
  std::istringstream g(read_file(dir.file("fit.g")));
  int nr = 0, generated = 0, accepted = 0;
  g >> nr >> generated >> accepted;
  EXPECT_EQ(generated, 3000);
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace yosta::testing
