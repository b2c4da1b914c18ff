// Every subcommand checks every output (name, extension, folder, not an
// input, not twice) before it writes anything: a refused command leaves
// every file as it was and makes none.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/programs.h"

namespace yosta {
namespace {

namespace fs = std::filesystem;
using testing::CommandResult;
using testing::read_file;
using testing::run_tools;
using testing::TempDir;
using testing::write_file;

// Two saved sets of one basis function at three r points.
const char* const gsv_text = "3 1\n2 2\n0.1 0.2 0.03\n0.2 0.4 0.1\n0.3 0.6 0.2\n";

std::string data_file() {
  std::string text = "20  points\nQ F\n";
  for (int k = 1; k <= 20; ++k) text += std::to_string(0.1 * k) + " " + std::to_string(0.01 * k) + " 0.01\n";
  return text;
}

// Every regular file of the folder (recursively) with its bytes.
std::map<std::string, std::string> files_of(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) files[entry.path().string()] = read_file(entry.path().string());
  return files;
}

TEST(ToolOutputs, ARefusedCommandLeavesEveryFileAsItWas) {
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"errors bt.gsv -o tab.txt --plot pic.jpg",
       "Picture \"pic.jpg\" (--plot): the name must end in .png, .svg or .pdf"},
      {"errors bt.gsv -o tab.txt --plot /nonexistent/p.png",
       "Cannot write \"/nonexistent/p.png\" (--plot): its folder \"/nonexistent\" does not exist"},
      {"errors bt.gsv -o tab.txt --plot sub/missing/p.png", "its folder \"sub/missing\" does not exist"},
      {"errors bt.gsv -o tab.txt --plot plain.txt/p.png", "\"plain.txt\" is not a folder"},
      {"errors bt.gsv -o sub --plot p.png", "Cannot write \"sub\" (-o): it is a folder"},
      {"errors bt.gsv -o tab.txt --plot ./tab.txt", "are one file"},
      {"errors bt.gsv -o bt.gsv", "The output \"bt.gsv\" (-o) is the input \"bt.gsv\""},
      {"plot result.out -o missing/p.png", "its folder \"missing\" does not exist"},
      {"merge bt.gsv bt.gsv -o missing/all.gsv", "its folder \"missing\" does not exist"},
      {"merge --mean a.g a.g -o sub", "it is a folder"},
      {"import d.dat -o d.dat", "The output \"d.dat\" (-o) is the input \"d.dat\""},
      {"import d.dat -o ./sub/../d.dat", "is the input \"d.dat\""},
      {"import d.dat -o missing/x.dat", "its folder \"missing\" does not exist"},
      {"background d.dat -o d.dat --sum-weights 1 --density 0.1", "is the input \"d.dat\""},
      {"weights xray --composition \"O:1 H:2\" --q-from d.dat -o missing/x.dat",
       "its folder \"missing\" does not exist"},
      {"weights xray --composition \"O:1 H:2\" --q-from d.dat -o d.dat", "is the input \"d.dat\""},
  };
  for (const auto& c : cases) {
    TempDir dir;
    fs::create_directory(dir.file("sub"));
    write_file(dir.file("bt.gsv"), gsv_text);
    write_file(dir.file("a.g"), "3\n10 5\n0.1 0.2\n0.2 0.4\n0.3 0.6\n");
    write_file(dir.file("tab.txt"), "an earlier table\n");
    write_file(dir.file("plain.txt"), "a file, not a folder\n");
    write_file(dir.file("d.dat"), data_file());
    const auto before = files_of(dir.path());
    const CommandResult r = run_tools(dir, c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_EQ(r.output.find("graphics library"), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_EQ(files_of(dir.path()), before) << c.args;
  }
}

// The checks pass what can be written: a table and a picture together, and
// merged sums written over one of their inputs.
TEST(ToolOutputs, WhatCanBeWrittenIsWritten) {
  TempDir dir;
  fs::create_directory(dir.file("sub"));
  write_file(dir.file("bt.gsv"), gsv_text);
  CommandResult r = run_tools(dir, "errors bt.gsv -o sub/tab.txt --plot sub/p.svg");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(read_file(dir.file("sub/tab.txt")).rfind("# 2 saved sets from bt.gsv\nr mean_1 sd_1 se_1\n", 0), 0u);
  EXPECT_GT(read_file(dir.file("sub/p.svg")).size(), 100u);
  r = run_tools(dir, "merge bt.gsv bt.gsv -o bt.gsv");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(testing::numbers(testing::split_lines(read_file(dir.file("bt.gsv"))).at(1)), (std::vector<double>{4, 4}))
      << "the sums doubled";
  for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

}  // namespace
}  // namespace yosta
