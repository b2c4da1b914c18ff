// The program's own flow: the console prompts, the exit statuses, and whole
// runs of the built program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/console.h"
#include "app/program.h"
#include "base/stop.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using testing::CommandResult;
using testing::TempDir;
using testing::run_command;
using testing::split_lines;
using testing::write_file;
using testing::yosta_binary;
using testing::run_yosta;
using testing::last_line;

// --- Console prompts -------------------------------------------------------

bool begins(const std::string& typed, std::string* shown = nullptr) {
  std::istringstream in(typed);
  std::ostringstream out;
  Console console(out, in);
  const bool result = ask_to_begin(console);
  if (shown) *shown = out.str();
  return result;
}

TEST(StartPrompt, OnlyAnUpperCaseNDeclines) {
  std::string shown;
  EXPECT_FALSE(begins("N\n", &shown));
  EXPECT_EQ(shown, "Begin (Y/N)?\n");
  EXPECT_FALSE(begins("No\n"));
  EXPECT_FALSE(begins("  N  whatever follows\n"));
  for (const char* answer : {"Y\n", "y\n", "n\n", "x\n", "Yes\n", "no\n"}) EXPECT_TRUE(begins(answer)) << answer;
}

TEST(StartPrompt, AnswerWithoutAValueKeepsTheDefaultYes) {
  EXPECT_TRUE(begins("/\n"));
  EXPECT_TRUE(begins(",N\n"));  // a null value, then the read is over
  EXPECT_FALSE(begins("\n   \nN\n"));  // empty lines are passed over
}

TEST(StartPrompt, EndOfInputDoesNotBegin) {
  EXPECT_FALSE(begins(""));
  EXPECT_FALSE(begins("\n\n"));
}

TEST(ParameterFilePrompt, TypedNameIsUsedAsItStands) {
  std::istringstream in("\n  run1  \n");
  std::ostringstream out;
  Console console(out, in);
  EXPECT_EQ(ask_parameter_file(console), "run1");  // no ".dat" added
  EXPECT_EQ(out.str(), "Parameter file: \nParameter file:   run1  \n");
}

TEST(ParameterFilePrompt, EndOfInputIsAnErrorStop) {
  std::istringstream in("");
  std::ostringstream out;
  Console console(out, in);
  try {
    ask_parameter_file(console);
    FAIL() << "no stop";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    EXPECT_EQ(stop.lines, std::vector<std::string>{"No parameter file given"});
  }
}

TEST(FinishRun, StatusTellsWhetherEverySolutionWasSaved) {
  EXPECT_EQ(finish_run(true), 0);
  EXPECT_EQ(finish_run(false), 10);
}

// --- The built program -----------------------------------------------------

// A complete parameter file for one data set of one partial; `nbasis_line`
// and `live` let a test break or switch it.
std::string parameter_text(const std::string& nbasis_line = "1", const std::string& live = "F",
                           const std::string& nsets = "1 0") {
  std::string text = "End-to-end test run\nF\n" + live + "\n";
  if (live == "T") text += "50\n";
  text += "0.02\nF\n" + nbasis_line +
          "\n1\n1 0.0 1.5\n0.05\n4 10.0\nF\nF\n1\n1 1.5 10.0\n0\nF\nF\n100\n1.0 0.5\n" + nsets +
          "\nliquid\n1 100\n0.0\n1.0\n0.01\nF\nF\nF\nF\nF\nresult\n";
  return text;
}

// 100 points at Q = 0.1 .. 10.0, a damped oscillation.
std::string data_text() {
  std::string text = "100  points\nQ  F(Q)\n";
  char line[64];
  for (int k = 1; k <= 100; ++k) {
    const double q = 0.1 * k;
    std::snprintf(line, sizeof line, "%.4f %.6f\n", q, 0.8 * std::sin(3.0 * q) * std::exp(-0.3 * q));
    text += line;
  }
  return text;
}


