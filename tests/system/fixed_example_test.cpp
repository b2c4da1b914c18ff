// The fixed-weight example of examples/: a whole run on a copy, checked
// against the known partials of the example's liquid.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// The banner names the platform; the summary after the final save gives each
// set's chi-squared per point of the saved model (recomputed here from the
// curves of the .out file: (model - corrected data)^2 / 0.003^2), the
// coordination number and the files.
void check_summary(const std::string& output, const std::string& out_file) {
  const std::vector<std::string> lines = split_lines(output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind(" yosta 3.0 on ", 0), 0u) << lines[1];
  const auto at = output.find("\n Run summary\n");
  ASSERT_NE(at, std::string::npos) << output;
  EXPECT_LT(output.rfind("Saving completed"), at) << "the summary follows the final save";
  const std::vector<std::string> curves = split_lines(out_file);
  std::size_t i = 0;
  for (int s = 1; s <= 3; ++s) {
    while (i < curves.size() && curves[i] != "CURVES") ++i;
    ASSERT_LT(i + 1, curves.size());
    const int n = static_cast<int>(numbers(curves[i + 1]).at(0));
    double chi2 = 0.0;
    for (int k = 0; k < n; ++k) {
      const std::vector<double> v = numbers(curves[i + 2 + k]);
      chi2 += (v[1] - v[2]) * (v[1] - v[2]) / (0.003 * 0.003);
    }
    i += 2;
    const std::string label =
        " Data set " + std::to_string(s) + " (fixed_F" + std::to_string(s) + ".dat): chi-squared per point ";
    const auto line = output.find(label, at);
    ASSERT_NE(line, std::string::npos) << output.substr(at);
    const double printed = numbers(output.substr(line + label.size(), 12)).at(0);
    EXPECT_NEAR(printed, chi2 / n, 2e-3 * chi2 / n) << label;
  }
  EXPECT_NE(output.find(" Coordination constraint 1 (partial 2, 2.65 to 5.15 A): ", at), std::string::npos);
  EXPECT_NE(output.find(" Results written: binary_fixed.g binary_fixed.out\n", at), std::string::npos);
}

TEST(FixedWeightExample, RunsAndFindsTheKnownPartials) {
  TempDir dir;
  const std::string examples = std::string(YOSTA_SOURCE_DIR) + "/examples/";
  for (const char* name : {"binary_fixed.dat", "fixed_F1.dat", "fixed_F2.dat", "fixed_F3.dat"}) {
    write_file(dir.file(name), read_file(examples + name));
  }
  const long moves = slow_build ? 40000 : 1700000;
  const CommandResult run = run_yosta(dir, "--seed 12345 --max-moves " + std::to_string(moves) + " binary_fixed.dat");
  ASSERT_EQ(run.status, 10) << run.output;
  EXPECT_NE(run.output.find("Saving completed"), std::string::npos) << run.output;
  // The report shows the weights of the parameter file and the per-point errors.
  EXPECT_NE(run.output.find("     Total  2        0.0306     -0.1225      0.1225"), std::string::npos) << run.output;
  const auto g = data_rows(dir.file("binary_fixed.g"));
  ASSERT_EQ(g.size(), 96u);
  check_summary(run.output, read_file(dir.file("binary_fixed.out")));
  if (slow_build) GTEST_SKIP() << "the comparison with the known partials needs an optimised build";

  // The last progress block: chi-squared per point of every set near 1.
  const std::vector<std::string> lines = split_lines(run.output);
  std::size_t at = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(" Accepted:") == 0) at = i;
  }
  ASSERT_LT(at + 3, lines.size());
  for (std::size_t s = 1; s <= 3; ++s) {
    const std::vector<double> v = numbers(lines[at + s]);
    ASSERT_GE(v.size(), 5u) << lines[at + s];
    EXPECT_LT(v[4], 1.5) << "chi-squared per point of set " << s;
  }

  // g_AB and g_BB (the best-determined partials) within 0.1 of the truth
  // on average over 3 to 12 A.
  const auto truth = data_rows(examples + "binary_true_gr.txt");
  for (std::size_t p : {2u, 3u}) {
    double sum = 0.0;
    int n = 0;
    for (const auto& row : g) {
      if (row[0] < 3.0 || row[0] > 12.0) continue;
      const std::size_t t = static_cast<std::size_t>(std::lround(row[0] / 0.02)) - 1;
      ASSERT_LT(t, truth.size());
      sum += std::fabs(row[p] + 1.0 - truth[t][p]);
      ++n;
    }
    EXPECT_LT(sum / n, 0.1) << "partial " << p;
    std::printf("    mean |g - g_true| of partial %zu over 3-12 A: %.3f\n", p, sum / n);
  }
}

}  // namespace
}  // namespace yosta::testing
