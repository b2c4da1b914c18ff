// The documents against the program: the worked chain of the user guide run exactly as
// written on the measured water data, the parameter files the documents show against
// the files in examples/, and every repository path the documents cite.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

const std::string source = YOSTA_SOURCE_DIR;

// The documents a user reads.
std::vector<std::string> documents() {
  std::vector<std::string> d{"README.md", "examples/README.md", "tools/example/README.md"};
  for (const auto& e : fs::directory_iterator(source + "/docs"))
    if (e.path().extension() == ".md") d.push_back("docs/" + e.path().filename().string());
  return d;
}

// The fenced block after the line `marker` in `text` (empty when there is none).
std::string fenced_block_after(const std::string& text, const std::string& marker) {
  const std::size_t at = text.find(marker + "\n");
  if (at == std::string::npos) return "";
  const std::size_t open = text.find("```", at);
  const std::size_t body = text.find('\n', open) + 1;
  const std::size_t close = text.find("\n```", body);
  if (open == std::string::npos || close == std::string::npos) return "";
  return text.substr(body, close + 1 - body);
}

// The lines of `text` up to the first blank line, each with four leading blanks
// removed: an indented block.
std::string indented_block(const std::string& text, std::size_t from) {
  std::string out;
  for (std::size_t at = from; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.empty()) break;
    out += (line.rfind("    ", 0) == 0 ? line.substr(4) : line) + "\n";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

// A scratch copy of the repository's top as the chain sees it: the programs of this
// build in build/, the examples and scripts of the sources, and the measured data in
// ../shared/realdata beside it.
struct ChainTree {
  TempDir dir;
  std::string top = dir.file("repo");
  explicit ChainTree(const std::string& data) {
    fs::create_directories(top);
    fs::create_directories(dir.file("shared"));
    fs::create_directory_symlink(fs::path(yosta_binary()).parent_path(), top + "/build");
    fs::create_directory_symlink(source + "/examples", top + "/examples");
    fs::create_directory_symlink(source + "/tools", top + "/tools");
    fs::create_directory_symlink(fs::absolute(data), dir.file("shared/realdata"));
  }
};

// The chi-squared per point of each data set in a run summary, in order.
std::vector<double> summary_chi2(const std::string& output, const std::string& after) {
  std::vector<double> chi2;
  const std::size_t from = output.find(after);
  const std::regex row(R"(Data set \d \([A-Za-z0-9]+\.dat\): chi-squared per point ([0-9.eE+-]+))");
  const std::string rest = from == std::string::npos ? "" : output.substr(from);
  const std::size_t end = rest.find("Results written");
  const std::string part = rest.substr(0, end);
  for (auto m = std::sregex_iterator(part.begin(), part.end(), row); m != std::sregex_iterator(); ++m)
    chi2.push_back(std::stod((*m)[1]));
  return chi2;
}

TEST(Documents, WorkedChainRunsAsWritten) {
  const std::string guide = read_file(source + "/docs/guide.md");
  const std::string chain = fenced_block_after(guide, "<!-- worked-chain -->");
  ASSERT_FALSE(chain.empty()) << "docs/guide.md has no block after <!-- worked-chain -->";
  // The README points to it.
  EXPECT_NE(read_file(source + "/README.md").find("docs/guide.md#10-worked-example-measured-water"), std::string::npos);
  const std::string data = realdata_folder();
  if (data.empty() || !fs::exists(data + "/water/neutron")) GTEST_SKIP() << "no measured data at " << realdata_dir();
  if (slow_build) GTEST_SKIP() << "the chain's six walks of 3 million moves are for optimised builds";

  ChainTree tree(data);
  // The block runs as it stands; a trap reports every command that fails, with its
  // status (yosta ends a walk cut by --max-moves with 10, which is not a failure).
  write_file(tree.dir.file("chain.sh"), "trap 'echo \"FAILED($?): $BASH_COMMAND\"' ERR\n" + chain);
  const CommandResult r = run_command("bash " + tree.dir.file("chain.sh") + " 2>&1", tree.top);
  SCOPED_TRACE(r.output);
  const std::regex failed(R"(FAILED\((\d+)\): (.*))");
  for (auto m = std::sregex_iterator(r.output.begin(), r.output.end(), failed); m != std::sregex_iterator(); ++m) {
    const bool walk_cut = (*m)[1] == "10" && std::string((*m)[2]).find("/yosta --seed") != std::string::npos;
    EXPECT_TRUE(walk_cut) << (*m)[0];
  }
  EXPECT_EQ(r.output.find("command not found"), std::string::npos);
  EXPECT_EQ(r.output.find("No such file"), std::string::npos);

  const std::string run = tree.top + "/run/water/";
  for (const char* f : {"H2O.dat", "water_first.out", "water_3sets.g", "water_3sets_fit.png", "ens/water_3sets.g",
                        "ens/water_3sets_errors.png", "water_errors.png", "water_errors.txt"})
    EXPECT_TRUE(fs::exists(run + f)) << f;
  EXPECT_NE(r.output.find("No findings"), std::string::npos);

  // What the guide says of the first fit: chi-squared per point far above 1 with the
  // file errors (about 16, 30 and 89).
  const std::vector<double> first = summary_chi2(r.output, "Moves generated 3000000");
  ASSERT_EQ(first.size(), 3u);
  EXPECT_GT(first[0], 8.0);
  EXPECT_GT(first[1], 15.0);
  EXPECT_GT(first[2], 45.0);
  // The sigmas the refit's parameter file carries are the misfit of the first fit.
  const std::regex sigma(R"(sigma for chi-squared 1 per point: ([0-9.]+) ([0-9.]+) ([0-9.]+))");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m, sigma));
  const double carried[] = {0.005, 0.0012, 0.0065};
  for (int s = 0; s < 3; ++s) EXPECT_NEAR(std::stod(m[s + 1]), carried[s], 0.25 * carried[s]) << "set " << s + 1;
  // The refit ends near chi-squared 1 per point.
  const std::size_t refit = r.output.find("Results written: water_3sets.g");
  ASSERT_NE(refit, std::string::npos);
  const std::vector<double> second = summary_chi2(r.output.substr(r.output.rfind("Run summary", refit)), "Run summary");
  ASSERT_EQ(second.size(), 3u);
  for (double c : second) EXPECT_LT(c, 2.0);
  // The comparison with the published partials: the overall figure of the mean.
  const std::regex compared(R"(\| water_3sets\.g \| ([0-9.]+) \| ([0-9.]+) \| ([0-9.]+) \| ([0-9.]+) \|)");
  ASSERT_TRUE(std::regex_search(r.output, m, compared));
  EXPECT_LT(std::stod(m[4]), 0.17);
}

