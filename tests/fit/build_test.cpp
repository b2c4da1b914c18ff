// Building a run from a parameter file: two runs built one after the other
// in one process walk the same way (nothing of the first is inherited); each
// stage stops where it says; the data-set settings adjusted to the files are
// those the model uses; bad input stops with a message instead of ending the
// process.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "base/stop.h"
#include "support/bench_cases.h"
#include "fit/build.h"
#include "fit/cycle.h"
#include "support/test_support.h"

namespace yosta {
namespace {

struct Quiet {
  std::ostringstream out;
  std::istringstream in;
  Console console{out, in};
};

// A small case with a single data set, its fitted range as given.
std::string write_small_case(const testing::TempDir& dir, const std::string& range = "") {
  std::string param = bench::write_case(bench::small_case, dir.path());
  if (range.empty()) return param;
  std::string text = testing::read_file(param);
  const std::string given = "\n1 " + std::to_string(bench::small_case.nq) + "\n";
  const std::size_t at = text.find(given);
  if (at == std::string::npos) return "";
  text.replace(at, given.size(), "\n" + range + "\n");
  testing::write_file(param, text);
  return param;
}

TEST(BuildRun, SecondRunInOneProcessWalksAsTheFirst) {
  testing::TempDir dir;
  const std::string param = write_small_case(dir);
  Quiet q;
  float first_cost = 0.0f;
  std::int32_t first_accepted = 0;
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<yosta::Run> run = build_run(param, BuildOptions{.seed = 321}, q.console);
    ASSERT_TRUE(rspace_in_use(*run));
    for (int i = 0; i < 3000; ++i) one_move(*run, q.console);
    if (round == 0) {
      first_cost = run->control.E_cur;
      first_accepted = run->control.accepted;
      ASSERT_GT(first_accepted, 100);
    } else {
      EXPECT_EQ(run->control.E_cur, first_cost);
      EXPECT_EQ(run->control.accepted, first_accepted);
    }
  }
  // Another seed walks another way.
  std::unique_ptr<yosta::Run> other = build_run(param, BuildOptions{.seed = 322}, q.console);
  for (int i = 0; i < 3000; ++i) one_move(*other, q.console);
  EXPECT_NE(other->control.E_cur, first_cost);
}

TEST(BuildRun, StagesStopWhereTheySay) {
  testing::TempDir dir;
  const std::string param = write_small_case(dir);
  Quiet q;
  struct Case {
    BuildStage stage;
    bool grid, corrected, ready;
  };
  for (const Case c : {Case{BuildStage::data, false, false, false}, Case{BuildStage::corrected, true, true, false},
                       Case{BuildStage::ready, true, true, true}}) {
    BuildOptions options;
    options.stage = c.stage;
    options.evaluation = EvaluationPath::q_space;
    std::unique_ptr<yosta::Run> run = build_run(param, options, q.console);
    const DataSet& set = run->model.sets[1];
    EXPECT_EQ(run->model.q.nq, bench::small_case.nq);
    EXPECT_EQ(run->model.r.nr > 0, c.grid);
    // The corrections leave 1/variance on the fitted points.
    EXPECT_EQ(set.inv_var[1] > 0.0, c.corrected);
    EXPECT_EQ(!std::holds_alternative<std::monostate>(run->kept.evaluator), c.ready);
    EXPECT_EQ(run->schedule.next_save_time > 0.0f, c.ready);
    if (c.ready) {
      EXPECT_FALSE(rspace_in_use(*run));  // the path asked for
      EXPECT_NO_THROW(one_move(*run, q.console));
    } else {
      EXPECT_THROW(one_move(*run, q.console), std::logic_error);
    }
  }
}

// A fitted range past the file's last point ends at it: the model's settings
// say so at every stage, and the fit covers exactly the file's points.
TEST(BuildRun, FittedRangeIsAdjustedToTheFileOnce) {
  testing::TempDir dir;
  const std::string param = write_small_case(dir, "5 99999");
  ASSERT_FALSE(param.empty());
  Quiet q;
  for (const BuildStage stage : {BuildStage::data, BuildStage::ready}) {
    BuildOptions options;
    options.stage = stage;
    std::unique_ptr<yosta::Run> run = build_run(param, options, q.console);
    const DataSetSettings& s = run->model.sets[1].settings;
    EXPECT_EQ(s.q_first, 5);
    EXPECT_EQ(s.q_last, bench::small_case.nq);
    EXPECT_EQ(run->params.sets[0].q_last, 99999);  // the parameters stay as read
    if (stage == BuildStage::ready) {
      EXPECT_EQ(run->model.sets[1].N, static_cast<float>(bench::small_case.nq - 4));
    }
  }
}

TEST(BuildRun, BadInputStopsWithItsMessage) {
  testing::TempDir dir;
  Quiet q;
  struct Case {
    const char* name;
    std::string range;  // fitted range written into the parameter file ("" for none)
    bool remove_data;   // the data file is missing
    const char* says;   // part of the first message line
  };
  for (const Case& c : {Case{"missing parameter file", "", false, "nothing_here"},
                        Case{"range outside the file", "400 500", false, "do not lie within"},
                        Case{"missing data file", "", true, "small_set1"}}) {
    std::string param =
        c.name == std::string("missing parameter file") ? dir.file("nothing_here.dat") : write_small_case(dir, c.range);
    if (c.remove_data) std::remove(dir.file("small_set1.dat").c_str());
    try {
      (void)build_run(param, BuildOptions{}, q.console);
      ADD_FAILURE() << c.name << ": no stop";
    } catch (const Stop& stop) {
      EXPECT_NE(std::string(stop.what()).find(c.says), std::string::npos) << c.name << ": " << stop.what();
    }
  }
}

}  // namespace
}  // namespace yosta
