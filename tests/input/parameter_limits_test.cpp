// The parameter file's own checks: the limits of counts and sizes with their
// exact messages and explanations, and the guards on values later set-up
// indexes or divides by (non-finite and non-physical values refused).
#include "input/parameter_files.h"

namespace yosta {
namespace {

using namespace parameters_test;

TEST(Parameters, PartialLimit) {
  ParamText t;
  t.nbasis = "6";
  t.nsets = "4 0";
  // 6 passes record 7 and fails the data-set count.
  EXPECT_EQ(stop_message(t.text()), "Not enough data sets");
  t.nbasis = "7";
  EXPECT_EQ(stop_message(t.text()), "Too many partials");
}

TEST(Parameters, ConstraintCountLimits) {
  struct Case {
    std::string ParamText::*record;
    std::string one;
    const char* message;
  };
  for (const Case& c :
       {Case{&ParamText::zero, "1 0.0 0.5", "Too many zero constraints"},
        Case{&ParamText::positivity, "1 0.5 20.0", "Too many positivity constraints"},
        Case{&ParamText::coordination, "1 2.0 4.5 1.0 1.0 12.0 0.1", "Too many coordination constraints"}}) {
    ParamText t;
    t.*c.record = "5" + repeated(c.one, 5);
    const RunParameters p = parse(t.text());
    EXPECT_EQ(p.zero.size() + p.positivity.size() + p.coordination.size(), 5u) << c.message;
    t.*c.record = "6" + repeated(c.one, 6);
    EXPECT_EQ(stop_message(t.text()), c.message);
  }
  // A count of zero or less means no records follow.
  ParamText t;
  t.zero = "-2";
  EXPECT_TRUE(parse(t.text()).zero.empty());
}

TEST(Parameters, MrLimit) {
  ParamText t;
  t.mr_rmax = "15 20.0";
  EXPECT_EQ(parse(t.text()).Mr, 15);
  t.mr_rmax = "16 20.0";
  EXPECT_EQ(stop_message(t.text()), "Mr to large, should be less than max_mr");
}

TEST(Parameters, GaussianRangeLimit) {
  ParamText t;
  t.smoothing = "T\n3\n10" + repeated("0.1 2.0", 9) + "\n0.2 25.0";
  const RunParameters p = parse(t.text());
  EXPECT_TRUE(p.gaussian_moves);
  EXPECT_EQ(p.nranges, 10);
  EXPECT_FLOAT_EQ(p.ranges[9].width, 0.2f);
  EXPECT_FLOAT_EQ(p.ranges[9].rch, 25.0f);
  t.smoothing = "T\n3\n11" + repeated("0.1 2.0", 11);
  EXPECT_EQ(stop_message(t.text()), "Too many r ranges for Gaussian.");
}

TEST(Parameters, DataSetCountChecksInOrder) {
  ParamText t;
  t.qdep = "T";
  t.nsets = "2 2";
  t.blocks = {block_a(), block_a(), block_b(), block_b()};
  const RunParameters p = parse(t.text());
  EXPECT_EQ(p.nsets, 4);
  EXPECT_FALSE(p.sets[1].qdep);
  EXPECT_TRUE(p.sets[2].qdep);
  EXPECT_TRUE(p.sets[3].qdep);

  t.nsets = "3 2";
  EXPECT_EQ(stop_message(t.text()), "Too many total F(Q)s");
  t.nbasis = "3";
  t.nsets = "1 1";
  EXPECT_EQ(stop_message(t.text()), "Not enough data sets");
  // Both conditions hold: too few for the partials is checked first.
  t.nbasis = "6";
  t.nsets = "5 0";
  EXPECT_EQ(stop_message(t.text()), "Not enough data sets");
  // Huge counts do not wrap around into a small total.
  t.nbasis = "1";
  t.nsets = "2147483647 2147483647";
  EXPECT_EQ(stop_message(t.text()), "Too many total F(Q)s");
}

// Every limit of the file names the value, the limit and the line after the
// program's own message.

TEST(Parameters, LimitStopsExplainWithValueAndLine) {
  struct Case {
    void (*change)(ParamText&);
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {[](ParamText& t) { t.nbasis = "7"; }, "Too many partials", "nbasis is 7; at most 6 (file"},
      {[](ParamText& t) { t.mr_rmax = "16 10.0"; }, "Mr to large, should be less than max_mr", "Mr is 16; at most 15"},
      {[](ParamText& t) {
         t.nsets = "1 0";
         t.nbasis = "2";
       },
       "Not enough data sets", "1 + 0 = 1 data sets for 2 basis functions"},
      {[](ParamText& t) {
         t.nsets = "3 2";
         t.nbasis = "1";
       },
       "Too many total F(Q)s", "3 + 2 = 5 data sets; at most 4"},
  };
  for (const Case& c : cases) {
    ParamText t;
    c.change(t);
    try {
      parse(t.text());
      ADD_FAILURE() << c.first << ": no stop";
    } catch (const Stop& stop) {
      ASSERT_EQ(stop.lines.size(), 2u) << c.first;
      EXPECT_EQ(stop.lines[0], c.first);
      EXPECT_NE(stop.lines[1].find(c.second), std::string::npos) << stop.lines[1];
      EXPECT_NE(stop.lines[1].find(", line "), std::string::npos) << stop.lines[1];
    }
  }
}

TEST(Parameters, GuardsOnValuesLaterSetUpDependsOn) {
  struct Case {
    const char* name;
    void (*edit)(ParamText&);
    const char* message;
  };
  const Case cases[] = {
      {"no basis functions", [](ParamText& t) { t.nbasis = "0"; },
       "Number of basis functions must be at least 1, found 0 (file \"params.dat\", line 6)"},
      {"zero constraint partial", [](ParamText& t) { t.zero = "1\n2 0.0 1.0"; },
       "Zero constraint 1: basis function must be between 1 and 1, found 2 (file \"params.dat\", line 8)"},
      {"positivity partial", [](ParamText& t) { t.positivity = "2\n1 0 1\n0 0 1"; },
       "Positivity constraint 2: basis function must be between 1 and 1, found 0 (file \"params.dat\", line 14)"},
      {"coordination partial", [](ParamText& t) { t.coordination = "1\n-1 2 4 1 1 12 1"; },
       "Coordination constraint 1: basis function must be between 1 and 1, found -1 (file \"params.dat\", line 14)"},
      {"zero weighting", [](ParamText& t) { t.coordination = "1\n1 2 4 1 1 12\n0"; },
       "Coordination constraint 1: weighting must not be zero, found 0 (file \"params.dat\", line 15)"},
      {"zero basis weight", [](ParamText& t) { t.coordination = "1\n1 2 4 1 0 12 1"; },
       "Coordination constraint 1: basis weight must not be zero, found 0 (file \"params.dat\", line 14)"},
      {"Mr", [](ParamText& t) { t.mr_rmax = "0 20"; }, "Mr must be at least 1, found 0 (file \"params.dat\", line 9)"},
      {"plot interval",
       [](ParamText& t) {
         t.live = "T";
         t.plot_interval = "0";
       },
       "Plot interval must be at least 1, found 0 (file \"params.dat\", line 4)"},
      {"report interval", [](ParamText& t) { t.report = "-5"; },
       "Report interval must be at least 1, found -5 (file \"params.dat\", line 16)"},
      {"no Gaussian ranges", [](ParamText& t) { t.smoothing = "T\n3\n0"; },
       "Number of r ranges for Gaussian moves must be at least 1, found 0 (file \"params.dat\", line 16)"},
      {"negative fixed sets",
       [](ParamText& t) {
         t.qdep = "T";
         t.nsets = "-1 2";
       },
       "Number of data sets with fixed coefficients must not be negative, found -1 (file \"params.dat\", line 18)"},
      {"negative qdep sets", [](ParamText& t) { t.nsets = "2 -1"; },
       "Number of data sets with Q-dependent coefficients must not be negative, found -1 (file \"params.dat\", line "
       "18)"},
      {"first point 0", [](ParamText& t) { t.blocks = {"argon\n0 400\n0\n1\n0.01\nF\nF\nF\nF\nF"}; },
       "Data set 1: first and last data points must satisfy 1 <= first <= last, found 0 and 400 (file \"params.dat\", "
       "line 20)"},
      {"first after last", [](ParamText& t) { t.blocks = {"argon\n5 3\n0\n1\n0.01\nF\nF\nF\nF\nF"}; },
       "Data set 1: first and last data points must satisfy 1 <= first <= last, found 5 and 3 (file \"params.dat\", "
       "line 20)"},
      {"blank data file", [](ParamText& t) { t.blocks = {"   \n1 400\n0\n1\n0.01\nF\nF\nF\nF\nF"}; },
       "Data set 1: data file name is blank (file \"params.dat\", line 19)"},
      {"blank root", [](ParamText& t) { t.root = "    "; }, "Output root name is blank (file \"params.dat\", line 29)"},
  };
  for (const Case& c : cases) {
    ParamText t;
    c.edit(t);
    EXPECT_EQ(stop_message(t.text()), c.message) << c.name;
  }
  // The limits themselves are accepted.
  ParamText t;
  t.nbasis = "2";
  t.nsets = "2 0";
  t.blocks = {block_a("1 1"), block_a("1 1")};
  t.zero = "1\n2 0.0 1.0";
  t.mr_rmax = "1 20";
  t.report = "1";
  EXPECT_EQ(stop_message(t.text()), "");
}

// Every real of the file is refused when it reads as an infinity or a NaN,
// naming the file, line, item and the value as written; so are the values
// that would leave the walk without meaning.

TEST(Parameters, RefusesNonFiniteAndNonPhysicalValues) {
  struct Case {
    const char* name;
    void (*edit)(ParamText&);
    const char* message;
  };
  const Case cases[] = {
      {"density NaN", [](ParamText& t) { t.density = "NaN"; },
       "Error reading file \"params.dat\", line 4: number density (real) must be a finite number, found \"NaN\""},
      {"density beyond single precision", [](ParamText& t) { t.density = "1e39"; },
       "Error reading file \"params.dat\", line 4: number density (real) is beyond the single-precision range (at most "
       "about 3.4e38 in size), found \"1e39\""},
      {"density zero", [](ParamText& t) { t.density = "0.0"; },
       "Number density must be positive, found 0 (file \"params.dat\", line 4)"},
      {"density left at 0 by a slash", [](ParamText& t) { t.density = "/"; },
       "Number density must be positive, found 0 (file \"params.dat\", line 4)"},
      {"density left at 0 by a comma", [](ParamText& t) { t.density = ","; },
       "Number density must be positive, found 0 (file \"params.dat\", line 4)"},
      {"density negative", [](ParamText& t) { t.density = "-0.02"; },
       "Number density must be positive, found -0.02 (file \"params.dat\", line 4)"},
      {"density beyond matter", [](ParamText& t) { t.density = "1e30"; },
       "Number density 1e+30 atoms per cubic Angstrom is more than 1, denser than any matter (water holds 0.1) "
       "(file \"params.dat\", line 4)"},
      {"max change negative", [](ParamText& t) { t.max_change = "-0.1"; },
       "Maximum change of a g(r) value must be positive, found -0.1 (file \"params.dat\", line 8)"},
      {"max change huge", [](ParamText& t) { t.max_change = "1e11"; },
       "Maximum change of a g(r) value must be at most 10 (g(r) is of order 1), found 1e+11 (file \"params.dat\", "
       "line 8)"},
      {"max change beyond single precision", [](ParamText& t) { t.max_change = "1e300"; },
       "Error reading file \"params.dat\", line 8: maximum change of a g(r) value (real) is beyond the "
       "single-precision range (at most about 3.4e38 in size), found \"1e300\""},
      {"F(Q) offset huge", [](ParamText& t) { t.blocks = {"argon\n1 400\n2147483648\n1\n0.01\nF\nF\nF\nF\nF"}; },
       "Data set 1: F(Q) offset must be at most 1e+06 in size, found 2.1474836e+09 (file \"params.dat\", line 21)"},
      {"coefficient huge", [](ParamText& t) { t.blocks = {block_a("-1e30")}; },
       "Data set 1: coefficient 1 must be at most 1e+06 in size, found -1e+30 (file \"params.dat\", line 22)"},
      {"sigma huge", [](ParamText& t) { t.blocks = {"argon\n1 400\n0\n1\n1e30\nF\nF\nF\nF\nF"}; },
       "Data set 1: standard deviation must be at most 1e+10 in size, found 1e+30 (file \"params.dat\", line 23)"},
      {"sigma huge negative", [](ParamText& t) { t.blocks = {"argon\n1 400\n0\n1\n-1e30\nF\nF\nF\nF\nF"}; },
       "Data set 1: standard deviation must be at most 1e+10 in size, found -1e+30 (file \"params.dat\", line 23)"},
      {"max change zero", [](ParamText& t) { t.max_change = "0"; },
       "Maximum change of a g(r) value must not be zero (file \"params.dat\", line 8)"},
      {"max change infinite", [](ParamText& t) { t.max_change = "-Inf"; },
       "Error reading file \"params.dat\", line 8: maximum change of a g(r) value (real) must be a finite number, "
       "found \"-Inf\""},
      {"rmax NaN", [](ParamText& t) { t.mr_rmax = "4, nan"; },
       "Error reading file \"params.dat\", line 9: largest r, rmax (real) must be a finite number, found \"nan\""},
      {"nsave zero",
       [](ParamText& t) {
         t.save = "T";
         t.nsave = "0";
       },
       "Number of g(r) sets to save must be at least 1, found 0 (file \"params.dat\", line 11)"},
      {"coordination NaN", [](ParamText& t) { t.coordination = "1\n1 2 4 1 1 nan 1"; },
       "Error reading file \"params.dat\", line 14: Coordination constraint 1 coordination number (real) must be a "
       "finite number, found \"nan\""},
      {"smoothing weight", [](ParamText& t) { t.smoothing = "T\n1\ninfinity 1 0"; },
       "Error reading file \"params.dat\", line 16: smoothing weight (real) must be a finite number, found "
       "\"infinity\""},
      {"Gaussian width NaN", [](ParamText& t) { t.smoothing = "T\n3\n1\nNaN 10"; },
       "Error reading file \"params.dat\", line 17: width of Gaussian range 1 (real) must be a finite number, found "
       "\"NaN\""},
      {"run time", [](ParamText& t) { t.times = "inf 10"; },
       "Error reading file \"params.dat\", line 17: run time in minutes (real) must be a finite number, found "
       "\"inf\""},
      {"save interval", [](ParamText& t) { t.times = "60 2*nan"; },
       "Error reading file \"params.dat\", line 17: save interval in minutes (real) must be a finite number, found "
       "\"nan\""},
      {"F(Q) offset", [](ParamText& t) { t.blocks = {"argon\n1 400\nnan\n1\n0.01\nF\nF\nF\nF\nF"}; },
       "Error reading file \"params.dat\", line 21: F(Q) offset of data set 1 (real) must be a finite number, found "
       "\"nan\""},
      {"coefficient", [](ParamText& t) { t.blocks = {block_a("Inf")}; },
       "Error reading file \"params.dat\", line 22: coefficient 1 of data set 1 (real) must be a finite number, "
       "found \"Inf\""},
      {"sigma infinite", [](ParamText& t) { t.blocks = {"argon\n1 400\n0\n1\n+inf\nF\nF\nF\nF\nF"}; },
       "Error reading file \"params.dat\", line 23: standard deviation of data set 1 (real) must be a finite "
       "number, found \"+inf\""},
      {"sigma so small 1/sigma^2 overflows",
       [](ParamText& t) { t.blocks = {"argon\n1 400\n0\n1\n1e-30\nF\nF\nF\nF\nF"}; },
       "Error reading file \"params.dat\", line 23: standard deviation of data set 1 (real) is so small that "
       "1/error^2 overflows, found \"1e-30\""},
      {"sigma below single precision", [](ParamText& t) { t.blocks = {"argon\n1 400\n0\n1\n-1d-60\nF\nF\nF\nF\nF"}; },
       "Error reading file \"params.dat\", line 23: standard deviation of data set 1 (real) is so small that "
       "1/error^2 overflows, found \"-1d-60\""},
      {"resolution",
       [](ParamText& t) {
         t.resolution = "T";
         t.blocks = {"argon\n1 400\n0\n1\n0.01\n0.7 nan 0 0\nF\nF\nF\nF\nF"};
       },
       "Error reading file \"params.dat\", line 24: resolution U of data set 1 (real) must be a finite number, "
       "found \"nan\""},
      {"target chi-squared",
       [](ParamText& t) {
         t.save = "T";
         t.nsave = "5";
         t.blocks = {"argon\n1 400\n0\n1\n0.01\nnan\nF\nF\nF\nF\nF"};
       },
       "Error reading file \"params.dat\", line 25: target chi-squared of data set 1 (real) must be a finite "
       "number, found \"nan\""},
  };
  for (const Case& c : cases) {
    ParamText t;
    c.edit(t);
    EXPECT_EQ(stop_message(t.text()), c.message) << c.name;
  }
  // The nearest good values are accepted: an error whose 1/error^2 just
  // fits, a zero error (the fit refuses it with its own message), the
  // largest maximum change.
  for (const char* sigma : {"1e-19", "0", "-0.01"}) {
    ParamText t;
    t.blocks = {"argon\n1 400\n0\n1\n" + std::string(sigma) + "\nF\nF\nF\nF\nF"};
    t.max_change = "10";
    EXPECT_EQ(stop_message(t.text()), "") << sigma;
  }
}

}  // namespace
}  // namespace yosta
