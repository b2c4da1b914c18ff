// Ensembles: member seeds and the members' inputs (whole ensembles are run by
// the integration and system tests).
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

}  // namespace
}  // namespace yosta::testing
