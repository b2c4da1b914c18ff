// A target-saving run continued after it has saved every set asked for: it
// says so, makes no move and leaves every file as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "support/programs.h"
#include "support/test_support.h"

namespace yosta::testing {
namespace {

// One data set of one partial, saving `nsave` sets at a target every state
// meets, so that each set is taken after a few accepted moves.
std::string saving_parameters(int nsave) {
  return "Complete run\nF\nF\n0.02\nF\n1\n1\n1 0.0 1.5\n0.05\n4 10.0\nT\n" + std::to_string(nsave) +
         "\nF\n0\n0\nF\nF\n100\n1.0 0.5\n1 0\nliquid\n1 100\n0.0\n1.0\n0.01\n1e30\nF\nF\nF\nF\nF\nresult\n";
}

std::string damped_data() {
  std::string text = "100  points\nQ  F(Q)\n";
  char line[64];
  for (int k = 1; k <= 100; ++k) {
    const double q = 0.1 * k;
    std::snprintf(line, sizeof line, "%.4f %.6f\n", q, 0.8 * std::sin(3.0 * q) * std::exp(-0.3 * q));
    text += line;
  }
  return text;
}

TEST(CompleteRun, ContinuingAfterTheLastSetSaysSoAndChangesNothing) {
  TempDir dir;
  write_file(dir.file("setup.dat"), saving_parameters(1));
  write_file(dir.file("liquid.dat"), damped_data());
  const CommandResult first = run_yosta(dir, "--seed 3 --max-moves 5000 setup.dat");
  ASSERT_EQ(first.status, 0) << first.output;
  const std::string g = read_file(dir.file("result.g")), gsv = read_file(dir.file("result.gsv")),
                    out = read_file(dir.file("result.out"));
  ASSERT_FALSE(gsv.empty());

  const CommandResult again = run_yosta(dir, "--seed 4 --max-moves 5000 setup.dat");
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(again.output.find("The run is complete: result.gsv already holds 1 saved sets of the 1 asked for"),
            std::string::npos)
      << again.output;
  EXPECT_EQ(again.output.find("Saving results"), std::string::npos) << again.output;
  EXPECT_EQ(read_file(dir.file("result.g")), g);
  EXPECT_EQ(read_file(dir.file("result.gsv")), gsv);
  EXPECT_EQ(read_file(dir.file("result.out")), out);

  // One more set asked for: the run goes on from the saved sums.
  write_file(dir.file("setup.dat"), saving_parameters(2));
  const CommandResult more = run_yosta(dir, "--seed 5 --max-moves 5000 setup.dat");
  EXPECT_EQ(more.status, 0) << more.output;
  EXPECT_NE(more.output.find("Saved     2 sets of values"), std::string::npos) << more.output;
}

}  // namespace
}  // namespace yosta::testing
