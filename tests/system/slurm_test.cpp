// Ensembles on Slurm: the job scripts, and a real one-node cluster started for
// the test (tools/slurm_cluster.sh), whose merged results must equal those of
// a local run with the same seeds.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/programs.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

std::string source(const std::string& path) { return std::string(YOSTA_SOURCE_DIR) + "/" + path; }

void set_up_example(const std::string& folder) {
  fs::create_directories(folder);
  for (const char* name : {"binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat"})
    write_file(folder + "/" + name, read_file(source(std::string("examples/") + name)));
}

TEST(EnsembleSlurm, DryRunWritesScriptsThatRunAMemberAndTheMerge) {
  TempDir dir;
  // A folder name with a quote: every path in the scripts is quoted.
  const std::string work = dir.file("it's");
  // Commands run in it through the shell.
  auto in_work = [&](const std::string& command) { return run_command("cd \"" + work + "\" && " + command); };
  set_up_example(work);
  const std::string tools = "'" + tools_binary() + "'";
  const std::string args =
      " ensemble binary.dat -n 2 --seed 8 --bootstrap -d ens --slurm --dry-run"
      " --sbatch-args '-p debug --time=5' -- --max-moves 300";
  const CommandResult r = in_work(tools + args);
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* text : {"#SBATCH --array=1-2", "--dependency=afterok:ARRAY_JOB_ID", "'-p' 'debug' '--time=5'",
                           "--member \"$SLURM_ARRAY_TASK_ID\"", "--collect", "'--max-moves' '300'"})
    EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
  EXPECT_FALSE(fs::exists(work + "/ens/member_001"));  // nothing has run
  // The scripts run as the cluster would run them, without Slurm.
  for (const char* task : {"1", "2"}) {
    const CommandResult member = in_work(std::string("SLURM_ARRAY_TASK_ID=") + task + " sh ens/members.sbatch");
    EXPECT_EQ(member.status, 0) << member.output;
  }
  const CommandResult merged = in_work("sh ens/merge.sbatch");
  ASSERT_EQ(merged.status, 0) << merged.output;
  EXPECT_TRUE(fs::exists(work + "/ens/binary.gsv"));
  // The same ensemble run here gives the same files.
  ASSERT_EQ(in_work(tools + " ensemble binary.dat -n 2 --seed 8 --bootstrap -d local -- --max-moves 300").status, 0);
  EXPECT_EQ(read_file(work + "/ens/binary.gsv"), read_file(work + "/local/binary.gsv"));
  EXPECT_EQ(read_file(work + "/ens/binary.g"), read_file(work + "/local/binary.g"));
}

// Stops the cluster whatever happens to the test.
class Cluster {
 public:
  explicit Cluster(std::string dir) : dir_(std::move(dir)) {}
  ~Cluster() { run_command("bash '" + source("tools/slurm_cluster.sh") + "' stop '" + dir_ + "'"); }
  Cluster(const Cluster&) = delete;
  Cluster& operator=(const Cluster&) = delete;

 private:
  std::string dir_;
};

TEST(EnsembleSlurm, RealClusterGivesTheResultsOfALocalRun) {
  TempDir dir;
  const std::string cluster_dir = dir.file("cluster");
  const CommandResult started =
      run_command("bash '" + source("tools/slurm_cluster.sh") + "' start '" + cluster_dir + "'");
  Cluster cluster(cluster_dir);
  if (started.status == 2) GTEST_SKIP() << started.output;
  ASSERT_EQ(started.status, 0) << started.output;
  const std::string work = dir.file("work");
  set_up_example(work);
  const std::string env = "SLURM_CONF='" + cluster_dir + "/slurm.conf' ";
  const std::string tools = "'" + tools_binary() + "'";
  auto ensemble = [](const std::string& more) {
    return " ensemble binary.dat -n 3 --seed 77 " + more + " -- --max-moves 2000";
  };
  const CommandResult submitted = run_command(env + tools + ensemble("-d onslurm --slurm"), work);
  ASSERT_EQ(submitted.status, 0) << submitted.output;
  EXPECT_NE(submitted.output.find("Follow them with: squeue -j "), std::string::npos) << submitted.output;
  const std::string jobs = read_file(work + "/onslurm/jobs.txt");
  const std::string merge_job = jobs.substr(jobs.find(' ') + 1, jobs.find('\n') - jobs.find(' ') - 1);
  ASSERT_EQ(run_command(tools + ensemble("-d here"), work).status, 0);
  // Wait for the merge job to leave the queue (at most two minutes).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  for (;;) {
    const CommandResult queue = run_command(env + "squeue -h -j " + merge_job + " 2>/dev/null", work);
    if (queue.output.find(merge_job) == std::string::npos) break;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << queue.output;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  ASSERT_TRUE(fs::exists(work + "/onslurm/binary.gsv"))
      << (fs::exists(work + "/onslurm/slurm_merge.txt") ? read_file(work + "/onslurm/slurm_merge.txt") : "");
  EXPECT_EQ(read_file(work + "/onslurm/binary.gsv"), read_file(work + "/here/binary.gsv"));
  EXPECT_EQ(read_file(work + "/onslurm/binary.g"), read_file(work + "/here/binary.g"));
  EXPECT_TRUE(fs::exists(work + "/onslurm/binary_errors.png"));
}

}  // namespace
}  // namespace yosta::testing
