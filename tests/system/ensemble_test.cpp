// Whole local ensembles of real fits: members merged, a rerun that continues,
// an interrupt that saves every running member.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/programs.h"
#include "support/small_run.h"
#include "formats/result_files.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

TEST(Ensemble, LocalRunMergesMembersAndARerunContinues) {
  TempDir dir;
  copy_binary_example(dir);
  const std::string moves = slow_build ? "200" : "3000";
  const std::string command = "ensemble binary.dat -n 3 -j 2 --seed 41 -d ens -- --max-moves " + moves;
  const CommandResult r = run_tools(dir, command);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Members done 3 of 3"), std::string::npos) << r.output;
  std::vector<formats::GFile> members;
  for (const char* m : {"member_001", "member_002", "member_003"}) {
    members.push_back(formats::read_g_file(dir.file(std::string("ens/") + m + "/binary.g")));
    EXPECT_NE(read_file(dir.file(std::string("ens/") + m + "/console.txt")).find("Saving completed"),
              std::string::npos);
  }
  EXPECT_NE(members[0].v, members[1].v);
  EXPECT_NE(members[1].v, members[2].v);
  // The ensemble's mean .g is the mean of the members'.
  ASSERT_EQ(run_tools(dir,
                      "merge --mean ens/member_001/binary.g ens/member_002/binary.g "
                      "ens/member_003/binary.g -o mean.g")
                .status,
            0);
  EXPECT_EQ(read_file(dir.file("mean.g")), read_file(dir.file("ens/binary.g")));
  EXPECT_EQ(formats::read_gsv_file(dir.file("ens/binary.gsv")).nsaved, 3);
  const std::vector<std::string> table = split_lines(read_file(dir.file("ens/binary_errors.txt")));
  ASSERT_GT(table.size(), 2u);
  EXPECT_EQ(table[1], "r mean_1 sd_1 se_1 mean_2 sd_2 se_2 mean_3 sd_3 se_3");
  EXPECT_EQ(read_file(dir.file("ens/binary_errors.png")).rfind("\x89PNG", 0), 0u);
  const std::string manifest = read_file(dir.file("ens/manifest.txt"));
  EXPECT_NE(manifest.find("base_seed 41\n"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("member 2 1000044 - done_10 member_002"), std::string::npos) << manifest;

  // Again: the finished members are not run again (a removed result stays
  // removed), and the merged files come out the same.
  const std::string merged = read_file(dir.file("ens/binary.gsv"));
  fs::remove(dir.file("ens/member_002/binary.out"));
  fs::remove(dir.file("ens/binary.gsv"));
  const CommandResult again = run_tools(dir, "ensemble binary.dat -n 3 -d ens -- --max-moves " + moves);
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_FALSE(fs::exists(dir.file("ens/member_002/binary.out")));
  EXPECT_EQ(read_file(dir.file("ens/binary.gsv")), merged);
  // Other settings in the same folder are refused, naming the difference.
  for (const std::string& other :
       {std::string("-n 4"), std::string("-n 3 --seed 42"), std::string("-n 3 --bootstrap")}) {
    const CommandResult refused = run_tools(dir, "ensemble binary.dat " + other + " -d ens -- --max-moves " + moves);
    EXPECT_EQ(refused.status, 1) << other << refused.output;
    EXPECT_NE(refused.output.find("manifest.txt"), std::string::npos) << refused.output;
  }
}

TEST(Ensemble, CtrlCStopsTheMembersWithASaveAndExitsTen) {
  TempDir dir;
  copy_binary_example(dir);
  // Members that would run for 30 seconds; the interrupt comes after one.
  const std::string tools = "'" + tools_binary() + "'";
  const CommandResult r =
      run_command(tools +
                      " ensemble binary.dat -n 3 -j 2 --seed 5 -d ens > log.txt 2>&1 & pid=$!; sleep 1.5; "
                      "kill -INT $pid; wait $pid; echo status=$?",
                  dir.path());
  EXPECT_NE(r.output.find("status=10"), std::string::npos) << r.output << read_file(dir.file("log.txt"));
  EXPECT_NE(read_file(dir.file("log.txt")).find("run the same command again to continue"), std::string::npos);
  const std::string manifest = read_file(dir.file("ens/manifest.txt"));
  EXPECT_NE(manifest.find("member 1 5 - interrupted"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("member 3 2000011 - pending"), std::string::npos) << manifest;
  // Each running member saved its state before it stopped.
  for (const char* m : {"member_001", "member_002"}) {
    EXPECT_EQ(formats::read_g_file(dir.file(std::string("ens/") + m + "/binary.g")).nr(), 96) << m;
    EXPECT_FALSE(fs::exists(dir.file(std::string("ens/") + m + "/status"))) << m;
  }
  EXPECT_FALSE(fs::exists(dir.file("ens/binary.gsv")));
}

}  // namespace
}  // namespace yosta::testing
