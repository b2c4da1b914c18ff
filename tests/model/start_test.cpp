// The starting g(r): default start, a ".g" file written by hand, the ".gsv"
// sums, and the guards on their point counts.
#include "model/start.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model_fixture.h"
#include "support/run_builder.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using model_test::first_line;
using model_test::u;
using testing::TempDir;
using testing::write_file;

class StartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run = testing::RunBuilder().basis(2).density(0.05f).r_grid(30, 0.1f).floor(-1.0f).root(dir.file("fit")).build();
  }
  void start() { prepare_start(run->params, run->model, counts, run->sums, console); }

  TempDir dir;
  std::unique_ptr<yosta::Run> run;
  MoveCounts counts;
  std::ostringstream out;
  std::istringstream in;
  Console console{out, in};
};

TEST_F(StartTest, DefaultStartWithConstraints) {
  counts.generated = 5;
  run->model.v[1][3] = 2.0f;
  run->params.zero.push_back({1, 0.2f, 0.5f});  // r = 0.2 and 0.5 included
  run->params.positivity.push_back({2, 0.1f, 3.0f});
  run->params.coordination.push_back({2, 0.1f, 1.0f, 1.0f, 1.0f, 4.0f, 1.0f});
  start();
  EXPECT_EQ(counts.generated, 0);
  EXPECT_EQ(run->model.v[1][1], 0.0f);
  EXPECT_EQ(run->model.v[1][2], -1.0f);
  EXPECT_EQ(run->model.v[1][3], -1.0f);
  EXPECT_EQ(run->model.v[1][5], -1.0f);
  EXPECT_EQ(run->model.v[1][6], 0.0f);
  EXPECT_EQ(run->model.v[2][4], 0.0f);
  EXPECT_GT(run->model.Nc[1], 0.0f);  // g = 1 over 0.1..1.0: a positive coordination number
  EXPECT_TRUE(out.str().empty());
}

TEST_F(StartTest, StartFileRestoresValuesGridAndCounters) {
  run->params.start_from_file = true;
  write_file(dir.file("fit.g"), "4\n1234 567\n0.125 0.5 -1\n0.25 0.75 -0.5\n0.375, 1e-3 2\n0.5 -1 0\n");
  start();
  EXPECT_EQ(run->model.r.nr, 4);
  EXPECT_EQ(run->model.r.dr, 0.125f);
  EXPECT_EQ(counts.generated, 1234);
  EXPECT_EQ(counts.accepted, 567);
  EXPECT_EQ(run->model.v[1][2], 0.75f);
  EXPECT_EQ(run->model.v[2][3], 2.0f);
  EXPECT_EQ(run->model.v[1][4], -1.0f);
  EXPECT_EQ(out.str(), " Warning: start file " + dir.file("fit.g") +
                           " has r spacing 0.125, not the derived 0.1; using the start file's\n");

  // The same spacing as derived: no warning.
  out.str("");
  run->model.r.dr = 0.125f;
  start();
  EXPECT_TRUE(out.str().empty());
}

TEST_F(StartTest, PointCountsBeyondTheTablesStop) {
  run->params.start_from_file = true;
  write_file(dir.file("fit.g"), "12001\n0 0\n");  // no rows: reading them would fail otherwise
  EXPECT_NE(first_line([&] { start(); }).find("number of r points must be 1 to 12000, found \"12001\""),
            std::string::npos);
  write_file(dir.file("fit.g"), "0\n0 0\n");
  EXPECT_NE(first_line([&] { start(); }).find("number of r points must be 1 to 12000, found \"0\""), std::string::npos);

  run->params.start_from_file = false;
  run->params.save_targets = true;
  write_file(dir.file("fit.gsv"), "12001 2\n0 0\n");
  EXPECT_NE(first_line([&] { start(); }).find("number of r points must be 1 to 12000, found \"12001\""),
            std::string::npos);
}

TEST_F(StartTest, SavedSumsAreTakenOverOrZero) {
  run->params.save_targets = true;
  run->sums.nsaved = 9;
  run->sums.S1[1][2] = 4.0f;
  start();
  EXPECT_EQ(run->sums.nsaved, 0);
  EXPECT_EQ(run->sums.S1[1][2], 0.0f);

  write_file(dir.file("fit.gsv"), "3 2 ignored\n2 17\n0.1 1 2 3 4\n0.2 5 6\n 70 80\n0.3 9 10 110 120\n");
  start();
  EXPECT_EQ(run->model.r.nr, 3);  // the sums file sets nr last
  EXPECT_EQ(run->sums.nsaved, 2);
  EXPECT_EQ(run->sums.collect_count, 17);
  EXPECT_EQ(run->sums.S1[2][1], 2.0f);
  EXPECT_EQ(run->sums.S2[1][1], 3.0f);
  EXPECT_EQ(run->sums.S2[2][2], 80.0f);
  EXPECT_EQ(run->sums.S1[1][3], 9.0f);
}

// Infinities and NaNs in either start file, and negative counts in the sums
// file, are refused with the file, line, item and value.
TEST_F(StartTest, NonFiniteValuesAndNegativeCountsAreRefused) {
  struct Case {
    const char* name;
    const char* file;  // "fit.g" or "fit.gsv"
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"first r NaN", "fit.g", "2\n0 0\nnan 1 1\n0.2 1 1\n", 3,
       "first value of row 1 must be a finite number, found \"nan\""},
      {"later r infinite", "fit.g", "2\n0 0\n0.1 1 1\ninf 1 1\n", 4,
       "first value of row 2 must be a finite number, found \"inf\""},
      {"g value NaN", "fit.g", "2\n0 0\n0.1 1 1\n0.2 1 NaN\n", 4,
       "value 3 of row 2 must be a finite number, found \"NaN\""},
      {"sum infinite", "fit.gsv", "2 2\n1 1\n0.1 1 1 1 1\n0.2 -Infinity 1 1 1\n", 4,
       "value 2 of row 2 must be a finite number, found \"-Infinity\""},
      {"square sum beyond single precision", "fit.gsv", "2 2\n1 1\n0.1 1 1 1 4e38\n0.2 1 1 1 1\n", 3,
       "value 5 of row 1 is beyond the single-precision range (at most about 3.4e38 in size), found \"4e38\""},
      {"negative saved sets", "fit.gsv", "2 2\n-1 1\n0.1 1 1 1 1\n0.2 1 1 1 1\n", 2,
       "number of saved sets must be 0 to 2147483647, found \"-1\""},
      {"negative collection count", "fit.gsv", "2 2\n1, -7\n0.1 1 1 1 1\n0.2 1 1 1 1\n", 2,
       "collection count must be 0 to 2147483647, found \"-7\""},
  };
  for (const Case& c : cases) {
    const bool g = std::string(c.file) == "fit.g";
    run->params.start_from_file = g;
    run->params.save_targets = !g;
    write_file(dir.file(c.file), c.text);
    run->sums.nsaved = 0;
    run->sums.collect_count = 0;
    EXPECT_EQ(first_line([&] { start(); }),
              "Error reading file \"" + dir.file(c.file) + "\", line " + std::to_string(c.line) + ": " + c.message)
        << c.name;
    // A refused count is not kept.
    EXPECT_GE(run->sums.nsaved, 0) << c.name;
    EXPECT_GE(run->sums.collect_count, 0) << c.name;
  }
}

}  // namespace
}  // namespace yosta