// Every parameter file a document shows is marked with the example file it is, and is
// that file exactly; a parameter file shown without the mark is an error.
TEST(Documents, ShownParameterFilesAreTheExamples) {
  int shown = 0;
  for (const std::string& doc : documents()) {
    const std::string text = read_file(source + "/" + doc);
    const std::string mark = "<!-- file: ";
    std::size_t marked_blocks = 0;
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
      const std::size_t end = text.find(" -->", at);
      const std::string name = text.substr(at + mark.size(), end - at - mark.size());
      const std::size_t body = text.find('\n', end) + 1;
      SCOPED_TRACE(doc + " shows " + name);
      ASSERT_TRUE(fs::exists(source + "/" + name));
      EXPECT_EQ(indented_block(text, body), read_file(source + "/" + name));
      ++marked_blocks;
      ++shown;
    }
    // A parameter file's second record is start_from_file; every block that has one
    // must be a marked one.
    std::size_t unmarked = 0;
    for (std::size_t at = text.find("start_from_file\n"); at != std::string::npos;
         at = text.find("start_from_file\n", at + 1))
      ++unmarked;
    EXPECT_EQ(unmarked, marked_blocks) << doc << " shows a parameter file without <!-- file: examples/... -->";
  }
  EXPECT_GE(shown, 1);
}

// Every path into the repository that a document cites (src/, tests/, tools/,
// examples/, docs/, bench/, cmake/, fuzz/) exists; a path ending in * names a prefix.
TEST(Documents, CitedRepositoryPathsExist) {
  const std::regex path(
      R"((^|[^A-Za-z0-9_./-])((src|tests|tools|examples|docs|bench|cmake|fuzz)/[A-Za-z0-9_./-]*[A-Za-z0-9_])(\*?))");
  int cited = 0;
  for (const std::string& doc : documents()) {
    const std::string text = read_file(source + "/" + doc);
    for (auto m = std::sregex_iterator(text.begin(), text.end(), path); m != std::sregex_iterator(); ++m) {
      const std::string p = (*m)[2];
      ++cited;
      if ((*m)[4] == "*") {
        const fs::path prefix = source + "/" + p;
        bool any = false;
        if (fs::is_directory(prefix.parent_path()))
          for (const auto& e : fs::directory_iterator(prefix.parent_path()))
            any = any || e.path().string().rfind(prefix.string(), 0) == 0;
        EXPECT_TRUE(any) << doc << " cites " << p << "*";
      } else {
        EXPECT_TRUE(fs::exists(source + "/" + p)) << doc << " cites " << p;
      }
    }
  }
  EXPECT_GT(cited, 20);
}

}  // namespace
}  // namespace yosta::testing
