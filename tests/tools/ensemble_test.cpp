// Ensembles: member seeds, the members' inputs, and whole local ensembles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "support/test_support.h"
#include "tools/ensemble.h"
#include "formats/result_files.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

TEST(EnsembleSeeds, DistinctAndInTheGeneratorsRange) {
  for (const std::int32_t base : {1, 2, 12345, 2147483645, 2147483646}) {
    std::set<std::int32_t> seeds, noises;
    for (int k = 1; k <= 999; ++k) {
      const std::int32_t s = tools::member_seed(base, k);
      EXPECT_GE(s, 1) << base << " " << k;
      EXPECT_LE(s, 2147483646) << base << " " << k;
      seeds.insert(s);
      const std::int32_t n = tools::noise_seed(s, k);
      EXPECT_GE(n, 1);
      EXPECT_LE(n, 2147483646);
      noises.insert(n);
    }
    EXPECT_EQ(seeds.size(), 999u) << base;
    EXPECT_EQ(noises.size(), 999u) << base;
    EXPECT_EQ(tools::member_seed(base, 1), base);
  }
}

std::string example(const std::string& name) { return read_file(std::string(YOSTA_SOURCE_DIR) + "/examples/" + name); }

std::vector<std::string> lines_of(const std::string& text) { return split_lines(text); }

TEST(EnsembleInputs, DataFileAndRootRecordsAreRewrittenAndNothingElse) {
  const std::vector<std::string> lines = lines_of(example("binary.dat"));
  const std::string text = tools::rewritten_parameters("binary.dat", lines, {"a.dat", "b.dat", "c.dat"}, "out");
  const std::vector<std::string> out = lines_of(text);
  ASSERT_EQ(out.size(), lines.size());
  int changed = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (out[i] != lines[i]) {
      ++changed;
      EXPECT_TRUE(lines[i].rfind("binary", 0) == 0) << lines[i];
    }
  EXPECT_EQ(changed, 4);
  EXPECT_EQ(out.back(), "out");
}

TEST(EnsembleInputs, ADataFileNamedLikeAnotherRecordIsFoundByItsPlace) {
  // The data file "F" reads the same as the logical records before it, and
  // "T" as those after it: only its own record may change.
  std::vector<std::string> lines = lines_of(example("binary.dat"));
  for (std::string& l : lines)
    if (l.rfind("binary_F", 0) == 0) l = l == "binary_F2.dat" ? "T" : "F";
  lines.front() = "F";  // the title too
  const std::vector<std::string> out =
      lines_of(tools::rewritten_parameters("p.dat", lines, {"one.dat", "two.dat", "three.dat"}, "r"));
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (out[i] != lines[i]) changed.push_back(i);
  ASSERT_EQ(changed.size(), 4u);
  EXPECT_EQ(out[changed[0]], "one.dat");
  EXPECT_EQ(out[changed[1]], "two.dat");
  EXPECT_EQ(out[changed[2]], "three.dat");
  EXPECT_EQ(lines_of(example("binary.dat"))[changed[0]], "binary_F1.dat");
  EXPECT_EQ(lines_of(example("binary.dat"))[changed[2]], "binary_F3.dat");
}

// Data files of every kind: F moves by about sigma at the fitted points only,
// every other value stays, and the same seed gives the same file.
TEST(EnsembleInputs, ResampledDataOfEveryKind) {
  struct Case {
    const char* name;
    bool qdep, background;
    float sigma;
    int columns;
  };
  const Case cases[] = {
      {"fixed, one sigma", false, false, 0.5f, 2},          {"fixed, error column", false, false, -1.0f, 3},
      {"fixed, background column", false, true, -0.5f, 3},  {"Q-dependent, two basis functions", true, false, 0.5f, 4},
      {"Q-dependent with background", true, true, 0.5f, 5},
  };
  const int nq = max_q;
  for (const Case& c : cases) {
    std::string text = std::to_string(nq) + " points\nheading kept\n";
    for (int k = 1; k <= nq; ++k) {
      text += std::to_string(0.01 * k) + " 1.5";
      for (int col = 2; col < c.columns; ++col) text += col == 2 && c.sigma < 0 && !c.background ? " 0.5" : " 0.25";
      text += "\n";
    }
    DataSetSettings set;
    set.qdep = c.qdep;
    set.background_column = c.background;
    set.sigma = c.sigma;
    set.q_first = 11;
    set.q_last = nq - 10;
    std::int32_t seed = 77, again = 77;
    const std::string out = tools::resampled_data("d.dat", text, set, 2, seed);
    EXPECT_EQ(out, tools::resampled_data("d.dat", text, set, 2, again)) << c.name;
    EXPECT_NE(seed, 77);
    const std::vector<std::string> lines = lines_of(out);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(nq + 2)) << c.name;
    EXPECT_EQ(lines[1], "heading kept");
    double sum = 0, sum2 = 0;
    int n = 0;
    for (int k = 1; k <= nq; ++k) {
      std::istringstream row(lines[static_cast<std::size_t>(k + 1)]);
      std::vector<double> v;
      double x;
      while (row >> x) v.push_back(x);
      ASSERT_EQ(v.size(), static_cast<std::size_t>(c.columns)) << c.name << " point " << k;
      EXPECT_NEAR(v[0], 0.01 * k, 1e-6);
      for (std::size_t col = 2; col < v.size(); ++col) EXPECT_TRUE(v[col] == 0.25 || v[col] == 0.5);
      if (k < set.q_first || k > set.q_last) {
        EXPECT_EQ(v[1], 1.5) << c.name << " point " << k << " is not fitted";
      } else {
        sum += v[1] - 1.5;
        sum2 += (v[1] - 1.5) * (v[1] - 1.5);
        ++n;
      }
    }
    const double sd = std::sqrt(sum2 / n);
    const double expected = c.sigma < 0 && !c.background ? 0.5 : std::fabs(c.sigma);
    EXPECT_NEAR(sum / n, 0.0, 4 * expected / std::sqrt(n)) << c.name;
    EXPECT_NEAR(sd, expected, 0.08 * expected) << c.name;
  }
  // A bad value names the file and the line.
  DataSetSettings set;
  set.q_last = 3;
  std::int32_t seed = 1;
  try {
    tools::resampled_data("d.dat", "3\nh\n0.1 1\n0.2 nan\n0.3 1\n", set, 1, seed);
    ADD_FAILURE() << "nan accepted";
  } catch (const Stop& stop) {
    EXPECT_NE(stop.lines.at(0).find("\"d.dat\", line 4"), std::string::npos) << stop.lines.at(0);
  }
}

// The example with short members, in a scratch folder.
void set_up_example(const TempDir& dir) {
  for (const char* name : {"binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat"})
    write_file(dir.file(name), example(name));
}

TEST(Ensemble, LocalRunMergesMembersAndARerunContinues) {
  TempDir dir;
  set_up_example(dir);
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
  set_up_example(dir);
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

TEST(Ensemble, FailedMembersAreNamedAndRunAgainNextTime) {
  TempDir dir;
  set_up_example(dir);
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
  set_up_example(dir);
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
  set_up_example(dir);
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
