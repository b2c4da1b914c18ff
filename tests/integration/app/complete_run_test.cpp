// A target-saving run continued after it has saved every set asked for: it
// says so, makes no move and leaves every file as it was.
#include <gtest/gtest.h>

#include <string>

#include "support/programs.h"
#include "support/small_run.h"
#include "support/test_support.h"

namespace yosta::testing {
namespace {

// One data set of one partial, saving `nsave` sets at a target every state
// meets, so that each set is taken after a few accepted moves.
SmallRun saving_run(int nsave) { return {.nsave = nsave, .positivity = "0"}; }

TEST(CompleteRun, ContinuingAfterTheLastSetSaysSoAndChangesNothing) {
  TempDir dir;
  write_small_run(dir, saving_run(1));
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
  write_file(dir.file("setup.dat"), small_parameters(saving_run(2)));
  const CommandResult more = run_yosta(dir, "--seed 5 --max-moves 5000 setup.dat");
  EXPECT_EQ(more.status, 0) << more.output;
  EXPECT_NE(more.output.find("Saved     2 sets of values"), std::string::npos) << more.output;
}

}  // namespace
}  // namespace yosta::testing
