// The result files, the save and the save schedule.
#include "output/results.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "model/corrections.h"
#include "model/transform.h"
#include "base/files.h"
#include "base/stop.h"
#include "output/results_fixture.h"
#include "support/test_support.h"
#include "text/free_reader.h"

namespace yosta {
namespace {

using namespace results_test;

TEST(ResultFiles, GFileReadsBackEveryValueExactly) {
  Fixture f;
  yosta::Run& run = *f.run;
  run.control.generated = 2147483647;
  run.control.accepted = 123456;
  for (int j = 1; j <= run.model.r.nr; ++j) {
    run.model.v[1][j] = awkward_value(2 * j - 2);
    run.model.v[2][j] = awkward_value(2 * j - 1);
  }
  std::istringstream text(g_file_text(run));
  text::FreeReader in("test.g", text);
  EXPECT_EQ(in.read_int("nr"), run.model.r.nr);
  std::int32_t generated = 0, accepted = 0;
  in.begin("counters");
  in.get(generated, "generated");
  in.get(accepted, "accepted");
  in.end();
  EXPECT_EQ(generated, run.control.generated);
  EXPECT_EQ(accepted, run.control.accepted);
  for (int j = 1; j <= run.model.r.nr; ++j) {
    float r = 0, v1 = 0, v2 = 0;
    in.begin("row");
    in.get(r, "r");
    in.get(v1, "v1");
    in.get(v2, "v2");
    in.end();
    EXPECT_EQ(bits(r), bits(static_cast<float>(j) * run.model.r.dr)) << "row " << j;
    EXPECT_EQ(bits(v1), bits(run.model.v[1][j])) << "row " << j << " value " << run.model.v[1][j];
    EXPECT_EQ(bits(v2), bits(run.model.v[2][j])) << "row " << j << " value " << run.model.v[2][j];
  }
  EXPECT_TRUE(in.at_end());
}

TEST(ResultFiles, GsvRowsHoldAllSumsThenAllSquares) {
  Fixture f;
  yosta::Run& run = *f.run;
  run.sums.nsaved = 2;
  run.sums.collect_count = 355;
  for (int j = 1; j <= run.model.r.nr; ++j) {
    run.sums.S1[1][j] = static_cast<float>(j) + 0.1f;
    run.sums.S1[2][j] = static_cast<float>(j) + 0.2f;
    run.sums.S2[1][j] = -static_cast<float>(j) - 0.1f;
    run.sums.S2[2][j] = -static_cast<float>(j) - 0.2f;
  }
  const std::vector<std::string> lines = split_lines(gsv_file_text(run));
  ASSERT_EQ(lines.size(), 2u + static_cast<std::size_t>(run.model.r.nr));
  EXPECT_EQ(tokens(lines[0]), (std::vector<std::string>{"48", "2"}));
  EXPECT_EQ(tokens(lines[1]), (std::vector<std::string>{"2", "355"}));
  const std::vector<float> row = numbers(lines[1 + 7]);
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(row[0], 7.0f * run.model.r.dr);
  EXPECT_EQ(row[1], 7.1f);
  EXPECT_EQ(row[2], 7.2f);
  EXPECT_EQ(row[3], -7.1f);
  EXPECT_EQ(row[4], -7.2f);
}

// ---------------------------------------------------------------- ".out"

struct OutFile {
  std::vector<std::string> lines;
  std::size_t at = 0;
  const std::string& next() { return lines.at(at++); }
};

// Checks the records common to every ".out" file up to the basis group and
// returns the reader positioned after the basis rows' "ENDGROUP".
OutFile check_out_up_to_basis(Run& run, int curves) {
  OutFile out{split_lines(out_file_text(run))};
  EXPECT_EQ(out.next(), "Results from YOSTA");
  EXPECT_EQ(out.next(), "TITLE");
  EXPECT_EQ(out.next(), run.params.title);  // all 80 characters, trailing blanks included
  EXPECT_EQ(tokens(out.next()),
            (std::vector<std::string>{std::to_string(run.params.nsets), "experimental", "data", "sets"}));
  for (int s = 1; s <= run.params.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    EXPECT_EQ(out.next(), " Q, S(Q) (YOSTA), S(Q) (Expt), Background");
    EXPECT_EQ(out.next(), "CURVES");
    EXPECT_EQ(tokens(out.next()), (std::vector<std::string>{"100", std::to_string(curves)}));
    for (int k = 5; k <= 104; ++k) {
      const std::vector<float> row = numbers(out.next());
      EXPECT_EQ(row.size(), static_cast<std::size_t>(curves + 1));
      if (row.size() != static_cast<std::size_t>(curves + 1)) break;
      EXPECT_EQ(row[0], run.model.q.Q[k]);
      EXPECT_EQ(row[1], set.F_calc[k]);
      if (curves == 4) {
        EXPECT_EQ(row[2], set.M[k]);
      }
    }
  }
  EXPECT_EQ(out.next(), "ENDGROUP");
  EXPECT_EQ(tokens(out.next()), (std::vector<std::string>{"2", "Basis", "functions"}));
  EXPECT_EQ(out.next(), " r, Basis g(r)");
  EXPECT_EQ(out.next(), "PLOTS");
  EXPECT_EQ(tokens(out.next()), (std::vector<std::string>{"48", "2"}));
  const float shift = run.params.qdep_coefficients ? 1.0f : 0.0f;
  for (int j = 1; j <= run.model.r.nr; ++j) {
    const std::vector<float> row = numbers(out.next());
    EXPECT_EQ(row, (std::vector<float>{static_cast<float>(j) * run.model.r.dr, run.model.v[1][j] + shift,
                                       run.model.v[2][j] + shift}));
  }
  EXPECT_EQ(out.next(), "ENDGROUP");
  return out;
}

TEST(OutFile, FixedModeWritesDataFromFirstFittedPointAndEndsWithEndgroup) {
  Options o;
  o.nsets = 2;
  Fixture f(o);
  OutFile out = check_out_up_to_basis(*f.run, 3);
  EXPECT_EQ(out.at, out.lines.size()) << "the file ends after the basis group";
  // The first data row of set 1 is at Q_5.
  EXPECT_EQ(numbers(out.lines[7])[0], f.run->model.q.Q[5]);
}

TEST(OutFile, ResolutionOnWritesTheBroadenedModelAsFourthCurve) {
  Options o;
  o.resolution = true;
  Fixture f(o);
  DataSet& set = f.run->model.sets[1];
  // The compared model as the save brought it up to date: written as it is.
  for (int k = 1; k <= f.run->model.q.nq; ++k) set.M[k] = 0.5f * set.F_calc[k] + 0.125f;
  OutFile out = check_out_up_to_basis(*f.run, 4);
  EXPECT_EQ(out.at, out.lines.size());
  const std::vector<float> row = numbers(out.lines[7 + 9]);  // Q_14
  EXPECT_EQ(row[1], set.F_calc[14]);
  EXPECT_EQ(row[2], 0.5f * set.F_calc[14] + 0.125f);
}

TEST(OutFile, QDependentModeShiftsBasisAndAppendsPartialStructureFactors) {
  Options o;
  o.qdep = true;
  Fixture f(o);
  yosta::Run& run = *f.run;
  check_q_grid(run.model);
  build_tables(run.params, run.model);
  OutFile out = check_out_up_to_basis(run, 3);
  EXPECT_EQ(out.next(), "Partial S(Q)'s");
  EXPECT_EQ(out.next(), " Q, S(Q)");
  EXPECT_EQ(out.next(), "PLOTS");
  EXPECT_EQ(tokens(out.next()), (std::vector<std::string>{"120", "2"}));
  for (int k = 1; k <= run.model.q.nq; ++k) {
    const std::vector<float> row = numbers(out.next());
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0], run.model.q.Q[k]);
    for (int b = 1; b <= 2; ++b) {
      // S_p(Q) - 1 = 4 pi rho dr sum_j r_j sin(Q r_j) / Q v_j, in double.
      double sum = 0, scale = 0;
      for (int j = 1; j <= run.model.r.nr; ++j) {
        const double r = j * static_cast<double>(run.model.r.dr), q = run.model.q.Q[k];
        const double weight = 4 * M_PI * 0.1 * run.model.r.dr * r / q * run.model.v[b][j];
        sum += weight * std::sin(q * r);
        scale += std::fabs(weight);  // the size of a sine-table error
      }
      EXPECT_NEAR(row[b], sum, 1e-5 * scale) << "k " << k << " p " << b;
    }
  }
  EXPECT_EQ(out.at, out.lines.size()) << "no ENDGROUP after the partial structure factors";
}

