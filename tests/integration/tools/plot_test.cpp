// yosta-tools plot: the curve file read back in each of its forms, and drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/result_files.h"
#include "support/programs.h"
#include "support/small_run.h"
#include "tools/picture.h"

namespace yosta::testing {
namespace {

// A curve file as a run writes it: `curves` 3 or 4, partial S(Q)s or not.
std::string out_text(int curves, bool partials) {
  std::string t = "Results from YOSTA\nTITLE\nA title" + std::string(73, ' ') + "\n2  experimental data sets\n";
  for (int s = 0; s < 2; ++s) {
    t += " Q, S(Q) (YOSTA), S(Q) (Expt), Background\nCURVES\n4 " + std::to_string(curves) + "\n";
    for (int k = 1; k <= 4; ++k) {
      t += std::to_string(0.5 * k) + " 0.1 " + (curves == 4 ? "0.15 " : "") + std::to_string(0.1 * k) + " 0.01\n";
    }
  }
  t += "ENDGROUP\n2  Basis functions\n r, Basis g(r)\nPLOTS\n3 2\n0.5 0 1\n1 0.5 1.5\n1.5 1 1\n";
  if (partials) {
    t += "ENDGROUP\nPartial S(Q)'s\n Q, S(Q)\nPLOTS\n2 2\n0.5 -1 -0.5\n1 0.2 0.1\n";
  } else {
    t += "ENDGROUP\n";
  }
  return t;
}

TEST(PlotOut, EveryFormOfTheCurveFileReadsAndDraws) {
  for (const int curves : {3, 4})
    for (const bool partials : {false, true}) {
      TempDir dir;
      write_file(dir.file("run.out"), out_text(curves, partials));
      const formats::OutFile out = formats::read_out_file(dir.file("run.out"));
      ASSERT_EQ(out.sets.size(), 2u);
      EXPECT_EQ(out.title, "A title");
      EXPECT_EQ(out.sets[1].ncurves, curves);
      EXPECT_FLOAT_EQ(out.sets[1].data[3], 0.4f);
      EXPECT_FLOAT_EQ(out.sets[1].background[0], 0.01f);
      EXPECT_EQ(out.sets[0].broadened.size(), curves == 4 ? 4u : 0u);
      EXPECT_FLOAT_EQ(out.g[1][1], 1.5f);
      EXPECT_EQ(out.Q_partial.size(), partials ? 2u : 0u);
      const CommandResult r = run_tools(dir, "plot run.out -o run.png");
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(read_file(dir.file("run.png")).rfind("\x89PNG", 0), 0u);
    }
}

TEST(PlotOut, DamagedCurveFilesNameTheLine) {
  const std::string good = out_text(3, true);
  struct Case {
    const char* name;
    std::string text;
    const char* says;
  };
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  const Case cases[] = {
      {"not a curve file", "3\n1 1\n", "line 1: expected \"Results from YOSTA\""},
      {"five curves", replaced("4 3\n", "4 5\n"), "line 7: number of curves must be 3 to 4"},
      {"missing ENDGROUP", replaced("ENDGROUP\n2  Basis", "2  Basis"), "expected \"ENDGROUP\""},
      {"basis count differs", replaced("3 2\n", "3 1\n"), "number of basis functions must be 2 to 2"},
      {"short partial rows", good.substr(0, good.size() - 12), "expected first value of row 2"},
      {"text in a row", replaced("1 0.5 1.5", "1 x 1.5"), "line 25: expected value 2 of row 2"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir.file("run.out"), c.text);
    const CommandResult r = run_tools(dir, "plot run.out -o run.png");
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.output.find("\"run.out\""), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
  }
}

TEST(PlotOut, ErrorBarsComeFromTheRunsDataFiles) {
  TempDir dir;
  copy_binary_example(dir);
  ASSERT_EQ(run_yosta(dir, "--seed 3 --max-moves 500 binary.dat").status, 10);
  const CommandResult r = run_tools(dir, "plot binary.out -o fit.svg -p binary.dat");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(read_file(dir.file("fit.svg")).find("<svg"), std::string::npos);
  // A parameter file of another run is refused.
  write_file(dir.file("other.out"), out_text(3, false));
  const CommandResult other = run_tools(dir, "plot other.out -o x.png -p binary.dat");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.output.find("has 3 data sets"), std::string::npos) << other.output;
}

// The panels name what they show: each data set by its file, the residual
// as a line over the band of the data's errors, the basis functions by the
// names given (g(r) where the file holds partial structure factors, the fitted
// sums otherwise).
TEST(PlotOut, PanelsNameWhatTheyShow) {
  TempDir dir;
  for (const bool partials : {true, false}) {
    write_file(dir.file("run.out"), out_text(3, partials));
    const formats::OutFile out = formats::read_out_file(dir.file("run.out"));
    const std::vector<std::vector<float>> errors = {{0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.5f, 0.5f, 0.5f}};
    const auto panels = tools::out_panels(out, errors, {"H2O.dat", "D2O.dat"}, {"O-O", "O-H"});
    ASSERT_EQ(panels.size(), partials ? 6u : 5u);
    EXPECT_EQ(panels[0].title, "A title: H2O.dat (data set 1)");
    EXPECT_EQ(panels[2].title, "D2O.dat (data set 2)");
    const tools::PicturePanel& residual = panels[3];
    EXPECT_EQ(residual.y_label, "data - fit");
    ASSERT_EQ(residual.bands.size(), 1u);
    EXPECT_EQ(residual.bands[0].hi, errors[1]);
    ASSERT_EQ(residual.curves.size(), 2u);
    EXPECT_FALSE(residual.curves[1].points);  // a line, not points with bars
    EXPECT_TRUE(residual.curves[1].error.empty());
    EXPECT_FLOAT_EQ(residual.curves[1].y[3], out.sets[1].data[3] - out.sets[1].model[3]);
    const tools::PicturePanel& basis = panels[4];
    EXPECT_EQ(basis.y_label, partials ? "g(r)" : "G(r) as fitted");
    ASSERT_EQ(basis.curves.size(), 2u);
    EXPECT_EQ(basis.curves[0].label, "O-O");
    EXPECT_EQ(basis.curves[1].label, "O-H");
    if (partials) {
      EXPECT_EQ(panels[5].y_label, "S(Q) - 1");
      EXPECT_EQ(panels[5].curves[1].label, "O-H");
    }
  }
  // Without a parameter file or names: numbered sets and basis functions, no band.
  const formats::OutFile out = formats::read_out_file(dir.file("run.out"));
  const auto plain = tools::out_panels(out, {}, {}, {});
  EXPECT_EQ(plain[2].title, "Data set 2");
  EXPECT_TRUE(plain[3].bands.empty());
  EXPECT_EQ(plain[4].curves[1].label, "basis function 2");
  // A wrong number of names is refused before anything is drawn.
  const CommandResult names = run_tools(dir, "plot run.out -o run.png --names O-O,O-H,H-H");
  EXPECT_EQ(names.status, 1);
  EXPECT_NE(names.output.find("gives 3 names for 2 basis functions"), std::string::npos) << names.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("run.png")));
}

}  // namespace
}  // namespace yosta::testing