TEST(Program, ErrorStopExitsOneWithItsMessageLast) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("7"));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(last_line(r.output), "Too many partials");
  EXPECT_EQ(split_lines(r.output).front(), " Please Wait... ");
  // Redirected output carries no terminal title escape.
  EXPECT_EQ(r.output.find('\033'), std::string::npos);
}

TEST(Program, IncompatibleMessageKeepsItsBlanks) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("1", "F", "1 1"));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = split_lines(r.output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Incompatible                                 coefficients and totals");
  EXPECT_NE(lines.back().find("need qdep_coefficients T"), std::string::npos) << r.output;
}

TEST(Program, GuardStopExitsOne) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("0"));
  const CommandResult r = run_yosta(dir, "setup.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r.output), "Number of basis functions must be at least 1, found 0 (file \"setup.dat\", line 6)");
}

TEST(Program, ParameterFileNameIsUsedUnchanged) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("7"));
  // "setup" is not completed to "setup.dat", on the command line or typed.
  CommandResult r = run_yosta(dir, "setup");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(last_line(r.output), "Too many partials");
  r = run_yosta(dir, "", "setup\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(last_line(r.output), "Too many partials");
  // Typed in full, the file is read.
  r = run_yosta(dir, "", "setup.dat\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\nParameter file: setup.dat\n"), std::string::npos);
  EXPECT_EQ(last_line(r.output), "Too many partials");
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
  for (const char* bad : {"--seed 0", "--seed -3", "--seed 2147483647", "--seed x", "--max-moves -2",
                          "a.dat b.dat"}) {
    r = run_yosta(dir, bad);
    EXPECT_EQ(r.status, 1) << bad << "\n" << r.output;
  }
}

// --- Whole runs: these need every set-up module and the move cycle ----------

TEST(FullRun, IncompleteRunExitsTen) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text());
  write_file(dir.file("liquid.dat"), data_text());
  const CommandResult r = run_yosta(dir, "--seed 1 --max-moves 200 setup.dat");
  EXPECT_EQ(r.status, 10) << r.output;
  EXPECT_TRUE(testing::read_file(dir.file("result.g")).size() > 0);
  EXPECT_TRUE(testing::read_file(dir.file("result.out")).size() > 0);
  EXPECT_EQ(r.output.find("Begin (Y/N)?"), std::string::npos);
}

TEST(FullRun, SameSeedSameResult) {
  TempDir a, b;
  for (const TempDir* dir : {&a, &b}) {
    write_file(dir->file("setup.dat"), parameter_text());
    write_file(dir->file("liquid.dat"), data_text());
    EXPECT_EQ(run_yosta(*dir, "--seed 7 --max-moves 300 setup.dat").status, 10);
  }
  EXPECT_EQ(testing::read_file(a.file("result.g")), testing::read_file(b.file("result.g")));
}

TEST(FullRun, DecliningAtTheStartPromptExitsZeroWithoutResults) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("1", "T"));
  write_file(dir.file("liquid.dat"), data_text());
  for (const char* answer : {"N\n", "No\n", ""}) {
    const CommandResult r = run_yosta(dir, "--plot-device /null setup.dat", answer);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(last_line(r.output), "Begin (Y/N)?");
    EXPECT_FALSE(std::ifstream(dir.file("result.g")).good());
  }
}

TEST(FullRun, AnsweringYesRunsWithLivePlots) {
  TempDir dir;
  write_file(dir.file("setup.dat"), parameter_text("1", "T"));
  write_file(dir.file("liquid.dat"), data_text());
  const CommandResult r = run_yosta(dir, "--seed 3 --max-moves 100 --plot-device /null setup.dat", "n\n");
  EXPECT_EQ(r.status, 10) << r.output;
  EXPECT_TRUE(std::ifstream(dir.file("result.g")).good());
}

}  // namespace
}  // namespace yosta
