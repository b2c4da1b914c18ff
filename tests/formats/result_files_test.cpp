// The readers of the restart and result files: the kind told by the header,
// the number of basis functions a start must hold, possible statistics and
// the r grid at the precision the file gives.
#include "formats/result_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/stop.h"
#include "support/test_support.h"

namespace yosta::testing {
namespace {

std::string stop_text(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.lines.empty() ? std::string("(no text)") : s.lines.front();
  }
  return "";
}

// Files the readers must refuse, each with the words that say why.
TEST(ResultFiles, WrongKindsAndImpossibleFilesAreRefusedByName) {
  struct Case {
    const char* name;
    bool sums;   // read as a .gsv file, else as a .g file
    int nbasis;  // 0: from the file
    const char* text;
    const char* says;
  };
  const Case cases[] = {
      {".gsv as a start", false, 3, "2 3\n1 0\n0.1 1 2 3 1 4 9\n0.2 1 2 3 1 4 9\n", "is a .gsv file of saved-set sums"},
      {".gsv averaged as a .g", false, 0, "2 3\n1 0\n0.1 1 2 3 1 4 9\n0.2 1 2 3 1 4 9\n", "is a .gsv file"},
      {".g read as sums", true, 0, "2\n10 5\n0.1 1 2\n0.2 1 2\n", "is a .g file"},
      {"start of 2 functions, run of 3", false, 3, "2\n10 5\n0.1 1 2\n0.2 1 2\n",
       "holds 2 basis functions a row (line 3 has 3 values), this run has 3"},
      {"start of 4 functions, run of 3", false, 3, "2\n10 5\n0.1 1 2 3 4\n0.2 1 2 3 4\n",
       "holds 4 basis functions a row"},
      {"sums of another basis count", true, 2, "2 3\n1 0\n0.1 1 2 3 1 4 9\n0.2 1 2 3 1 4 9\n",
       "number of basis functions must be 2 to 2, found \"3\""},
      {"row with a value too many", false, 0, "2\n10 5\n0.1 1 2\n0.2 1 2 3\n", "line 4: row 2 to end after 3 values"},
      {"sums without a saved set", true, 0, "2 1\n0 0\n0.1 0 0\n0.2 1 1\n", "counts 0 saved sets but holds the sums 1"},
      {"count below its sums", true, 0, "1 1\n2 0\n0.1 6 12\n", "n x S2 = 24 is below S1^2 = 36"},
      {"negative sum of squares", true, 0, "1 1\n2 0\n0.1 0 -1\n", "a sum of squares must not be negative"},
      {"row left out", false, 0, "3\n0 0\n0.1 1\n0.2 1\n0.4 1\n", "line 5: r of row 3 must be 3 x 0.1 = 0.3"},
      {"r off by more than its digits", false, 0, "2\n0 0\n0.0317301 1\n0.06347 1\n",
       "r of row 2 must be 2 x 0.0317301"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file(c.sums ? "run.gsv" : "run.g");
    write_file(path, c.text);
    const std::string message = stop_text([&] {
      if (c.sums) {
        formats::read_gsv_file(path, c.nbasis);
      } else {
        formats::read_g_file(path, c.nbasis);
      }
    });
    EXPECT_NE(message.find(c.says), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find(path), std::string::npos) << c.name << ": " << message;
  }
}

// Files that must read: r known to fewer digits than single precision,
// statistics at the edge of rounding, rows over several lines.
TEST(ResultFiles, FilesAtTheEdgesAreRead) {
  struct Case {
    const char* name;
    bool sums;
    const char* text;
  };
  const Case cases[] = {
      {"r to 6 digits against r1 to 4", false,
       "10\n0 0\n0.03173 1\n0.06346 1\n0.09519 1\n0.12692 1\n0.15865 1\n"
       "0.19038 1\n0.22211 1\n0.25384 1\n0.28557 1\n0.317301 1\n"},
      {"three equal sets", true, "1 1\n3 0\n0.1 0.3 0.03\n"},
      {"one set", true, "2 1\n1 0\n0.1 0.7 0.49\n0.2 -0.1 0.01\n"},
      {"no set, no sums", true, "1 2\n0 0\n0.1 0 0 0 0\n"},
      {"row over two lines", true, "2 2\n2 1\n0.1 1 2\n 1 4\n0.2 1 1 1 1\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.file(c.sums ? "run.gsv" : "run.g");
    write_file(path, c.text);
    EXPECT_EQ(stop_text([&] {
                if (c.sums) {
                  formats::read_gsv_file(path);
                } else {
                  formats::read_g_file(path);
                }
              }),
              "")
        << c.name;
  }
}

TEST(ResultFiles, WrittenResolutionIsHalfTheLastDigit) {
  const std::pair<const char*, double> cases[] = {
      {"0.3173", 5e-5}, {"12", 0.5}, {"1.5e3", 50}, {"-2.25E-2", 5e-5}, {"7.d0", 0.5}, {"1.0+2", 5}, {"3.", 0.5},
  };
  for (const auto& [token, resolution] : cases)
    EXPECT_NEAR(formats::written_resolution(token), resolution, resolution * 1e-9) << token;
}

// What a run writes reads back unchanged, and the text is the same whichever
// way the columns are given.
TEST(ResultFiles, WrittenFilesReadBackExactly) {
  formats::GsvFile s;
  s.nsaved = 3;
  s.collect_count = 12;
  for (int j = 1; j <= 5; ++j) s.r.push_back(static_cast<float>(j) * 0.0314159f);
  s.S1 = {{0.3f, -1.5f, 2.0f, 0.0f, 1e-7f}, {3.0f, 3.0f, 3.0f, 3.0f, 3.0f}};
  s.S2 = {{0.04f, 0.9f, 1.5f, 0.0f, 1e-14f}, {3.0f, 3.0f, 3.0f, 3.0f, 3.0f}};
  TempDir dir;
  write_file(dir.file("a.gsv"), formats::gsv_text(s));
  const formats::GsvFile back = formats::read_gsv_file(dir.file("a.gsv"));
  EXPECT_EQ(back.r, s.r);
  EXPECT_EQ(back.S1, s.S1);
  EXPECT_EQ(back.S2, s.S2);
  EXPECT_EQ(back.nsaved, 3);
  EXPECT_EQ(back.collect_count, 12);

  formats::GFile g;
  g.generated = 7;
  g.accepted = 2;
  g.r = s.r;
  g.v = s.S1;
  write_file(dir.file("a.g"), formats::g_text(g));
  const formats::GFile gback = formats::read_g_file(dir.file("a.g"), 2);
  EXPECT_EQ(gback.v, g.v);
  EXPECT_EQ(gback.r, g.r);
  EXPECT_EQ(gback.generated, 7);
}

}  // namespace
}  // namespace yosta::testing
