// Ensembles that lose nothing: members end with a save when their ensemble
// dies, a member folder or ensemble folder in use is not run over, and a
// member's status is read from what its folder holds.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/lock.h"
#include "support/lock_holder.h"
#include "support/programs.h"
#include "support/small_run.h"
#include "tools/ensemble.h"
#include "formats/result_files.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

TEST(EnsembleMembers, StatusIsReadFromTheFolder) {
  const struct {
    const char* name;
    const char* status_file;  // "" for none
    bool results;             // binary.g present
    bool stale_lock;          // binary.lock left by a killed run
    bool held;                // a process holds binary.lock
    const char* status;
  } cases[] = {
      {"nothing yet", "", false, false, false, "pending"},
      {"recorded end", "done 10\n", true, false, false, "done 10"},
      {"recorded failure", "failed 3\n", true, false, false, "failed 3"},
      {"results without a recorded end", "", true, false, false, "interrupted"},
      {"a lock left by a killed run holds nothing", "", true, true, false, "interrupted"},
      {"a program still runs there", "", true, false, true, "running"},
      {"running again after an earlier end", "done 10\n", true, false, true, "running"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (*c.status_file != '\0') write_file(dir.file("status"), c.status_file);
    if (c.results) write_file(dir.file("binary.g"), "1\n0 0\n0.1 0\n");
    if (c.stale_lock) write_file(dir.file("binary.lock"), "999999\n");
    std::unique_ptr<LockHolder> holder;
    if (c.held) holder = std::make_unique<LockHolder>(dir.file("binary.lock"));
    EXPECT_EQ(tools::folder_status(dir.path(), "binary"), c.status) << c.name;
  }
}

TEST(EnsembleMembers, AFolderInUseIsNotRunOver) {
  const struct {
    const char* lock;     // held while the ensemble is started
    const char* message;  // of the refusal
  } cases[] = {
      {"ens/member_001/binary.lock", "Member 1 (folder \""},
      {"ens/member_002/binary.lock", "Member 2 (folder \""},
      {"ens/ensemble.lock", "is in use by another ensemble"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    copy_binary_example(dir);
    fs::create_directories(dir.file("ens/member_001"));
    fs::create_directories(dir.file("ens/member_002"));
    const std::string command = "ensemble binary.dat -n 2 -j 2 --seed 3 -d ens -- --max-moves 100";
    {
      const LockHolder holder(dir.file(c.lock));
      ASSERT_GT(holder.pid(), 0);
      const CommandResult r = run_tools(dir, command);
      EXPECT_EQ(r.status, 1) << c.lock << "\n" << r.output;
      EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("process " + std::to_string(holder.pid())), std::string::npos) << r.output;
      EXPECT_FALSE(fs::exists(dir.file("ens/member_001/binary.dat"))) << "no member was prepared";
      EXPECT_FALSE(fs::exists(dir.file("ens/member_001/console.txt")));
    }
    // Once the holder has gone, the same command runs.
    const CommandResult again = run_tools(dir, command);
    EXPECT_EQ(again.status, 0) << c.lock << "\n" << again.output;
  }
}

// Polls until no program holds the members' locks (at most 60 s).
bool members_ended(const TempDir& dir, int members) {
  for (int i = 0; i < 1200; ++i) {
    bool any = false;
    for (int k = 1; k <= members; ++k)
      any = any || FileLock::holder(dir.file("ens/member_00" + std::to_string(k) + "/binary.lock")) != 0;
    if (!any) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(EnsembleMembers, MembersEndWithASaveWhenTheirEnsembleDies) {
  for (const char* signal : {"KILL", "HUP"}) {
    TempDir dir;
    copy_binary_example(dir);
    // Members that would run for about 30 s; the ensemble dies once both hold
    // their roots (their console output is buffered in a file).
    const std::string tools = "'" + tools_binary() + "'";
    const CommandResult r =
        run_command(tools + " ensemble binary.dat -n 2 -j 2 --seed 5 -d ens > log.txt 2>&1 & pid=$!\n" +
                        "for i in $(seq 1 600); do [ -f '" + dir.file("ens/member_001/binary.lock") + "' ] && [ -f '" +
                        dir.file("ens/member_002/binary.lock") + "' ] && break; sleep 0.05; done\nsleep 1\nkill -" +
                        signal + " $pid; wait $pid; echo status=$?\n",
                    dir.path());
    ASSERT_TRUE(members_ended(dir, 2)) << signal << ": the members run on";
    for (const char* m : {"member_001", "member_002"}) {
      const std::string console = read_file(dir.file(std::string("ens/") + m + "/console.txt"));
      EXPECT_EQ(last_line(console).rfind(" Results written: binary.g", 0), 0u) << signal << " " << m << "\n" << console;
      EXPECT_EQ(formats::read_g_file(dir.file(std::string("ens/") + m + "/binary.g")).nr(), 96) << m;
    }
    if (std::string(signal) == "HUP") {
      // A hang-up is passed on like Ctrl-C: the ensemble records the stop.
      EXPECT_NE(r.output.find("status=10"), std::string::npos) << r.output << read_file(dir.file("log.txt"));
      const std::string manifest = read_file(dir.file("ens/manifest.txt"));
      EXPECT_NE(manifest.find("- interrupted member_001"), std::string::npos) << manifest;
      EXPECT_EQ(manifest.find("running"), std::string::npos) << manifest;
    } else {
      EXPECT_NE(r.output.find("status=137"), std::string::npos) << r.output;
      // The dead ensemble left "running" behind; the next command reads the
      // folders instead.
      const CommandResult collect = run_tools(dir, "ensemble binary.dat -n 2 --seed 5 -d ens --collect");
      EXPECT_EQ(collect.status, 1) << collect.output;
      EXPECT_NE(collect.output.find("Member 1 is not finished (interrupted)"), std::string::npos) << collect.output;
      const std::string manifest = read_file(dir.file("ens/manifest.txt"));
      EXPECT_NE(manifest.find("- interrupted member_002"), std::string::npos) << manifest;
      EXPECT_EQ(manifest.find("running"), std::string::npos) << manifest;
    }
  }
}

}  // namespace
}  // namespace yosta::testing
