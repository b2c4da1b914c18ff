// Whole runs of the built program where results could be lost: inputs named
// like the results, two runs on one root, repeated stop signals, and a
// failure after the moves have begun.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/programs.h"
#include "support/small_run.h"

namespace yosta {
namespace {

namespace fs = std::filesystem;
using testing::CommandResult;
using testing::copy_binary_example;
using testing::damped_data;
using testing::last_line;
using testing::read_file;
using testing::run_command;
using testing::run_yosta;
using testing::small_parameters;
using testing::split_lines;
using testing::start_in_background;
using testing::TempDir;
using testing::wait_for;
using testing::write_file;
using testing::write_small_run;
using testing::yosta_binary;

std::vector<std::string> temp_files(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.path().extension() == ".tmp") found.push_back(entry.path().string());
  return found;
}

// --- inputs named like the results ----------------------------------------

struct InputCase {
  const char* name;
  const char* parameter_file;  // the parameter file's name
  const char* data_file;       // as the parameter file names it
  const char* root;
  const char* link;     // "s:NAME->TARGET" symlink or "h:NAME->TARGET" hard link, made after the inputs
  const char* message;  // part of the refusal
};

TEST(InputsAndResults, AnInputThatASaveWouldReplaceIsRefused) {
  const InputCase cases[] = {
      {"parameter file is root.out", "q.out", "liquid.dat", "q", "", "The parameter file \"q.out\" is the result file"},
      {"data file is root.out", "run.dat", "d3.out", "d3", "",
       "The data file of set 1, \"d3.out\", is the result file"},
      {"data file is root.g", "run.dat", "d3.g", "d3", "", "\"d3.g\", is the result file"},
      {"spelled with ./", "run.dat", "./d3.out", "d3", "", "\"./d3.out\", is the result file \"d3.out\""},
      {"root spelled with a folder", "run.dat", "d3.out", "sub/../d3", "", "is the result file \"sub/../d3.out\""},
      {"a leftover name a save removes", "run.dat", "d3.g.tmp", "d3", "", "\"d3.g.tmp\""},
      {"the lock of a running fit", "run.dat", "d3.lock", "d3", "", "\"d3.lock\""},
      {"data file is a symlink to root.out", "run.dat", "alias.dat", "res", "s:alias.dat->res.out",
       "\"alias.dat\", is the result file \"res.out\""},
      {"root.out is a symlink to the data", "run.dat", "liquid.dat", "res", "s:res.out->liquid.dat",
       "\"liquid.dat\", is the result file \"res.out\""},
      {"parameter file hard-linked as root.g", "run.dat", "liquid.dat", "res", "h:res.g->run.dat",
       "The parameter file \"run.dat\" is the result file \"res.g\""},
  };
  for (const InputCase& c : cases) {
    TempDir dir;
    fs::create_directory(dir.file("sub"));
    const std::string data_name = fs::path(c.data_file).filename().string();
    const std::string link = c.link;
    // The data, under its own name unless a symlink stands for it.
    if (link.rfind("s:" + data_name + "->", 0) != 0) write_file(dir.file(data_name), damped_data());
    if (link.find("->res.out") != std::string::npos) write_file(dir.file("res.out"), damped_data());
    write_file(dir.file(c.parameter_file), small_parameters({.data = c.data_file, .root = c.root}));
    if (!link.empty()) {
      const std::size_t arrow = link.find("->");
      const std::string from = dir.file(link.substr(2, arrow - 2)), to = link.substr(arrow + 2);
      if (link[0] == 's') {
        fs::create_symlink(to, from);
      } else {
        fs::create_hard_link(dir.file(to), from);
      }
    }
    std::vector<std::pair<std::string, std::string>> before;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.is_regular_file()) before.emplace_back(entry.path().string(), read_file(entry.path().string()));
    const CommandResult r = run_yosta(dir, std::string("--seed 3 --max-moves 50 ") + c.parameter_file);
    EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_NE(last_line(r.output).find("choose another root"), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_EQ(r.output.find("Saving"), std::string::npos) << c.name;
    for (const auto& [path, text] : before) EXPECT_EQ(read_file(path), text) << c.name << ": " << path;
  }
}

// --- two runs on one root -------------------------------------------------

TEST(RootInUse, ASecondRunOnTheSameRootIsRefusedAtSetUp) {
  for (const char* second_root : {"result", "./result", "sub/../result"}) {
    TempDir dir;
    fs::create_directory(dir.file("sub"));
    write_file(dir.file("liquid.dat"), damped_data());
    write_file(dir.file("first.dat"), small_parameters({.times = "5.0 5.0", .data = "liquid.dat", .root = "result"}));
    write_file(dir.file("second.dat"),
               small_parameters({.times = "5.0 5.0", .data = "liquid.dat", .root = second_root}));
    write_file(dir.file("two.sh"), start_in_background("--seed 2 first.dat", "first.log") +
                                       wait_for("Accepted:", "first.log") + "'" + yosta_binary() +
                                       "' --seed 3 --max-moves 10 second.dat > second.log 2>&1\n"
                                       "echo \"second $?\"\n"
                                       "kill -TERM $pid; wait $pid; echo \"first $?\"\n");
    const CommandResult r = run_command("sh two.sh", dir.path());
    const std::string first = read_file(dir.file("first.log")), second = read_file(dir.file("second.log"));
    EXPECT_NE(r.output.find("second 1"), std::string::npos) << second_root << "\n" << r.output << second;
    EXPECT_NE(r.output.find("first 10"), std::string::npos) << second_root << "\n" << r.output << first;
    EXPECT_NE(second.find("is in use by another run (process "), std::string::npos) << second;
    EXPECT_EQ(second.find("Saving"), std::string::npos) << second;
    // The first run's fit is whole: its final save and summary.
    EXPECT_EQ(last_line(first), " Results written: result.g result.out") << first;
    EXPECT_FALSE(fs::exists(dir.file("result.lock")));
  }
}

// --- repeated stop signals ------------------------------------------------

TEST(StopSignals, TwoSignalsAtOnceEndWithStatusTenAndWholeFiles) {
  // Each kind: the second signal during the final save, or right after the
  // first, before or after a save of the run.
  const struct {
    const char* times;
    const char* wait;
    const char* signals;
  } cases[] = {
      {"5.0 5.0", "Accepted:", "kill -TERM $pid; kill -TERM $pid"},
      {"5.0 0.001", "Saving completed", "kill -TERM $pid; kill -TERM $pid"},
      {"5.0 0.001", "Saving completed", "kill -INT $pid; sleep 0.001; kill -HUP $pid"},
      {"5.0 5.0", "Accepted:", "kill -TERM $pid; sleep 0.001; kill -TERM $pid"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_small_run(dir, {.times = c.times, .data = "liquid.dat", .root = "result"}, "run.dat");
    write_file(dir.file("stop.sh"), start_in_background("--seed 2 run.dat", "run.log") + wait_for(c.wait, "run.log") +
                                        c.signals + "\nwait $pid\necho \"status $?\"\n");
    const CommandResult r = run_command("sh stop.sh", dir.path());
    const std::string log = read_file(dir.file("run.log"));
    EXPECT_NE(r.output.find("status 10"), std::string::npos) << c.signals << "\n" << r.output << log;
    EXPECT_TRUE(temp_files(dir.path()).empty()) << c.signals << "\n" << log;
    const bool at_once = log.find("Stopped at once by a second signal") != std::string::npos;
    if (at_once) {
      EXPECT_EQ(log.find("Run summary"), std::string::npos) << log;
    } else {
      EXPECT_EQ(last_line(log), " Results written: result.g result.out") << log;
    }
    // Whatever was saved is whole: the count line, then one line per r point.
    if (fs::exists(dir.file("result.g"))) {
      const std::vector<std::string> g = split_lines(read_file(dir.file("result.g")));
      ASSERT_GE(g.size(), 2u) << c.signals;
      EXPECT_EQ(g.size(), static_cast<std::size_t>(std::stoi(g[0])) + 2) << c.signals;
      if (at_once) {
        const std::string moves = g[1].substr(g[1].find_first_not_of(' '));
        EXPECT_NE(log.find("the last save was at move " + moves.substr(0, moves.find(' ')) + ";"), std::string::npos)
            << log;
      }
    } else {
      EXPECT_TRUE(at_once) << log;
      EXPECT_NE(log.find("before any save of this run"), std::string::npos) << log;
    }
  }
}

// --- a failure after the moves have begun ---------------------------------

TEST(FailureAfterStart, ExitsThreeAndNamesTheLastCompleteResults) {
  // The result folder is moved away while the run goes on; its next save
  // fails. Without an earlier save the run says so; with one, it names its
  // move, which the moved files hold.
  for (const bool earlier_save : {false, true}) {
    TempDir dir;
    fs::create_directory(dir.file("out"));
    write_small_run(dir, {.times = earlier_save ? "5.0 0.001" : "5.0 5.0", .data = "liquid.dat", .root = "out/result"},
                    "run.dat");
    write_file(dir.file("gone.sh"), start_in_background("--seed 2 run.dat", "run.log") +
                                        wait_for(earlier_save ? "Saving completed" : "Accepted:", "run.log") +
                                        "mv out gone\n" + (earlier_save ? "" : "kill -TERM $pid\n") +
                                        "wait $pid\necho \"status $?\"\n");
    const CommandResult r = run_command("sh gone.sh", dir.path());
    const std::string log = read_file(dir.file("run.log"));
    EXPECT_NE(r.output.find("status 3"), std::string::npos) << r.output << log;
    const std::vector<std::string> lines = split_lines(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 2].find("out/result"), std::string::npos) << log;
    if (earlier_save) {
      const std::vector<std::string> g = split_lines(read_file(dir.file("gone/result.g")));
      ASSERT_GE(g.size(), 2u);
      const std::string head =
          "The run stopped after its moves had begun; the last complete results are those saved at move ";
      ASSERT_EQ(lines.back().rfind(head, 0), 0u) << log;
      const std::string named = lines.back().substr(head.size());
      EXPECT_EQ(named.substr(named.find(':')), ": out/result.g, out/result.out") << log;
      // The moved .g is that save's, or (when the folder went between the
      // renames of a save) the next one's.
      const long saved_at = std::stol(named), g_moves = std::stol(g[1]);
      EXPECT_GT(saved_at, 0);
      EXPECT_GE(g_moves, saved_at) << log;
      if (log.find("Cannot replace") == std::string::npos) {
        EXPECT_EQ(g_moves, saved_at) << log;
      }
    } else {
      EXPECT_EQ(lines.back(),
                "The run stopped after its moves had begun, before its first save: out/result.g, out/result.out are "
                "as they were before the run")
          << log;
      EXPECT_FALSE(fs::exists(dir.file("gone/result.g")));
    }
  }
}

// --- numbers that stop being numbers --------------------------------------

// The example with a smoothing weight so large that the penalty leaves single
// precision: at the start (refused at set-up, status 1), or only once moves
// push it over (the walk stops at its next check, status 3). Neither run
// writes anything: the results of an earlier run on the root stay whole.
TEST(NonFiniteRun, StopsWithoutSavingAndKeepsTheEarlierResults) {
  const struct {
    const char* weight;
    int status;
    const char* when;
  } cases[] = {
      {"1.0e38", 1, "before the first move of this run"},
      {"5.0e36", 3, "at move "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.weight);
    TempDir dir;
    copy_binary_example(dir);
    ASSERT_EQ(run_yosta(dir, "--seed 3 --max-moves 300 binary.dat").status, 10);
    const std::string g = read_file(dir.file("binary.g")), out = read_file(dir.file("binary.out"));
    std::string text = read_file(dir.file("binary.dat"));
    const std::size_t at = text.find("1.0  2.0  0.0   smoothing_weight");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 3, c.weight);
    write_file(dir.file("binary.dat"), text);

    const CommandResult r = run_yosta(dir, "--seed 3 --max-moves 3000 binary.dat");
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find("The smoothing penalty is not a finite number (inf) " + std::string(c.when)),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("check smoothing_weight and smoothing_exponent (record 18)"), std::string::npos);
    EXPECT_EQ(r.output.find("Saving results"), std::string::npos) << r.output;
    if (c.status == 3) {
      EXPECT_EQ(last_line(r.output).rfind("The run stopped after its moves had begun, before its first save", 0), 0u)
          << r.output;
    }
    EXPECT_EQ(read_file(dir.file("binary.g")), g);
    EXPECT_EQ(read_file(dir.file("binary.out")), out);
  }
}

}  // namespace
}  // namespace yosta
