// The yosta program as it is started: the exit statuses, its messages, the
// command line, and short whole runs (seeds, prompts, signals, closed pipes).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/programs.h"
#include "support/small_run.h"

namespace yosta {
namespace {

using testing::CommandResult;
using testing::last_line;
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

TEST(Program, ErrorStopExitsOneWithItsMessageLast) {
  TempDir dir;
  write_file(dir.file("setup.dat"), small_parameters({.nbasis = "7"}));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Too many partials\nnbasis is "), std::string::npos) << r.output;
  EXPECT_EQ(split_lines(r.output).front(), " Please Wait... ");
  // Redirected output carries no terminal title escape.
  EXPECT_EQ(r.output.find('\033'), std::string::npos);
}

TEST(Program, IncompatibleMessageKeepsItsBlanks) {
  TempDir dir;
  write_file(dir.file("setup.dat"), small_parameters({.nsets = "1 1"}));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = split_lines(r.output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Incompatible                                 coefficients and totals");
  EXPECT_NE(lines.back().find("need qdep_coefficients T"), std::string::npos) << r.output;
}

TEST(Program, GuardStopExitsOne) {
  TempDir dir;
  write_file(dir.file("setup.dat"), small_parameters({.nbasis = "0"}));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.output), "Number of basis functions must be at least 1, found 0 (file \"setup.dat\", line 6)");
}

TEST(Program, ParameterFileNameIsUsedUnchanged) {
  TempDir dir;
  write_file(dir.file("setup.dat"), small_parameters({.nbasis = "7"}));
  // "setup" is not completed to "setup.dat", on the command line or typed.
  CommandResult r = run_yosta(dir, "setup");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.find("Too many partials"), std::string::npos) << r.output;
  r = run_yosta(dir, "", "setup\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.find("Too many partials"), std::string::npos) << r.output;
  // Typed in full, the file is read.
  r = run_yosta(dir, "", "setup.dat\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\nParameter file: setup.dat\n"), std::string::npos);
  EXPECT_NE(r.output.find("Too many partials\nnbasis is "), std::string::npos) << r.output;
}

TEST(Program, NoParameterFileNameGiven) {
  TempDir dir;
  const CommandResult r = run_yosta(dir, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.output), "No parameter file given");
}

TEST(Program, CommandLineOptions) {
  TempDir dir;
  CommandResult r = run_yosta(dir, "--help");
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"PARAMETER_FILE", "--seed", "--max-moves", "--plot-device", "--version"})
    EXPECT_NE(r.output.find(word), std::string::npos) << word;
  r = run_yosta(dir, "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(last_line(r.output), "yosta 3.0");
  // A seed outside 1..2^31-2 would leave the generator stuck on one state.
  for (const char* bad : {"--seed 0", "--seed -3", "--seed 2147483647", "--seed x", "--max-moves -2", "a.dat b.dat"}) {
    r = run_yosta(dir, bad);
    EXPECT_EQ(r.status, 1) << bad << "\n" << r.output;
  }
  // A move limit the run cannot hold is refused, not run without a limit.
  const struct {
    const char* args;
    const char* message;
  } limits[] = {
      {"--max-moves -2 a.dat", "--max-moves: -2 is not in 0 to 9223372036854775807"},
      {"--max-moves 1e5 a.dat", "--max-moves: '1e5' is not a whole number"},
      {"--max-moves 99999999999999999999 a.dat", "--max-moves: '99999999999999999999' is not a whole number"},
  };
  for (const auto& c : limits) {
    r = run_yosta(dir, c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.output.find(std::string(c.message) + "\n"), std::string::npos) << c.args << "\n" << r.output;
  }
}

// --- Whole runs: these need every set-up module and the move cycle ----------

TEST(FullRun, IncompleteRunExitsTen) {
  TempDir dir;
  write_small_run(dir, {});
  const CommandResult r = run_yosta(dir, "--seed 1 --max-moves 200 setup.dat");
  EXPECT_EQ(r.status, 10) << r.output;
  EXPECT_TRUE(testing::read_file(dir.file("result.g")).size() > 0);
  EXPECT_TRUE(testing::read_file(dir.file("result.out")).size() > 0);
  EXPECT_EQ(r.output.find("Begin (Y/N)?"), std::string::npos);
}

TEST(FullRun, SameSeedSameResult) {
  TempDir a, b;
  for (const TempDir* dir : {&a, &b}) {
    write_small_run(*dir, {});
    EXPECT_EQ(run_yosta(*dir, "--seed 7 --max-moves 300 setup.dat").status, 10);
  }
  EXPECT_EQ(testing::read_file(a.file("result.g")), testing::read_file(b.file("result.g")));
}

