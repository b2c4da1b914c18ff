// The way from measured files to a fit: the three water contrasts imported
// from their reduction files, their weights computed, and the fit run on them
// with the parameter file of tests/system/realdata/water_3sets.dat. Skips without the
// measured data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// The position of the largest value of column `col` of root.g (g - 1) for r in
// [lo, hi], after a running mean over +-half points.
double peak(const std::vector<std::vector<double>>& g, std::size_t col, double lo, double hi, int half) {
  double best_r = 0.0, best = -1e30;
  const int n = static_cast<int>(g.size());
  for (int j = 0; j < n; ++j) {
    if (g[j][0] < lo || g[j][0] > hi) continue;
    double s = 0.0;
    int m = 0;
    for (int i = std::max(0, j - half); i <= std::min(n - 1, j + half); ++i, ++m) s += g[i][col];
    if (s / m > best) {
      best = s / m;
      best_r = g[j][0];
    }
  }
  return best_r;
}

TEST(ToolsChain, WaterFromReductionFilesToBondsAndFirstShell) {
  const std::string data = realdata_folder();
  if (data.empty()) GTEST_SKIP() << "measured data not found (set YOSTA_REALDATA)";
  TempDir dir;
  const char* sets[][3] = {{"SLS18498-H2O", "H2O", "H2O"},
                           {"SLS18502-D2O", "D2O", "D2O:H:D=1"},
                           {"SLS18500-HDO5050", "HDO", "HDO:H:D=0.5,H=0.5"}};
  std::vector<std::string> records;
  for (const auto& s : sets) {
    const CommandResult imported =
        run_tools(dir, std::string("import '") + data + "/water/neutron/" + s[0] + ".mint01' -o " + s[1] + ".dat");
    ASSERT_EQ(imported.status, 0) << imported.output;
    const CommandResult w =
        run_tools(dir, std::string("weights neutron --composition \"O:1 H:2\" --paste --contrast \"") + s[2] + "\"");
    ASSERT_EQ(w.status, 0) << w.output;
    ASSERT_EQ(numbers(w.output).size(), 3u) << w.output;
    records.push_back(last_line(w.output));
  }

  // The parameter file of the measured-data fit, on these files and weights.
  std::string param;
  std::size_t set = 0;
  int after_name = 0;  // records since the last data file name; 0: none pending
  for (const std::string& line : split_lines(read_file(test_dir() + "/system/realdata/water_3sets.dat"))) {
    if (line.find("realdata/water/yosta/") != std::string::npos) {
      param += std::string(sets[set][1]) + ".dat\n";
      after_name = 1;
      continue;
    }
    // The coefficient record is the third record after the file name.
    if (after_name > 0 && ++after_name == 4) {
      param += records.at(set) + "\n";
      after_name = 0;
      ++set;
      continue;
    }
    param += line + "\n";
  }
  ASSERT_EQ(set, 3u) << param;
  write_file(dir.file("water.dat"), param);

  const long moves = slow_build ? 150000 : 3000000;
  const CommandResult run = run_yosta(dir, "--seed 12345 --max-moves " + std::to_string(moves) + " water.dat");
  ASSERT_EQ(run.status, 10) << run.output;
  const auto g = data_rows(dir.file("water_3sets.g"));
  ASSERT_GT(g.size(), 100u);
  if (slow_build) GTEST_SKIP() << "the bond checks need an optimised build";
  // Columns: r, O-O, O-H, H-H.
  EXPECT_NEAR(peak(g, 2, 0.80, 1.20, 0), 0.97, 0.04) << "O-H bond";
  EXPECT_NEAR(peak(g, 3, 1.30, 1.90, 2), 1.55, 0.06) << "intramolecular H-H";
  EXPECT_NEAR(peak(g, 1, 2.40, 3.20, 0), 2.80, 0.08) << "first O-O peak";
}

}  // namespace
}  // namespace yosta::testing
