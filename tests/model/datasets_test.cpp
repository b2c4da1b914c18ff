// Reading the data files: every column layout, the point-count checks, the
// sigma rules and the guards on degenerate files.
#include "model/datasets.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "model_fixture.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using model_test::first_line;
using model_test::u;
using testing::TempDir;
using testing::write_file;

// A data file with `rows` point records after the count and a heading.
std::string data_text(int nq, const std::vector<std::string>& rows) {
  std::string text = std::to_string(nq) + "   points\nQ  F(Q)  heading\n";
  for (const auto& row : rows) text += row + "\n";
  return text;
}

std::vector<std::string> simple_rows(int n, float q1 = 0.5f) {
  std::vector<std::string> rows;
  for (int k = 0; k < n; ++k) rows.push_back(std::to_string(q1 + 0.5f * static_cast<float>(k)) + " 1.5");
  return rows;
}

class DataSetsTest : public ::testing::Test {
 protected:
  // Run with nsets_fixed + nsets_qdep sets reading files name1, name2, ...
  std::unique_ptr<yosta::Run> make(int nsets_fixed, int nsets_qdep, int nbasis = 1) {
    auto run = make_run();
    RunParameters& p = run->params;
    p.nbasis = nbasis;
    p.nsets_fixed = nsets_fixed;
    p.nsets_qdep = nsets_qdep;
    p.nsets = nsets_fixed + nsets_qdep;
    for (int i = 0; i < p.nsets; ++i) {
      DataSetSettings& s = p.sets[u(i)];
      s.qdep = i >= nsets_fixed;
      s.data_file = dir.file("set" + std::to_string(i + 1));  // no point: ".dat" is added
      s.q_first = 1;
      s.q_last = 2000;
      s.sigma = 0.01f;
      for (int b = 0; b < nbasis; ++b) s.coefficients[u(b)] = 0.25f * static_cast<float>(b + 1);
    }
    return run;
  }
  void write(int set, const std::string& text) { write_file(dir.file("set" + std::to_string(set) + ".dat"), text); }

  TempDir dir;
};

TEST_F(DataSetsTest, FixedSetsReadEveryColumnLayout) {
  auto run = make(3, 0, 2);
  run->params.sets[0].sigma = 0.03f;   // Q, F
  run->params.sets[1].sigma = -0.02f;  // Q, F, error
  run->params.sets[2].sigma = -0.02f;  // Q, F, background
  run->params.sets[2].background_column = true;
  write(1, data_text(3, {"0.5 1.0", "1.0 2.0", "1.5 3.0"}));
  write(2, data_text(3, {"0.5 1.0 0.1", "1.0 2.0 0.2", "1.5 3.0 0.3"}));
  write(3, data_text(3, {"0.5 1.0 7", "1.0 2.0 8", "1.5 3.0 9"}));
  read_data_sets(run->params, run->model);

  const DataSet& a = run->model.sets[1];
  EXPECT_EQ(a.err[2], 0.03f);
  EXPECT_EQ(a.background[2], 0.0f);
  EXPECT_EQ(a.coef[1][3], 0.25f);
  EXPECT_EQ(a.coef[2][3], 0.5f);

  const DataSet& b = run->model.sets[2];
  EXPECT_EQ(b.err[1], 0.1f);
  EXPECT_EQ(b.err[3], 0.3f);
  EXPECT_EQ(b.settings.sigma, 0.02f);
  EXPECT_EQ(run->params.sets[1].sigma, -0.02f);  // the parameters stay as read

  // With a background column the error keeps sigma's sign; sigma itself not.
  const DataSet& c = run->model.sets[3];
  EXPECT_EQ(c.background[2], 8.0f);
  EXPECT_EQ(c.err[1], -0.02f);
  EXPECT_EQ(c.err[3], -0.02f);
  EXPECT_EQ(c.settings.sigma, 0.02f);
  EXPECT_EQ(c.F[3], 3.0f);
  EXPECT_EQ(run->model.q.nq, 3);
  EXPECT_EQ(c.settings.q_last, 3);  // lowered from 2000
  EXPECT_EQ(run->params.sets[2].q_last, 2000);
}