TEST(FullRun, ASeedFromTheClockIsShownAndRepeatsTheRun) {
  TempDir a, b;
  for (const TempDir* dir : {&a, &b}) {
    write_small_run(*dir, {});
  }
  const CommandResult plain = run_yosta(a, "--max-moves 300 setup.dat");
  EXPECT_EQ(plain.status, 10) << plain.output;
  const std::vector<std::string> lines = split_lines(plain.output);
  std::string seed;
  for (const std::string& line : lines)
    if (line.rfind("Random seed ", 0) == 0) seed = line.substr(12, line.find(':') - 12);
  ASSERT_FALSE(seed.empty()) << plain.output;
  EXPECT_NE(plain.output.find("Random seed " + seed + ": repeat this run with --seed " + seed + "\n"),
            std::string::npos);
  // The line comes before the report.
  EXPECT_LT(plain.output.find("Random seed "), plain.output.find("Saving results"));
  const CommandResult repeated = run_yosta(b, "--seed " + seed + " --max-moves 300 setup.dat");
  EXPECT_EQ(repeated.status, 10);
  EXPECT_EQ(repeated.output.find("Random seed "), std::string::npos);
  EXPECT_EQ(testing::read_file(a.file("result.g")), testing::read_file(b.file("result.g")));
}

TEST(FullRun, DecliningAtTheStartPromptExitsZeroWithoutResults) {
  TempDir dir;
  write_small_run(dir, {.live = "T"});
  for (const char* answer : {"N\n", "No\n"}) {
    const CommandResult r = run_yosta(dir, "--plot-device /null setup.dat", answer);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(last_line(r.output), "Begin (Y/N)?");
    EXPECT_FALSE(std::ifstream(dir.file("result.g")).good());
  }
}

TEST(FullRun, AnsweringYesRunsWithLivePlots) {
  TempDir dir;
  write_small_run(dir, {.live = "T"});
  const CommandResult r = run_yosta(dir, "--seed 3 --max-moves 100 --plot-device /null setup.dat", "n\n");
  EXPECT_EQ(r.status, 10) << r.output;
  EXPECT_TRUE(std::ifstream(dir.file("result.g")).good());
}

TEST(FullRun, EndOfInputAtTheStartPromptExitsOneWithoutResults) {
  TempDir dir;
  write_small_run(dir, {.live = "T"});
  const CommandResult r = run_yosta(dir, "--plot-device /null setup.dat", "");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(last_line(r.output), "No answer to \"Begin (Y/N)?\": end of input");
  EXPECT_FALSE(std::ifstream(dir.file("result.g")).good());
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// --max-moves 0: set-up, report and one save of the start state; no move.
TEST(FullRun, NoMovesSavesTheStartStateOnce) {
  TempDir dir;
  write_small_run(dir, {});
  const CommandResult r = run_yosta(dir, "--seed 5 --max-moves 0 setup.dat");
  EXPECT_EQ(r.status, 10) << r.output;
  EXPECT_EQ(occurrences(r.output, "Saving completed"), 1u) << r.output;
  EXPECT_EQ(occurrences(r.output, "Accepted:"), 0u) << r.output;
  const std::vector<std::string> g = split_lines(testing::read_file(dir.file("result.g")));
  ASSERT_GT(g.size(), 2u);
  EXPECT_EQ(words(g[1]), (std::vector<std::string>{"0", "0"})) << "generated and accepted moves";
}

// A closed terminal ends the run like SIGTERM: a final save, exit 10.
TEST(FullRun, HangupSavesAndExitsTen) {
  TempDir dir;
  write_small_run(dir, {});
  write_file(dir.file("hup.sh"), start_in_background("--seed 2 setup.dat", "run.log") +
                                     wait_for("Accepted:", "run.log") +
                                     "kill -HUP $pid\n"
                                     "wait $pid\n"
                                     "echo \"yosta status $?\"\n");
  const CommandResult r = run_command("sh hup.sh", dir.path());
  const std::string log = testing::read_file(dir.file("run.log"));
  EXPECT_NE(r.output.find("yosta status 10"), std::string::npos) << r.output << log;
  // The final save, then the summary of the run.
  EXPECT_NE(log.find("Saving completed"), std::string::npos) << log;
  EXPECT_EQ(last_line(log), " Results written: result.g result.out") << log;
  EXPECT_TRUE(std::ifstream(dir.file("result.g")).good());
  EXPECT_TRUE(std::ifstream(dir.file("result.out")).good());
}

// Output into a closed pipe: the console writes fail, the fit and its saves
// go on.
TEST(FullRun, AClosedOutputPipeDoesNotStopTheFit) {
  TempDir dir;
  write_small_run(dir, {});
  write_file(dir.file("pipe.sh"),
             "{ sleep 0.3; '" + yosta_binary() + "' --seed 4 --max-moves 300 setup.dat; echo $? > status; } | true\n");
  run_command("sh pipe.sh", dir.path());
  EXPECT_EQ(testing::read_file(dir.file("status")), "10\n");
  const std::vector<std::string> g = split_lines(testing::read_file(dir.file("result.g")));
  ASSERT_GT(g.size(), 2u);
  EXPECT_EQ(words(g[1]).at(0), "300") << "every move was made and saved";
}

}  // namespace
}  // namespace yosta
