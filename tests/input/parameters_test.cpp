// The parameter file: the records in their order, what each switch brings
// in, and the exact messages of values that cannot be read.
#include "input/parameter_files.h"

namespace yosta {
namespace {

using namespace parameters_test;

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

}  // namespace
}  // namespace yosta
