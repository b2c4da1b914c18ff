// The parameter file: record order, the file's own checks with their exact
// messages, and the guards on values later set-up indexes or divides by.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "input/parameters.h"
#include "base/stop.h"
#include "text/free_reader.h"

namespace yosta {
namespace {

// Block A of one fixed-coefficient set; `coefficients` is its record 4.
std::string block_a(const std::string& coefficients = "1.0", const std::string& file = "argon") {
  return file + "\n1 400    first and last point\n0.0\n" + coefficients + "\n0.01\nF\nF\nF\nF\nF";
}

// Block B: block A without the coefficients record.
std::string block_b(const std::string& file = "qdep") { return file + "\n1 400\n0.0\n0.01\nF\nF\nF\nF\nF"; }

// A parameter file as the records it is made of; an empty record is left out.
struct ParamText {
  std::string title = "Liquid argon, one partial";
  std::string start = "F";
  std::string live = "F";
  std::string plot_interval;  // record 4, only with live plotting
  std::string density = "0.02125  atoms per cubic Angstrom";
  std::string qdep = "F";
  std::string nbasis = "1";
  std::string zero = "0";  // the count and its records
  std::string max_change = "0.01";
  std::string mr_rmax = "4, 20.0";
  std::string save = "F";
  std::string nsave;
  std::string improved = "F";
  std::string positivity = "0";
  std::string coordination = "0";
  std::string smoothing = "F";  // record 16 and whatever of 17 to 19 follows
  std::string resolution = "F";
  std::string report = "100";
  std::string times = "60.0 10.0";
  std::string nsets = "1 0";
  std::vector<std::string> blocks{block_a()};
  std::string root = "argon_out";