// ---------------------------------------------------------------- the save

std::vector<std::string> folder_entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Save, WritesGAndOutBetweenItsTwoLinesAndLeavesAnOldGsvAlone) {
  Fixture f;
  write_file(f.file(".gsv"), "old sums\n");
  save_results(*f.run, f.console);
  EXPECT_EQ(f.console_out.str(), "Saving results ... Do not interrupt\nSaving completed\n");
  EXPECT_EQ(read_file(f.file(".g")), g_file_text(*f.run));
  EXPECT_EQ(split_lines(read_file(f.file(".out")))[0], "Results from YOSTA");
  EXPECT_EQ(read_file(f.file(".gsv")), "old sums\n");
}

TEST(Save, RootHoldingAPointStillGetsOneFilePerExtension) {
  Options o;
  o.save_targets = true;
  o.root_name = "run.v2";
  Fixture f(o);
  save_results(*f.run, f.console);
  EXPECT_EQ(folder_entries(f.dir.path()), (std::vector<std::string>{"run.v2.g", "run.v2.gsv", "run.v2.out"}));
  EXPECT_EQ(read_file(f.dir.file("run.v2.g")), g_file_text(*f.run));
  EXPECT_EQ(read_file(f.dir.file("run.v2.gsv")), gsv_file_text(*f.run));
  EXPECT_EQ(split_lines(read_file(f.dir.file("run.v2.out")))[0], "Results from YOSTA");
}

