// The run report against golden text rendered by gfortran from the same
// layout templates (tools/golden/report_oracle.f90 over golden/report_cases.txt).
#include "output/report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/free_writer.h"

namespace yosta {
namespace {

using testing::read_file;
using testing::split_lines;

// Reads the case file as the oracle does: each record starts on a new line,
// takes the values it needs and ignores the rest of that line.
class CaseReader {
 public:
  explicit CaseReader(const std::string& text) : lines_(split_lines(text)) {}

  std::string name() { return lines_.at(line_++); }
  void record() { tokens_ = std::istringstream(lines_.at(line_++)); }
  int i() {
    int v = 0;
    tokens_ >> v;
    return v;
  }
  float f() {
    std::string t;
    tokens_ >> t;
    return std::strtof(t.c_str(), nullptr);
  }
  bool l() {
    std::string t;
    tokens_ >> t;
    return t == "T";
  }

 private:
  std::vector<std::string> lines_;
  std::size_t line_ = 0;
  std::istringstream tokens_;
};

// A run holding exactly what the report prints, in the places set-up leaves it.
std::unique_ptr<Run> read_case(CaseReader& in) {
  auto run = make_run();
  RunParameters& p = run->params;
  in.record();
  p.nbasis = in.i();
  p.nsets = in.i();
  in.record();
  for (int n = in.i(), i = 0; i < n; ++i) {
    in.record();
    ZeroConstraint c;
    c.partial = in.i();
    c.r_from = in.f();
    c.r_to = in.f();
    p.zero.push_back(c);
  }
  for (int s = 1; s <= p.nsets; ++s) {
    in.record();
    for (int b = 1; b <= p.nbasis; ++b) run->model.sets[s].coef[b][1] = in.f();
  }
  in.record();
  p.density = in.f();
  in.record();
  run->model.q.nq = in.i();
  const float dq = in.f();
  for (int k = 1; k <= run->model.q.nq; ++k) run->model.q.Q[k] = static_cast<float>(k) * dq;
  for (int s = 1; s <= p.nsets; ++s) {
    in.record();
    DataSetSettings& d = run->model.sets[s].settings;
    d.q_first = in.i();
    d.q_last = in.i();
    d.sigma = in.f();
    d.renormalise = in.l();
    d.rezero = in.l();
    d.linear_correction = in.l();
    d.quadratic_correction = in.l();
    d.res_u = in.f();
    d.res_v = in.f();
    d.res_w = in.f();
    d.target_chi2 = in.f();
    p.sets[static_cast<std::size_t>(s - 1)] = d;
  }
  in.record();
  run->model.r.nr = in.i();
  run->model.r.dr = in.f();
  p.max_change = in.f();
  p.improved_only = in.l();
  in.record();
  for (int n = in.i(), i = 0; i < n; ++i) {
    in.record();
    PositivityConstraint c;
    c.partial = in.i();
    c.r_from = in.f();
    c.r_to = in.f();
    p.positivity.push_back(c);
  }
  in.record();
  for (int n = in.i(), i = 1; i <= n; ++i) {
    in.record();
    CoordinationConstraint c;
    c.partial = in.i();
    c.coordination = in.f();
    c.r_from = in.f();
    c.r_to = in.f();
    c.weighting = in.f();
    run->model.Nc[i] = in.f();
    p.coordination.push_back(c);
  }
  in.record();
  p.resolution_on = in.l();
  p.save_targets = in.l();
  p.nsave = in.i();
  in.record();
  p.smoothing_on = in.l();
  p.smoothing_type = in.i();
  p.smoothing_weight = in.f();
  p.smoothing_exponent = in.f();
  p.smoothing_cutoff = in.f();
  p.gaussian_moves = p.smoothing_on && p.smoothing_type == 3;
  in.record();
  p.nranges = in.i();
  for (int i = 1; i <= p.nranges; ++i) {
    in.record();
    p.ranges[static_cast<std::size_t>(i - 1)].rch = in.f();
    run->model.gauss.sigma[i] = in.f();
    run->model.gauss.ngauss[i] = in.i();
  }
  return run;
}

std::string report_of(const Run& run) {
  std::ostringstream out;
  std::istringstream in;
  Console console(out, in);
  write_report(run, console);
  return out.str();
}

std::string golden_dir() { return testing::test_dir() + "/output/golden/"; }

struct Case {
  std::string name;
  std::unique_ptr<Run> run;
};

std::vector<Case> all_cases() {
  CaseReader in(read_file(golden_dir() + "report_cases.txt"));
  std::vector<Case> cases;
  for (std::string name = in.name(); name != "END"; name = in.name()) {
    cases.push_back({name, read_case(in)});
  }
  return cases;
}

TEST(Report, MatchesGfortranRenderingLineByLine) {
  const std::vector<Case> cases = all_cases();
  ASSERT_EQ(cases.size(), 5u);
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + c.name);
    std::vector<std::string> expected;
    for (const std::string& line : split_lines(read_file(golden_dir() + "report_" + c.name + ".txt"))) {
      expected.push_back(line);
    }
    const std::string text = report_of(*c.run);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> actual = split_lines(text);
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
      const std::string want = i < expected.size() ? expected[i] : "<no line>";
      const std::string got = i < actual.size() ? actual[i] : "<no line>";
      EXPECT_EQ(got, want) << "line " << i + 1;
    }
  }
}

TEST(Report, GaussianBlockHasOnePairPerRangeAndNoSmoothingLine) {
  for (const Case& c : all_cases()) {
    if (c.name != "four_sets_gaussian") continue;
    const std::vector<std::string> lines = split_lines(report_of(*c.run));
    int up_to = 0, points = 0;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.find("Smoothing weight"), std::string::npos);
      if (line.rfind(" Up to ", 0) == 0) ++up_to;
      if (line.rfind("   (with ", 0) == 0) ++points;
    }
    EXPECT_EQ(up_to, 3);
    EXPECT_EQ(points, 3);
    // ngauss 5 spreads a bump over 11 points.
    EXPECT_NE(report_of(*c.run).find("   (with  11  points in a Gaussian)"), std::string::npos);
    // The progress heading follows the two empty lines that close the block.
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 1], "  beta         a0        a1        a2     Chi-squared");
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines[lines.size() - 3], "");
    EXPECT_EQ(lines[lines.size() - 4], "");
  }
}

}  // namespace
}  // namespace yosta