TEST_F(DataSetsTest, QdepSetReadsCoefficientsAndBackgroundOverSeveralLines) {
  auto run = make(0, 1, 3);
  run->params.sets[0].sigma = -0.05f;
  run->params.sets[0].background_column = true;
  run->params.sets[0].q_last = 1;
  write(1, data_text(2, {"0.5 1.0", " 0.1 0.2", "0.3, 4.0", "1.0 2.0 0.4 0.5 0.6 5.0"}));
  read_data_sets(run->params, run->model);
  const DataSet& s = run->model.sets[1];
  EXPECT_EQ(run->model.q.Q[2], 1.0f);
  EXPECT_EQ(s.coef[1][1], 0.1f);
  EXPECT_EQ(s.coef[3][1], 0.3f);
  EXPECT_EQ(s.background[1], 4.0f);
  EXPECT_EQ(s.coef[2][2], 0.5f);
  EXPECT_EQ(s.background[2], 5.0f);
  EXPECT_EQ(s.err[1], -0.05f);
  EXPECT_EQ(s.settings.sigma, -0.05f);  // a Q-dependent set keeps the sign
  EXPECT_EQ(s.settings.q_last, 1);      // below nq: unchanged
}

TEST_F(DataSetsTest, PointCountChecks) {
  {
    // 1101 points stops before any point is read (the file has none).
    auto run = make(1, 0);
    write(1, "1101\nheading\n");
    EXPECT_EQ(first_line([&] { read_data_sets(run->params, run->model); }), "Too many Q points");
    const auto lines = model_test::stop_lines([&] { read_data_sets(run->params, run->model); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("holds 1101 points; the limit is 1100"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("--rebin"), std::string::npos) << lines[1];
  }
  {
    auto run = make(2, 0);
    write(1, data_text(1100, simple_rows(1100)));
    write(2, data_text(1100, simple_rows(1100, 0.502f)));  // within 0.01 dq of the first file's points
    read_data_sets(run->params, run->model);
    EXPECT_EQ(run->model.q.nq, 1100);
    EXPECT_EQ(run->model.q.Q[1], 0.502f);  // the Q values of the last file read
  }
  {
    auto run = make(2, 0);
    write(1, data_text(5, simple_rows(5)));
    write(2, data_text(4, simple_rows(4)));
    const auto lines = model_test::stop_lines([&] { read_data_sets(run->params, run->model); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Incompatible Q points in data files");
    // Both files with their counts.
    EXPECT_NE(lines[1].find("(data set 2) holds 4 points"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("(data set 1) 5"), std::string::npos) << lines[1];
  }
}

TEST_F(DataSetsTest, DegenerateFilesAreRefused) {
  {
    auto run = make(1, 0);
    write(1, data_text(1, simple_rows(1)));
    const std::string line = first_line([&] { read_data_sets(run->params, run->model); });
    EXPECT_NE(line.find("set1.dat"), std::string::npos) << line;
    EXPECT_NE(line.find("at least 2"), std::string::npos) << line;
  }
  {
    auto run = make(1, 0);
    write(1, data_text(2, {"-1.0 1", "0.0 1"}));
    const std::string line = first_line([&] { read_data_sets(run->params, run->model); });
    EXPECT_NE(line.find("last Q value 0 is not positive"), std::string::npos) << line;
  }
  {
    auto run = make(1, 0);
    run->params.sets[0].q_first = 7;  // beyond the 5 points of the file
    write(1, data_text(5, simple_rows(5)));
    const std::string line = first_line([&] { read_data_sets(run->params, run->model); });
    EXPECT_NE(line.find("fitted points 7 to 5"), std::string::npos) << line;
  }
}

// Infinities and NaNs are refused in every column, at fitted and unfitted
// points alike; an error so small that 1/error^2 overflows is refused at a
// fitted point, shown as written.
TEST_F(DataSetsTest, NonFiniteValuesAndTinyErrorsAreRefused) {
  struct Case {
    const char* name;
    bool qdep;
    bool background;
    std::vector<std::string> rows;  // 4 points; points 2 and 3 are fitted
    int line;                       // 0: accepted
    const char* message;
  };
  const Case cases[] = {
      {"Q NaN, unfitted",
       false,
       false,
       {"nan 1 0.1", "1 1 0.1", "1.5 1 0.1", "2 1 0.1"},
       3,
       "Q value (real) must be a finite number, found \"nan\""},
      {"last Q infinite",
       false,
       false,
       {"0.5 1 0.1", "1 1 0.1", "1.5 1 0.1", "Inf 1 0.1"},
       6,
       "Q value (real) must be a finite number, found \"Inf\""},
      {"F beyond single precision, unfitted",
       false,
       false,
       {"0.5 1 0.1", "1 1 0.1", "1.5 1 0.1", "2 -3d39 0.1"},
       6,
       "F(Q) value (real) is beyond the single-precision range (at most about 3.4e38 in size), found \"-3d39\""},
      {"F far beyond any measurement",
       false,
       false,
       {"0.5 1 0.1", "1 -1e30 0.1", "1.5 1 0.1", "2 1 0.1"},
       4,
       "F(Q) value (real) must be at most 1e+06 in size (the limits are in the guide), found \"-1e30\""},
      {"negative error",
       false,
       false,
       {"0.5 1 0.1", "1 1 -0.1", "1.5 1 0.1", "2 1 0.1"},
       4,
       "error of F(Q) (real) at point 2 must not be negative (an error is a standard deviation), found \"-0.1\""},
      {"error beyond the limit",
       false,
       false,
       {"0.5 1 0.1", "1 1 0.1", "1.5 1 2e10", "2 1 0.1"},
       5,
       "error of F(Q) (real) must be at most 1e+10 in size (the limits are in the guide), found \"2e10\""},
      {"background far beyond",
       false,
       true,
       {"0.5 1 0", "1 1 0", "1.5 1 3e6", "2 1 0"},
       5,
       "background (real) must be at most 1e+06 in size (the limits are in the guide), found \"3e6\""},
      {"coefficient far beyond",
       true,
       false,
       {"0.5 1 1", "1 1 1e30", "1.5 1 1", "2 1 1"},
       4,
       "coefficient of basis function 1 (real) must be at most 1e+06 in size (the limits are in the guide), found "
       "\"1e30\""},
      {"error NaN, fitted",
       false,
       false,
       {"0.5 1 0.1", "1 1 NaN", "1.5 1 0.1", "2 1 0.1"},
       4,
       "error of F(Q) (real) must be a finite number, found \"NaN\""},
      {"error NaN, unfitted",
       false,
       false,
       {"0.5 1 nan(1)", "1 1 0.1", "1.5 1 0.1", "2 1 0.1"},
       3,
       "error of F(Q) (real) must be a finite number, found \"nan(1)\""},
      {"tiny error, fitted",
       false,
       false,
       {"0.5 1 0.1", "1 1 0.1", "1.5 1 1e-30", "2 1 0.1"},
       5,
       "error of F(Q) (real) at point 3 is so small that 1/error^2 overflows, found \"1e-30\""},
      {"error below single precision, fitted",
       false,
       false,
       {"0.5 1 0.1", "1 1 -1d-99", "1.5 1 0.1", "2 1 0.1"},
       4,
       "error of F(Q) (real) at point 2 is so small that 1/error^2 overflows, found \"-1d-99\""},
      {"tiny error, unfitted", false, false, {"0.5 1 1e-30", "1 1 0.1", "1.5 1 0.1", "2 1 1e-40"}, 0, ""},
      {"background infinite",
       false,
       true,
       {"0.5 1 0", "1 1 -inf", "1.5 1 0", "2 1 0"},
       4,
       "background (real) must be a finite number, found \"-inf\""},
      {"coefficient NaN",
       true,
       false,
       {"0.5 1 1", "1 1 1", "1.5 1 1", "2 1 NAN"},
       6,
       "coefficient of a basis function (real) must be a finite number, found \"NAN\""},
  };
  for (const Case& c : cases) {
    auto run = c.qdep ? make(0, 1) : make(1, 0);
    DataSetSettings& s = run->params.sets[0];
    s.sigma = c.background ? 0.01f : -0.01f;  // fixed sets without background: an error column
    s.background_column = c.background;
    s.q_first = 2;
    s.q_last = 3;
    write(1, data_text(4, c.rows));
    const std::string got = first_line([&] { read_data_sets(run->params, run->model); });
    if (c.line == 0) {
      EXPECT_EQ(got, "<no stop>") << c.name;
    } else {
      EXPECT_EQ(
          got, "Error reading file \"" + dir.file("set1.dat") + "\", line " + std::to_string(c.line) + ": " + c.message)
          << c.name;
    }
  }
}

// Every Q point of every file lies on the grid k dq of its first and last
// points, in increasing order, and on the points of the first file; a file
// that ends early names the line after which one is missing.
TEST_F(DataSetsTest, EveryQPointOfEveryFileIsChecked) {
  const std::vector<std::string> good{"0.5 1", "1 1", "1.5 1", "2 1", "2.5 1", "3 1"};
  struct Case {
    const char* name;
    std::vector<std::string> second;  // the rows of set 2; set 1 has `good`
    int count;                        // the point count of set 2
    const char* first_line;           // of the stop; "" when accepted
    const char* says;
  };
  const Case cases[] = {
      {"the same points", good, 6, "", ""},
      {"points off by 0.005 dq", {"0.5025 1", "1 1", "1.5 1", "2 1", "2.5 1", "3.0025 1"}, 6, "", ""},
      {"shifted by a whole step",
       {"1 1", "1.5 1", "2 1", "2.5 1", "3 1", "3.5 1"},
       6,
       "Incompatible Q points in data files",
       "set2.dat (data set 2), line 3: Q point 1 is 1, in data file"},
      {"first point off the grid",
       {"0.7 1", "1 1", "1.5 1", "2 1", "2.5 1", "3 1"},
       6,
       " Q-values are not multiples of dq ",
       "line 3: Q point 1 is 0.7, where the grid from its first and last"},
      {"one point off the grid",
       {"0.5 1", "1 1", "1.6 1", "2 1", "2.5 1", "3 1"},
       6,
       " Q-values are not multiples of dq ",
       "line 5: Q point 3 is 1.6"},
      {"two rows swapped",
       {"0.5 1", "1 1", "2 1", "1.5 1", "2.5 1", "3 1"},
       6,
       "",
       "line 6: Q 1.5 is below the 2 of line 5"},
      {"a line given twice",
       {"0.5 1", "1 1", "1 1", "1.5 1", "2 1", "2.5 1", "3 1"},
       6,
       "",
       "line 5: Q 1 repeats the Q of line 4 (a line given twice?)"},
      {"a line left out",
       {"0.5 1", "1 1", "2 1", "2.5 1", "3 1"},
       6,
       "",
       "ends after 5 of the 6 points its first line announces; line 5 (Q 2) lies"},
  };
  for (const Case& c : cases) {
    auto run = make(2, 0);
    write(1, data_text(6, good));
    write(2, data_text(c.count, c.second));
    const auto lines = model_test::stop_lines([&] { read_data_sets(run->params, run->model); });
    if (std::string(c.says).empty()) {
      EXPECT_TRUE(lines.empty()) << c.name << ": " << (lines.empty() ? "" : lines.back());
      continue;
    }
    ASSERT_FALSE(lines.empty()) << c.name;
    if (std::string(c.first_line).size() > 0) {
      EXPECT_EQ(lines.front(), c.first_line) << c.name;
    }
    EXPECT_NE(lines.back().find(c.says), std::string::npos) << c.name << ": " << lines.back();
    EXPECT_NE(lines.back().find("set2.dat"), std::string::npos) << c.name << ": " << lines.back();
  }
}

// Values left over on point rows and lines after the last point are ignored,
// with one warning line each per file; files without them give no warning.
TEST_F(DataSetsTest, LeftoverValuesAndLinesGetOneWarningEach) {
  struct Case {
    const char* name;
    std::string text;
    std::string warnings;  // "@" stands for the file's path
  };
  const Case cases[] = {
      {"clean", data_text(3, {"0.5 1", "1.0 2", "1.5 3 / a comment"}) + "\n  \n", ""},
      {"values left over", data_text(3, {"0.5 1 9", "1.0 2", "1.5 3 7 8"}),
       " Warning: data file @ has values left over on 2 of its point rows (the first on line 3); they are ignored\n"},
      {"lines after the points", data_text(3, {"0.5 1", "1.0 2", "1.5 3", "2.0 4", "", "end"}),
       " Warning: data file @ has 2 lines after its 3 points; they are ignored\n"},
      {"both", data_text(2, {"0.5 1", "1.0 2 0.1", "1.5 3"}),
       " Warning: data file @ has values left over on 1 of its point rows (the first on line 4); they are ignored\n"
       " Warning: data file @ has 1 lines after its 2 points; they are ignored\n"},
  };
  for (const Case& c : cases) {
    auto run = make(1, 0);
    write(1, c.text);
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in);
    read_data_sets(run->params, run->model, &console);
    std::string expected = c.warnings;
    for (std::size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
      expected.replace(at, 1, dir.file("set1.dat"));
    EXPECT_EQ(out.str(), expected) << c.name;
    EXPECT_EQ(run->model.sets[1].F[2], 2.0f) << c.name;  // the values themselves are read as before
  }
}

// What the extra values of a fixed set's rows are taken for: an error column
// beside a positive sigma is expected and unused (no warning); a row layout of
// Q-dependent coefficients is named; rows ending before the error that a
// negative sigma asks for name the first such row.
TEST_F(DataSetsTest, ExtraColumnsAreNamedForWhatTheyAre) {
  struct Case {
    const char* name;
    int nbasis;
    float sigma;
    std::vector<std::string> rows;
    std::string warnings;  // printed lines, "@" for the file's path
    std::string stop;      // a part of the error, or empty when reading succeeds
  };
  const std::string left_over = " Warning: data file @ has values left over on ";
  const Case cases[] = {
      {"error column, sigma > 0", 1, 0.02f, {"0.5 1 0.1", "1.0 2 0.2", "1.5 3 0.3"}, "", ""},
      {"error column with a comment", 1, 0.02f, {"0.5 1 0.1 / err", "1.0 2 0.2", "1.5 3 0.3"}, "", ""},
      {"error column on two rows of three",
       1,
       0.02f,
       {"0.5 1 0.1", "1.0 2", "1.5 3 0.3"},
       left_over + "2 of its point rows (the first on line 3); they are ignored\n",
       ""},
      {"two extra numbers, one basis function",
       1,
       0.02f,
       {"0.5 1 0.1 4", "1.0 2 0.2 4", "1.5 3 0.3 4"},
       left_over + "3 of its point rows (the first on line 3); they are ignored\n",
       ""},
      {"a word beside the error",
       1,
       0.02f,
       {"0.5 1 0.1", "1.0 2 x", "1.5 3 0.3"},
       left_over + "3 of its point rows (the first on line 3); they are ignored\n",
       ""},
      {"coefficient layout, sigma > 0",
       3,
       0.02f,
       {"0.5 1 0.3 0.2 0.1", "1.0 2 0.3 0.2 0.1", "1.5 3 0.3 0.2 0"},
       left_over + "3 of its point rows (the first on line 3); they are ignored\n" +
           " Data file @ holds Q, F(Q) and 3 more numbers on every point row, the layout of a set with Q-dependent"
           " coefficients: if its coefficients are per point, list it after the sets with fixed coefficients and"
           " count it in nsets_qdep\n",
       ""},
      {"coefficient layout, sigma < 0",
       3,
       -1.0f,
       {"0.5 1 0.3 0.2 0.1", "1.0 2 0.3 0.2 0.1", "1.5 3 0.3 0.2 0"},
       "",
       "reads the first coefficient as the error of each point: list it after the sets with fixed coefficients"},
      {"no error column, sigma < 0",
       1,
       -1.0f,
       {"0.5 1", "1.0 2", "1.5 3", "2.0 4"},
       "",
       "set1.dat\", line 3: point 1 has Q and F(Q) but no error of F(Q)"},
      {"error missing from a later row, sigma < 0",
       1,
       -1.0f,
       {"0.5 1 0.1", "1.0 2 0.1", "1.5 3"},
       "",
       "set1.dat\", line 5: point 3 has Q and F(Q) but no error of F(Q)"},
  };
  for (const Case& c : cases) {
    auto run = make(1, 0, c.nbasis);
    run->params.sets[0].sigma = c.sigma;
    write(1, data_text(3, c.rows));
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in);
    std::string stopped;
    try {
      read_data_sets(run->params, run->model, &console);
    } catch (const Stop& stop) {
      for (const std::string& line : stop.lines) stopped += line + "\n";
    }
    if (c.stop.empty()) {
      EXPECT_EQ(stopped, "") << c.name;
      std::string expected = c.warnings;
      for (std::size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
        expected.replace(at, 1, dir.file("set1.dat"));
      EXPECT_EQ(out.str(), expected) << c.name;
    } else {
      EXPECT_NE(stopped.find(c.stop), std::string::npos) << c.name << "\n" << stopped;
      EXPECT_EQ(stopped.find("end of file"), std::string::npos) << c.name << "\n" << stopped;
    }
  }
}

// A data file that is not found: the message says where names are looked for,
// and points to the file when it lies beside the parameter file.
TEST_F(DataSetsTest, AMissingFileSaysWhereNamesAreLookedFor) {
  auto run = make(1, 0);
  run->params.sets[0].data_file = "set1.dat";  // relative to the folder the program runs in
  run->params.parameter_file = dir.file("p.dat");
  write(1, data_text(2, {"0.5 1", "1.0 2"}));
  std::string stopped;
  try {
    read_data_sets(run->params, run->model);
  } catch (const Stop& stop) {
    for (const std::string& line : stop.lines) stopped += line + "\n";
  }
  EXPECT_NE(stopped.find("Cannot open file \"set1.dat\""), std::string::npos) << stopped;
  EXPECT_NE(stopped.find("relative to the folder the program runs in"), std::string::npos) << stopped;
  EXPECT_NE(stopped.find("There is a " + dir.file("set1.dat") + ": run the program in " + dir.path()),
            std::string::npos)
      << stopped;
}

// A file that does not start with a point count (a measured file given as it
// came from the instrument) points to the import.
TEST_F(DataSetsTest, AFileWithoutAPointCountPointsToImport) {
  auto run = make(1, 0);
  write(1, "# instrument file\n0.5 1 0.1\n1.0 2 0.1\n");
  try {
    read_data_sets(run->params, run->model);
    ADD_FAILURE() << "read";
  } catch (const Stop& stop) {
    ASSERT_EQ(stop.lines.size(), 2u);
    EXPECT_NE(stop.lines[0].find("line 1: expected number of Q points (integer), found \"#\""), std::string::npos)
        << stop.lines[0];
    EXPECT_NE(stop.lines[1].find("yosta-tools import FILE -o NAME.dat"), std::string::npos) << stop.lines[1];
  }
}

}  // namespace
}  // namespace yosta