TEST(Save, AFileThatCannotBeReplacedStopsTheSaveAndLeavesOlderFilesWhole) {
  Options o;
  o.save_targets = true;
  Fixture f(o);
  // The ".g" name is taken by a folder, so the first file cannot be put in
  // place; the older ".gsv" and ".out" must survive whole.
  std::filesystem::create_directory(f.file(".g"));
  write_file(f.file(".gsv"), "old sums\n");
  write_file(f.file(".out"), "old curves\n");
  EXPECT_THROW(save_results(*f.run, f.console), Stop);
  EXPECT_EQ(read_file(f.file(".gsv")), "old sums\n");
  EXPECT_EQ(read_file(f.file(".out")), "old curves\n");
  EXPECT_EQ(folder_entries(f.dir.path()), (std::vector<std::string>{"result.g", "result.gsv", "result.out"}))
      << "no temporary file is left behind";
  EXPECT_EQ(count_lines(f.console_out.str(), "Saving completed"), 0);
}

TEST(Save, AnUnfinishedResultFileNeverReplacesTheOldOne) {
  TempDir dir;
  const std::string path = dir.file("run.g");
  write_file(path, "complete old file\n");
  {
    OutputFile file(path);
    file.write("half of a new fi");
  }  // stopped before commit
  EXPECT_EQ(read_file(path), "complete old file\n");
  EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"run.g"}));
}

// A save is one set: when any file of it cannot be made, no file of the
// earlier set is replaced, also not those written before the failure.
TEST(Save, AFailurePartWayReplacesNoFileOfTheEarlierSet) {
  Options o;
  o.save_targets = true;
  for (const char* blocked : {".g", ".gsv", ".out"}) {
    Fixture f(o);
    write_file(f.file(".g"), "old g\n");
    write_file(f.file(".gsv"), "old sums\n");
    write_file(f.file(".out"), "old curves\n");
    // A folder (not empty, so nothing removes it) where the temporary file
    // of one of them must go.
    const std::string in_the_way = temp_name(f.file(blocked));
    std::filesystem::create_directory(in_the_way);
    write_file(in_the_way + "/keep", "");
    EXPECT_THROW(save_results(*f.run, f.console), Stop) << blocked;
    EXPECT_EQ(read_file(f.file(".g")), "old g\n") << blocked;
    EXPECT_EQ(read_file(f.file(".gsv")), "old sums\n") << blocked;
    EXPECT_EQ(read_file(f.file(".out")), "old curves\n") << blocked;
    std::filesystem::remove_all(in_the_way);
    EXPECT_EQ(folder_entries(f.dir.path()), (std::vector<std::string>{"result.g", "result.gsv", "result.out"}))
        << blocked << ": no temporary file is left behind";
  }
}

