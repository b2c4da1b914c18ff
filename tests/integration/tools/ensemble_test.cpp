// yosta-tools ensemble as started: failed members, the number run at once,
// requests refused before any member runs.
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

TEST(Ensemble, FailedMembersAreNamedAndRunAgainNextTime) {
  TempDir dir;
  copy_binary_example(dir);
  // yosta refuses a negative move budget: every member fails at once.
  const CommandResult r = run_tools(dir, "ensemble binary.dat -n 2 --seed 3 -d ens -- --max-moves -5");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("2 of 2 members failed:"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("member 2 failed 1, see " + dir.path() + "/ens/member_002/console.txt"), std::string::npos)
      << r.output;
  EXPECT_NE(read_file(dir.file("ens/member_001/console.txt")).find("max-moves"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.file("ens/binary.gsv")));
  // The same command again tries them again (and they fail again): nothing
  // counts as done.
  const CommandResult again = run_tools(dir, "ensemble binary.dat -n 2 -d ens -- --max-moves -5");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("2 of 2 members failed:"), std::string::npos) << again.output;
}

// With a stand-in for yosta beside a copy of yosta-tools: it notes when it
// starts and ends, and writes a small start file as its result.
TEST(Ensemble, AtMostJMembersRunAtOnce) {
  TempDir dir;
  copy_binary_example(dir);
  fs::create_directories(dir.file("bin"));
  fs::copy_file(tools_binary(), dir.file("bin/yosta-tools"));
  write_file(dir.file("bin/yosta"),
             "#!/bin/sh\n"
             "echo \"start $(date +%s%N)\" >> ../times\n"
             "sleep 0.25\n"
             "printf '2\\n5 3\\n0.1 0 0 0\\n0.2 0 0 0\\n' > binary.g\n"
             "echo \"end $(date +%s%N)\" >> ../times\n"
             "exit 10\n");
  fs::permissions(dir.file("bin/yosta"), fs::perms::owner_all);
  for (const int jobs : {1, 3}) {
    fs::remove_all(dir.file("ens"));
    const CommandResult r =
        run_command("bin/yosta-tools ensemble binary.dat -n 4 -d ens -j " + std::to_string(jobs), dir.path());
    ASSERT_EQ(r.status, 0) << r.output;
    // Members running at once, from the starts and ends in time order.
    std::vector<std::pair<long long, int>> events;
    for (const std::string& line : split_lines(read_file(dir.file("ens/times")))) {
      const long long t = std::stoll(line.substr(line.find(' ') + 1));
      events.emplace_back(t, line.rfind("start", 0) == 0 ? 1 : -1);
    }
    ASSERT_EQ(events.size(), 8u);
    std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first < b.first : a.second < b.second;  // an end before a start
    });
    int now = 0, most = 0;
    for (const auto& e : events) most = std::max(most, now += e.second);
    EXPECT_EQ(most, jobs) << r.output;
    EXPECT_EQ(formats::read_gsv_file(dir.file("ens/binary.gsv")).nsaved, 4);
    // Each progress line counts the members that run from then on: a
    // finished member's place is filled before the line is written.
    int lines = 0;
    for (const std::string& line : split_lines(r.output)) {
      if (line.rfind("Members done ", 0) != 0) continue;
      ++lines;
      const int done = std::stoi(line.substr(13));
      const int running = std::stoi(line.substr(line.find("running ") + 8));
      EXPECT_EQ(running, std::min(jobs, 4 - done)) << line;
    }
    EXPECT_GE(lines, 1) << r.output;
  }
}

TEST(Ensemble, BadRequestsAreRefusedBeforeAnyMemberRuns) {
  TempDir dir;
  copy_binary_example(dir);
  struct Case {
    const char* args;
    const char* says;
  };
  const Case cases[] = {
      {"ensemble binary.dat -n 0", "--members: 0 is not in 1 to 999"},
      {"ensemble binary.dat -n 2 -j 0", "--jobs: 0 is not in 1 to 1024"},
      {"ensemble binary.dat -n 2 --member 1000", "--member: 1000 is not in 1 to 999"},
      {"ensemble binary.dat -n 2 -- --seed 4", "do not pass --seed"},
      {"ensemble missing.dat -n 2", "missing.dat"},
      {"ensemble binary.dat -n 2 --dry-run", "--dry-run goes with --slurm"},
      {"ensemble binary.dat -n 2 -d .", "holds the input"},
  };
  for (const Case& c : cases) {
    std::string args = c.args;
    if (args.find(" -d ") == std::string::npos) args += " -d ens";
    const CommandResult r = run_tools(dir, args);
    EXPECT_EQ(r.status, 1) << c.args << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << r.output;
    EXPECT_FALSE(fs::exists(dir.file("ens/member_001")) || fs::exists(dir.file("member_001"))) << c.args;
  }
}

}  // namespace
}  // namespace yosta::testing
