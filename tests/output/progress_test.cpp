// Progress lines after an accepted move.
#include "output/progress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_builder.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using testing::split_lines;

std::unique_ptr<Run> progress_run(int nsets, int ncoord = 0) {
  auto run = testing::RunBuilder().basis(2).r_grid(100, 0.0f).build();
  RunParameters& p = run->params;
  p.nsets = nsets;
  run->control.accepted = 7;
  run->control.generated = 12;
  run->model.S = 6.25f;  // per basis value: 6.25 / 200
  run->model.N_total = 400.0f;
  run->model.P = 0.5f;
  for (int s = 1; s <= nsets; ++s) {
    DataSet& set = run->model.sets[s];
    set.beta = 1.0f;
    set.a0 = -0.0125f;
    set.a1 = 0.0f;
    set.a2 = 1.5e-5f;
    set.N = 100.0f;
    set.chi2 = 250.0f;
  }
  for (int c = 1; c <= ncoord; ++c) {
    CoordinationConstraint constraint;
    constraint.coordination = 4.0f * static_cast<float>(c);
    p.coordination.push_back(constraint);
    run->model.Nc[c] = 3.5f * static_cast<float>(c);
  }
  return run;
}

std::vector<std::string> progress_lines(const Run& run, float E) {
  std::ostringstream out;
  std::istringstream in;
  Console console(out, in);
  write_progress(run, console, E);
  return split_lines(out.str());
}

std::vector<std::string> tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

// The values of every set as gfortran writes them with G10.4.
const std::string five_fields = "  1.000     -.1250E-01  0.000     0.1500E-04  2.500    ";

TEST(Progress, OneDataSetGivesOneSevenFieldLine) {
  const auto run = progress_run(1);
  const std::vector<std::string> lines = progress_lines(*run, 49380.0f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(" Accepted: ", 0), 0u);
  EXPECT_EQ(tokens(lines[0]), (std::vector<std::string>{"Accepted:", "7", "Generated:", "12"}));
  // S / (nr nbasis) = 0.03125 and E / N_total = 123.45 (123.449997 in single
  // precision); rendered by gfortran.
  EXPECT_EQ(lines[1], five_fields + " 0.3125E-01  123.4    ");
}

TEST(Progress, SeveralDataSetsGiveFiveFieldLinesThenOneSevenFieldLine) {
  for (int nsets : {2, 4}) {
    SCOPED_TRACE(nsets);
    const auto run = progress_run(nsets);
    const std::vector<std::string> lines = progress_lines(*run, 49380.0f);
    ASSERT_EQ(lines.size(), 1u + static_cast<std::size_t>(nsets));
    for (int s = 1; s < nsets; ++s) EXPECT_EQ(lines[s], five_fields);
    EXPECT_EQ(lines[nsets].size(), 77u);
    EXPECT_EQ(lines[nsets].substr(0, 55), five_fields);
  }
}

TEST(Progress, EachSetShowsItsOwnReducedChiSquared) {
  const auto run = progress_run(2);
  run->model.sets[2].chi2 = 50.0f;
  run->model.sets[2].N = 200.0f;
  const std::vector<std::string> lines = progress_lines(*run, 0.0f);
  EXPECT_EQ(lines[1].substr(44, 11), "  2.500    ");
  EXPECT_EQ(lines[2].substr(44, 11), " 0.2500    ");
}

TEST(Progress, OneLinePerCoordinationConstraintWithTheSamePenalty) {
  const auto run = progress_run(1, 3);
  const std::vector<std::string> lines = progress_lines(*run, 1.0f);
  ASSERT_EQ(lines.size(), 5u);
  for (int c = 1; c <= 3; ++c) {
    const std::vector<std::string> t = tokens(lines[static_cast<std::size_t>(c + 1)]);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], std::to_string(c));
    EXPECT_EQ(std::stof(t[1]), 3.5f * static_cast<float>(c));
    EXPECT_EQ(std::stof(t[2]), 4.0f * static_cast<float>(c));
    EXPECT_EQ(std::stof(t[3]), 0.5f);
  }
}

}  // namespace
}  // namespace yosta
