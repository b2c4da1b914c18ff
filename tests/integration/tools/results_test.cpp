// The result subcommands: merge, errors, and their readers' checks.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "formats/result_files.h"
#include "support/programs.h"
#include "text/free_writer.h"
#include "tools/statistics.h"

namespace yosta::testing {
namespace {

std::string text_of(float x) { return text::real_text(x); }

// A .gsv text: nr rows of r = j * 0.1 with the given sums of one or two basis functions.
std::string gsv(int nsaved, int collect, const std::vector<std::vector<float>>& s1,
                const std::vector<std::vector<float>>& s2, float dr = 0.1f) {
  std::string t = std::to_string(s1[0].size()) + " " + std::to_string(s1.size()) + "\n" + std::to_string(nsaved) + " " +
                  std::to_string(collect) + "\n";
  for (std::size_t j = 0; j < s1[0].size(); ++j) {
    t += text_of(static_cast<float>(j + 1) * dr);
    for (const auto& c : s1) t += " " + text_of(c[j]);
    for (const auto& c : s2) t += " " + text_of(c[j]);
    t += "\n";
  }
  return t;
}

std::string g(int generated, const std::vector<std::vector<float>>& v) {
  std::string t = std::to_string(v[0].size()) + "\n" + std::to_string(generated) + " 7\n";
  for (std::size_t j = 0; j < v[0].size(); ++j) {
    t += text_of(static_cast<float>(j + 1) * 0.1f);
    for (const auto& c : v) t += " " + text_of(c[j]);
    t += "\n";
  }
  return t;
}

TEST(Merge, SumsAndCountsAddAndTheMergedFileReadsBack) {
  TempDir dir;
  write_file(dir.file("a.gsv"), gsv(2, 3, {{1, 2, 3}, {4, 5, 6}}, {{1, 4, 9}, {16, 25, 36}}));
  write_file(dir.file("b.gsv"), gsv(3, 4, {{0.5, 1, 1.5}, {1, 1, 1}}, {{2, 2, 2}, {3, 3, 3}}));
  const CommandResult r = run_tools(dir, "merge a.gsv b.gsv -o all.gsv");
  ASSERT_EQ(r.status, 0) << r.output;
  const formats::GsvFile m = formats::read_gsv_file(dir.file("all.gsv"));
  EXPECT_EQ(m.nsaved, 5);
  EXPECT_EQ(m.collect_count, 7);
  ASSERT_EQ(m.nbasis(), 2);
  ASSERT_EQ(m.nr(), 3);
  EXPECT_FLOAT_EQ(m.r[2], 0.3f);
  EXPECT_FLOAT_EQ(m.S1[0][2], 4.5f);
  EXPECT_FLOAT_EQ(m.S1[1][0], 5.0f);
  EXPECT_FLOAT_EQ(m.S2[0][1], 6.0f);
  EXPECT_FLOAT_EQ(m.S2[1][2], 39.0f);
}

TEST(Merge, MeanOfStartFilesKeepsTheGridAndAddsTheMoveCounts) {
  TempDir dir;
  write_file(dir.file("a.g"), g(100, {{-1, 0.25f, 2}, {1, 1, 1}}));
  write_file(dir.file("b.g"), g(50, {{-1, 0.75f, 3}, {3, 1, -1}}));
  const CommandResult r = run_tools(dir, "merge --mean a.g b.g -o mean.g");
  ASSERT_EQ(r.status, 0) << r.output;
  const formats::GFile m = formats::read_g_file(dir.file("mean.g"));
  EXPECT_EQ(m.generated, 150);
  EXPECT_EQ(m.accepted, 14);
  ASSERT_EQ(m.nbasis(), 2);
  EXPECT_EQ(m.r, formats::read_g_file(dir.file("a.g")).r);
  EXPECT_FLOAT_EQ(m.v[0][1], 0.5f);
  EXPECT_FLOAT_EQ(m.v[0][2], 2.5f);
  EXPECT_FLOAT_EQ(m.v[1][0], 2.0f);
  EXPECT_FLOAT_EQ(m.v[1][2], 0.0f);
  // Without --mean a .g file is not taken for sums.
  const CommandResult sums = run_tools(dir, "merge a.g b.g -o all.gsv");
  EXPECT_EQ(sums.status, 1);
  EXPECT_NE(sums.output.find("\"a.g\" is a .g file"), std::string::npos) << sums.output;
}

// Files that must be refused: the message names the file and what is wrong,
// the status is 1 and an earlier result is left as it was.
TEST(Merge, RefusesFilesThatDoNotMatchOrCannotBeRead) {
  const std::string good = gsv(2, 2, {{1, 2, 3}}, {{1, 2, 5}});
  struct Case {
    const char* name;
    std::string other;
    const char* says;
  };
  const Case cases[] = {
      {"fewer r points", gsv(2, 2, {{1, 2}}, {{1, 2}}), "it has 2 r points, the first file 3"},
      {"other basis count", gsv(2, 2, {{1, 2, 3}, {1, 2, 3}}, {{1, 2, 5}, {1, 2, 5}}),
       "it has 2 basis functions, the first file 1"},
      {"other spacing", gsv(2, 2, {{1, 2, 3}}, {{1, 2, 5}}, 0.1001f), "r of row 1 is 0.1001"},
      {"r out of step", "3 1\n2 2\n0.1 1 1\n0.2 1 1\n0.4 1 1\n", "line 5: r of row 3 must be 3 x 0.1"},
      {"not a number", "3 1\n2 2\n0.1 1 1\n0.2 x 1\n0.3 1 1\n", "line 4: expected value 2 of row 2"},
      {"infinite value", "3 1\n2 2\n0.1 1 1\n0.2 1 inf\n0.3 1 1\n",
       "line 4: value 3 of row 2 must be a finite number, found \"inf\""},
      {"not a number value", "3 1\n2 2\n0.1 1 1\n0.2 nan 1\n0.3 1 1\n",
       "line 4: value 2 of row 2 must be a finite number, found \"nan\""},
      {"ends early", "3 1\n2 2\n0.1 1 1\n0.2 1 1\n", "line 5: expected first value of row 3"},
      {"too many basis functions", "3 7\n2 2\n", "line 1: number of basis functions must be 1 to 6"},
      {"negative sum of squares", "3 1\n2 2\n0.1 1 1\n0.2 1 -1\n0.3 1 1\n", "row 2: a sum of squares"},
      {"lines after the last row", good + "0.4 1 1\n", "line 6: expected the end of the file"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir.file("a.gsv"), good);
    write_file(dir.file("b.gsv"), c.other);
    write_file(dir.file("all.gsv"), "earlier\n");
    const CommandResult r = run_tools(dir, "merge a.gsv b.gsv -o all.gsv");
    EXPECT_EQ(r.status, 1) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find("b.gsv"), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_EQ(read_file(dir.file("all.gsv")), "earlier\n") << c.name;
  }
}

TEST(Errors, TableOfMeanSpreadAndStandardErrorWithAHeader) {
  TempDir dir;
  // Three sets per point: {1, 2, 3} at r = 0.1 (sd 1) and {2, 2, 2} at r = 0.2 (sd 0).
  write_file(dir.file("run.gsv"), gsv(3, 9, {{6, 6}, {0, 3}}, {{14, 12}, {0, 3}}));
  const CommandResult r = run_tools(dir, "errors run.gsv -o table.txt");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::string> lines = split_lines(read_file(dir.file("table.txt")));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find("3 saved sets"), std::string::npos);
  EXPECT_EQ(lines[1], "r mean_1 sd_1 se_1 mean_2 sd_2 se_2");
  std::vector<double> row;
  for (const std::string& line : {lines[2], lines[3]}) {
    std::istringstream in(line);
    double x;
    while (in >> x) row.push_back(x);
  }
  ASSERT_EQ(row.size(), 14u);
  const double expected[] = {0.1, 2, 1, 1 / std::sqrt(3.0), 0, 0, 0, 0.2, 2, 0, 0, 1, 0, 0};
  for (std::size_t i = 0; i < row.size(); ++i) EXPECT_NEAR(row[i], expected[i], 1e-6) << i;
  // --add-one shows g(r) when the stored values are g(r) - 1; printed on the console without -o.
  const CommandResult shifted = run_tools(dir, "errors --add-one run.gsv");
  ASSERT_EQ(shifted.status, 0);
  EXPECT_NE(shifted.output.find("\n0.1 3 1 "), std::string::npos) << shifted.output;
}

TEST(Errors, FewerThanTwoSetsSayWhyAndExitOne) {
  for (int n : {0, 1}) {
    TempDir dir;
    // Sums of n sets of the value 1 (none when n is 0).
    const auto x = static_cast<float>(n);
    write_file(dir.file("run.gsv"), gsv(n, n, {{x, x}}, {{x, x}}));
    const CommandResult r = run_tools(dir, "errors run.gsv -o table.txt --plot p.png");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("holds " + std::to_string(n) + " saved set"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("needs at least 2"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("table.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("p.png")));
  }
}

TEST(Errors, PicturesOfEveryKindAreWrittenWhole) {
  TempDir dir;
  write_file(dir.file("run.gsv"), gsv(3, 3, {{6, 6, 3}, {0, 3, 3}}, {{14, 12, 5}, {0, 3, 5}}));
  const std::pair<const char*, const char*> kinds[] = {{"p.png", "\x89PNG"}, {"p.svg", "<?xml"}, {"p.pdf", "%PDF"}};
  for (const auto& [name, magic] : kinds) {
    const CommandResult r = run_tools(dir, std::string("errors run.gsv -o t.txt --plot ") + name);
    ASSERT_EQ(r.status, 0) << name << r.output;
    EXPECT_EQ(read_file(dir.file(name)).rfind(magic, 0), 0u) << name;
  }
  // Only the pictures and the inputs are left: no temporary or numbered pages.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 5);
  const CommandResult bad = run_tools(dir, "errors run.gsv --plot p.gif");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find(".png, .svg or .pdf"), std::string::npos);
}

}  // namespace
}  // namespace yosta::testing