  std::string text() const {
    std::string out;
    for (const std::string* r :
         {&title,        &start,      &live,       &plot_interval, &density, &qdep,     &nbasis,
          &zero,         &max_change, &mr_rmax,    &save,          &nsave,   &improved, &positivity,
          &coordination, &smoothing,  &resolution, &report,        &times,   &nsets})
      if (!r->empty()) out += *r + "\n";
    for (const std::string& b : blocks) out += b + "\n";
    out += root + "\n";
    return out;
  }
};

RunParameters parse(const std::string& text) {
  std::istringstream in(text);
  text::FreeReader reader("params.dat", in);
  return read_parameters(reader);
}

// The message of the stop the file causes, or "" when it is accepted.
std::string stop_message(const std::string& text) {
  try {
    parse(text);
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    // The program's message; a second line, when there is one, is checked
    // by the tests of the explanations.
    return stop.lines.empty() ? std::string() : stop.lines.front();
  }
  return "";
}

// Every line of the stop, each ended by a newline.
std::string stop_text(const std::string& text) {
  try {
    parse(text);
  } catch (const Stop& stop) {
    std::string joined;
    for (const std::string& line : stop.lines) joined += line + "\n";
    return joined;
  }
  return "";
}

std::string repeated(const std::string& record, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "\n" + record;
  return out;
}

TEST(Parameters, ReadsEveryRecordOfAPlainFile) {
  const RunParameters p = parse(ParamText{}.text());
  EXPECT_EQ(p.title.size(), 80u);
  EXPECT_EQ(p.title.substr(0, 25), "Liquid argon, one partial");
  EXPECT_FALSE(p.live_plot);
  EXPECT_EQ(p.plot_interval, 100);  // live plotting off: no record 4
  EXPECT_FLOAT_EQ(p.density, 0.02125f);
  EXPECT_EQ(p.nbasis, 1);
  EXPECT_EQ(p.Mr, 4);
  EXPECT_FLOAT_EQ(p.rmax, 20.0f);
  EXPECT_FLOAT_EQ(p.smoothing_weight, 0.0f);
  EXPECT_FLOAT_EQ(p.smoothing_exponent, 1.0f);
  EXPECT_FALSE(p.gaussian_moves);
  EXPECT_EQ(p.report_interval, 100);
  EXPECT_FLOAT_EQ(p.run_time, 60.0f);
  EXPECT_FLOAT_EQ(p.save_interval, 10.0f);
  EXPECT_EQ(p.nsets, 1);
  EXPECT_EQ(p.sets[0].data_file, "argon");
  EXPECT_EQ(p.sets[0].q_first, 1);
  EXPECT_EQ(p.sets[0].q_last, 400);
  EXPECT_FLOAT_EQ(p.sets[0].coefficients[0], 1.0f);
  EXPECT_FLOAT_EQ(p.sets[0].sigma, 0.01f);
  EXPECT_FALSE(p.sets[0].qdep);
  EXPECT_EQ(p.root_length, 9);
  EXPECT_EQ(root_file(p, ".g"), "argon_out.g");
}

TEST(Parameters, LivePlotReadsThePlotInterval) {
  ParamText t;
  t.live = "T";
  t.plot_interval = "25";
  const RunParameters p = parse(t.text());
  EXPECT_TRUE(p.live_plot);
  EXPECT_EQ(p.plot_interval, 25);
  EXPECT_FLOAT_EQ(p.density, 0.02125f);
}

TEST(Parameters, WithoutLivePlotTheNextLineIsTheDensity) {
  ParamText t;
  t.density = "0.05";
  EXPECT_FLOAT_EQ(parse(t.text()).density, 0.05f);
  t.plot_interval = "7";
  // A stray plot interval is read as the density, and the density then stands
  // where the logical of record 5 belongs; a plot interval beyond the density
  // limit is refused as the density it is taken for.
  EXPECT_EQ(stop_message(t.text()),
            "Number density 7 atoms per cubic Angstrom is more than 1, denser than any matter (water holds 0.1) "
            "(file \"params.dat\", line 4)");
  t.plot_interval = "1";
  EXPECT_EQ(stop_message(t.text()),
            "Error reading file \"params.dat\", line 5: expected Q-dependent coefficients (logical), found \"0.05\"");
}

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

TEST(Parameters, SmoothingRecords) {
  ParamText t;
  t.smoothing = "T\n2\n0.5 1.5 3.0";
  RunParameters p = parse(t.text());
  EXPECT_EQ(p.smoothing_type, 2);
  EXPECT_FLOAT_EQ(p.smoothing_weight, 0.5f);
  EXPECT_FLOAT_EQ(p.smoothing_exponent, 1.5f);
  EXPECT_FLOAT_EQ(p.smoothing_cutoff, 3.0f);
  EXPECT_FALSE(p.gaussian_moves);
  // Types other than 1, 2 and 3 read nothing more: the next line is record 20.
  for (const char* type : {"0", "4"}) {
    t.smoothing = std::string("T\n") + type;
    t.resolution = "T";
    t.blocks = {"argon\n1 400\n0.0\n1.0\n0.01\n1.0 0.0 0.0 0.0\nF\nF\nF\nF\nF"};
    p = parse(t.text());
    EXPECT_TRUE(p.smoothing_on);
    EXPECT_FALSE(p.gaussian_moves);
    EXPECT_TRUE(p.resolution_on);
    EXPECT_FLOAT_EQ(p.sets[0].wavelength, 1.0f);
  }
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

TEST(Parameters, QDependentSetNeedsQDependentMode) {
  ParamText t;
  t.nsets = "1 1";
  t.blocks = {block_a()};  // the file ends where block B would start
  t.root = "";
  // The program's line, then what to change and where.
  const std::string message = stop_text(t.text());
  EXPECT_EQ(message.rfind("Incompatible                                 coefficients and totals\n", 0), 0u) << message;
  EXPECT_NE(message.find("Record 23 gives 1 data set(s) with Q-dependent coefficients, which need qdep_coefficients T"),
            std::string::npos)
      << message;
  // Without Q-dependent sets the mode is never checked.
  t.nsets = "1 0";
  t.root = "out";
  EXPECT_EQ(stop_message(t.text()), "");
}

TEST(Parameters, QDependentBlockHasNoCoefficients) {
  ParamText t;
  t.qdep = "T";
  t.nsets = "0 1";
  t.blocks = {"qdep\n2 300\n0.5\n-0.02\nT\nF\nT\nF\nT"};
  const RunParameters p = parse(t.text());
  EXPECT_TRUE(p.sets[0].qdep);
  EXPECT_EQ(p.sets[0].q_first, 2);
  EXPECT_FLOAT_EQ(p.sets[0].fq_offset, 0.5f);
  EXPECT_FLOAT_EQ(p.sets[0].sigma, -0.02f);
  EXPECT_TRUE(p.sets[0].renormalise);
  EXPECT_FALSE(p.sets[0].rezero);
  EXPECT_TRUE(p.sets[0].linear_correction);
  EXPECT_TRUE(p.sets[0].background_column);
}

TEST(Parameters, CoefficientsMaySpanTwoLines) {
  ParamText t;
  t.nbasis = "4";
  t.nsets = "4 0";
  const std::string coefficients = "0.1 0.2\n0.3 0.4  rest ignored";
  t.blocks = {block_a(coefficients), block_a(coefficients), block_a(coefficients), block_a(coefficients)};
  const RunParameters p = parse(t.text());
  EXPECT_FLOAT_EQ(p.sets[3].coefficients[1], 0.2f);
  EXPECT_FLOAT_EQ(p.sets[3].coefficients[3], 0.4f);
  EXPECT_FLOAT_EQ(p.sets[3].sigma, 0.01f);
}

TEST(Parameters, TargetAndResolutionRecords) {
  ParamText t;
  t.save = "T";
  t.nsave = "3";
  t.resolution = "T";
  t.blocks = {"argon\n1 400\n0.0\n1.0\n0.01\n0.7 0.1 0.2 0.3\n1.05\nF\nT\nF\nF\nF"};
  const RunParameters p = parse(t.text());
  EXPECT_EQ(p.nsave, 3);
  EXPECT_FLOAT_EQ(p.sets[0].res_w, 0.3f);
  EXPECT_FLOAT_EQ(p.sets[0].target_chi2, 1.05f);
  EXPECT_TRUE(p.sets[0].rezero);
}

// The title keeps its 80 characters; names are read whole (a long path must
// open, a long root must not write files of another name), without their
// trailing blanks and tabs.
TEST(Parameters, TitleIsEightyCharactersAndNamesAreWhole) {
  ParamText t;
  t.title = std::string(79, 'x') + "yz";
  const std::string long_root = "a b" + std::string(117, 'r');
  const std::string long_data = "../" + std::string(96, 'd') + "/set1";
  t.root = long_root + " \t ";
  t.blocks = {block_a("1.0", long_data + "\t  ")};
  const RunParameters p = parse(t.text());
  EXPECT_EQ(p.title, std::string(79, 'x') + "y");
  EXPECT_EQ(p.root, long_root);
  EXPECT_EQ(p.root_length, 120);
  EXPECT_EQ(root_file(p, ".g"), long_root + ".g");
  EXPECT_EQ(p.sets[0].data_file, long_data);
  t.root = "  run.1 \t  ";
  t.blocks = {block_a("1.0", "argon\t")};
  const RunParameters q = parse(t.text());
  EXPECT_EQ(q.root_length, 7);
  EXPECT_EQ(q.root, "  run.1");  // trimmed once, where it is read
  EXPECT_EQ(q.sets[0].data_file, "argon");
  // Result files always get their extension, also when the root holds a point.
  EXPECT_EQ(root_file(q, ".gsv"), "  run.1.gsv");
}

TEST(Parameters, UnreadableValueNamesWhatWasExpected) {
  ParamText t;
  t.zero = "two";
  const std::string message = stop_message(t.text());
  EXPECT_NE(message.find("number of zero constraints (integer)"), std::string::npos) << message;
  EXPECT_NE(message.find("params.dat"), std::string::npos) << message;
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