// A model that is no longer finite is never saved: the save stops before its
// first line with the failure status, naming what is not finite, and every
// file of the earlier set stays as it was.
TEST(Save, ANonFiniteModelIsNotSavedOverTheEarlierResults) {
  const struct {
    const char* what;
    void (*plant)(yosta::Run& run);
    const char* named;
  } cases[] = {
      {"basis value", [](yosta::Run& r) { r.model.v[2][5] = std::nanf(""); }, "Basis function 2 at r = "},
      {"model F(Q)", [](yosta::Run& r) { r.model.sets[1].F_calc[50] = INFINITY; }, "Data set 1 ("},
      {"saved-set sums", [](yosta::Run& r) { r.sums.S1[1][48] = -INFINITY; }, "The sum of the saved sets"},
      {"penalty", [](yosta::Run& r) { r.model.S = std::nanf(""); }, "The smoothing penalty"},
  };
  Options o;
  o.save_targets = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f(o);
    write_file(f.file(".g"), "old g\n");
    write_file(f.file(".gsv"), "old sums\n");
    write_file(f.file(".out"), "old curves\n");
    f.run->control.moves_made = 5000;
    c.plant(*f.run);
    try {
      save_results(*f.run, f.console);
      ADD_FAILURE() << "saved";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status, failed_after_start_status);
      EXPECT_EQ(std::string(stop.what()).rfind(c.named, 0), 0u) << stop.what();
    }
    EXPECT_EQ(f.console_out.str(), "");
    EXPECT_EQ(read_file(f.file(".g")), "old g\n");
    EXPECT_EQ(read_file(f.file(".gsv")), "old sums\n");
    EXPECT_EQ(read_file(f.file(".out")), "old curves\n");
    EXPECT_EQ(folder_entries(f.dir.path()), (std::vector<std::string>{"result.g", "result.gsv", "result.out"}));
  }
}

// Temporary files of a save cut short (as by SIGKILL) have a fixed name next
// to root and are gone after the next save, also one of a file that save
// does not write.
TEST(Save, LeftoverTemporaryFilesAreRemovedByTheNextSave) {
  Fixture f;  // no target saving: no ".gsv" is written
  for (const char* ext : {".g", ".gsv", ".out"}) write_file(temp_name(f.file(ext)), "half a file");
  EXPECT_EQ(folder_entries(f.dir.path()),
            (std::vector<std::string>{"result.g.tmp", "result.gsv.tmp", "result.out.tmp"}));
  save_results(*f.run, f.console);
  EXPECT_EQ(folder_entries(f.dir.path()), (std::vector<std::string>{"result.g", "result.out"}));
  EXPECT_EQ(read_file(f.file(".g")), g_file_text(*f.run));
}

// Before the first move: a folder that cannot take the result files, or a
// result name taken by a folder, stops the run with the path and the reason.
TEST(ResultPlace, CheckedBeforeTheFirstMove) {
  struct Case {
    const char* name;
    bool save_targets;
    const char* folder;   // made under root's name + this extension; "" none
    const char* root;     // "" : the fixture's root
    std::string message;  // "" : accepted; otherwise the start of the message
  };
  const Case cases[] = {
      {"all free", true, "", "", ""},
      {".g a folder", false, ".g", "", "Cannot write result file \"@.g\": Is a directory"},
      {".out a folder", false, ".out", "", "Cannot write result file \"@.out\": Is a directory"},
      {".gsv a folder, saved", true, ".gsv", "", "Cannot write result file \"@.gsv\": Is a directory"},
      {".gsv a folder, not saved", false, ".gsv", "", ""},
      {"missing folder", false, "", "missing/run",
       "Cannot create file \"@.g.tmp\" for the results: No such file or directory"},
      {"system folder", false, "", "/sys/run", "Cannot create file \"@.g.tmp\" for the results: "},
  };
  for (const Case& c : cases) {
    Options o;
    o.save_targets = c.save_targets;
    Fixture f(o);
    RunParameters& p = f.run->params;
    if (*c.root != '\0') {
      const std::string root = c.root[0] == '/' ? std::string(c.root) : f.dir.file(c.root);
      p.root = padded(root);
      p.root_length = static_cast<std::int32_t>(root.size());
    }
    const std::string root = p.root.substr(0, static_cast<std::size_t>(p.root_length));
    if (*c.folder != '\0') std::filesystem::create_directory(root + c.folder);
    std::string got = "<accepted>";
    try {
      check_result_place(p);
    } catch (const Stop& stop) {
      got = stop.lines.at(0);
    }
    std::string expected = c.message;
    if (const std::size_t at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, root);
    if (expected.empty()) {
      EXPECT_EQ(got, "<accepted>") << c.name;
    } else {
      EXPECT_EQ(got.substr(0, expected.size()), expected) << c.name;
      if (expected.back() == ' ') {
        EXPECT_GT(got.size(), expected.size()) << c.name << ": the reason follows";
      }
    }
    // The probe leaves nothing behind.
    EXPECT_FALSE(std::filesystem::exists(root + ".g.tmp")) << c.name;
  }
}

}  // namespace
}  // namespace yosta
