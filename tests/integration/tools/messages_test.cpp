// The messages a user meets on the way from measured files to a fit's
// pictures: each says what is wrong and what to do, and what was done.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/stop.h"
#include "input/parameters.h"
#include "support/programs.h"
#include "text/free_reader.h"
#include "tools/subcommands.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

std::string example(const std::string& name) { return read_file(std::string(YOSTA_SOURCE_DIR) + "/examples/" + name); }

// The fixed-weight example (errors from the files, sigma -1) in `folder`.
void fixed_example(const TempDir& dir, const std::string& folder = "") {
  if (!folder.empty()) fs::create_directories(dir.file(folder));
  const std::string at = folder.empty() ? "" : folder + "/";
  for (const char* name : {"binary_fixed.dat", "fixed_F1.dat", "fixed_F2.dat", "fixed_F3.dat"})
    write_file(dir.file(at + name), example(name));
}

// `text` with its first `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The first set's file with only its first two columns.
void drop_error_column(const TempDir& dir) {
  const std::vector<std::string> lines = split_lines(read_file(dir.file("fixed_F1.dat")));
  std::string text = lines.at(0) + "\n" + lines.at(1) + "\n";
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::vector<double> v = numbers(lines[i]);
    if (v.size() >= 2) text += std::to_string(v[0]) + " " + std::to_string(v[1]) + "\n";
  }
  write_file(dir.file("fixed_F1.dat"), text);
}

struct MessageCase {
  const char* name;
  std::function<void(const TempDir&)> set_up;
  bool tools;  // yosta-tools, else yosta
  std::string args;
  int status;
  std::vector<std::string> says;
  std::string not_says;  // the old, misleading text
};

TEST(Messages, SayWhatIsWrongAndWhatToDo) {
  const std::vector<MessageCase> cases = {
      {"error columns beside a positive sigma",
       [](const TempDir& d) {
         fixed_example(d);
         std::string p = read_file(d.file("binary_fixed.dat"));
         for (int s = 0; s < 3; ++s) p = replaced(p, "\n-1.0", "\n0.003");
         write_file(d.file("binary_fixed.dat"), p);
       },
       false,
       "--seed 1 --max-moves 10 binary_fixed.dat",
       10,
       {" Data set 1 (fixed_F1.dat): chi-squared per point "},
       "values left over"},
      {"errors from the files: the report's standard deviation is explained",
       [](const TempDir& d) { fixed_example(d); },
       false,
       "--seed 1 --max-moves 10 binary_fixed.dat",
       10,
       {" Standard deviation           is 1.00000\n",
        " Data set 2 (fixed_F2.dat): the error of each point is read from the file's error column (sigma -1);"
        " the report's \"Standard deviation is 1.00000\" is not used\n"},
       "Interrupted"},
      {"a two-column file with sigma -1",
       [](const TempDir& d) {
         fixed_example(d);
         drop_error_column(d);
       },
       false,
       "--seed 1 --max-moves 10 binary_fixed.dat",
       1,
       {"\"fixed_F1.dat\", line 3: point 1 has Q and F(Q) but no error of F(Q)",
        "a negative sigma reads each point's error from a third column"},
       "end of file"},
      {"a measured file given as a data file",
       [](const TempDir& d) {
         fixed_example(d);
         write_file(d.file("fixed_F2.dat"), "# instrument output\n# Q F err\n0.3 -0.4 0.003\n0.35 -0.41 0.003\n");
       },
       false,
       "--seed 1 --max-moves 10 binary_fixed.dat",
       1,
       {"\"fixed_F2.dat\", line 1: expected number of Q points (integer), found \"#\"", "yosta-tools import"},
       ""},
      {"a set with per-point coefficients among the fixed ones",
       [](const TempDir& d) {
         fixed_example(d);
         write_file(d.file("fixed_F3.dat"), example("binary_F3.dat"));
       },
       false,
       "--seed 1 --max-moves 10 binary_fixed.dat",
       1,
       {"Data file fixed_F3.dat (data set 3) holds Q, F(Q) and 3 more numbers on every point row",
        "count it in nsets_qdep"},
       "has an error of 0"},
      {"data files beside a parameter file in another folder",
       [](const TempDir& d) { fixed_example(d, "sub"); },
       false,
       "--seed 1 --max-moves 10 sub/binary_fixed.dat",
       1,
       {"Cannot open file \"fixed_F1.dat\"", "relative to the folder the program runs in",
        "There is a sub/fixed_F1.dat: run the program in sub"},
       ""},
      {"names for the plots, one short",
       [](const TempDir& d) { fixed_example(d); },
       false,
       "--seed 1 --max-moves 10 --names AA,AB binary_fixed.dat",
       1,
       {"--names \"AA,AB\" gives 2 names for 3 basis functions"},
       "Saving"},
      {"errors of one .g file",
       [](const TempDir& d) { write_file(d.file("run.g"), "2\n1 1\n0.1 0.5\n0.2 0.5\n"); },
       true,
       "errors run.g",
       1,
       {"\"run.g\" is one .g file", "at least 2 sets", "the .g files of 2 or more runs"},
       "basis functions must be"},
      {"an option of yosta before --",
       [](const TempDir& d) { fixed_example(d); },
       true,
       "ensemble binary_fixed.dat -n 4 --max-moves 3000000 -d ens",
       1,
       {"--max-moves",
        "Options for every yosta member go after --, as in: yosta-tools ensemble PARAMETER_FILE -n K"
        " -- --max-moves N"},
       ""},
      {"import of a folder",
       [](const TempDir& d) { fixed_example(d, "measured"); },
       true,
       "import measured -o x.dat",
       1,
       {"measured is a folder: give one file of columns in it (it holds binary_fixed.dat, fixed_F1.dat, "
        "fixed_F2.dat, fixed_F3.dat)"},
       "rows of numbers"},
  };
  for (const MessageCase& c : cases) {
    TempDir dir;
    c.set_up(dir);
    const CommandResult r = c.tools ? run_tools(dir, c.args) : run_yosta(dir, c.args);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
    for (const std::string& text : c.says) {
      EXPECT_NE(r.output.find(text), std::string::npos) << c.name << "\n" << r.output;
    }
    if (!c.not_says.empty()) {
      EXPECT_EQ(r.output.find(c.not_says), std::string::npos) << c.name << "\n" << r.output;
    }
    if (c.args.rfind("ensemble", 0) == 0) {
      EXPECT_FALSE(fs::exists(dir.file("ens"))) << c.name << ": a member was set up";
    }
  }
}

// The files written are named on the console: the plot of a run, and the
// table and picture of the errors (beside a table on the console, on the
// error stream, so that the table can be redirected alone).
TEST(Messages, WrittenFilesAreNamed) {
  TempDir dir;
  fixed_example(dir);
  ASSERT_EQ(run_yosta(dir, "--seed 1 --max-moves 10 binary_fixed.dat").status, 10);
  const CommandResult plot = run_tools(dir, "plot binary_fixed.out -o fit.png");
  EXPECT_EQ(plot.status, 0) << plot.output;
  // The first line (a sanitizer build may add its report after it).
  EXPECT_EQ(
      plot.output.rfind(
          "Wrote fit.png: 3 data set(s) with fit and residual, the basis functions, the partial structure factors\n",
          0),
      0u)
      << plot.output;
  ASSERT_EQ(run_command("cp binary_fixed.g a.g && cp binary_fixed.g b.g", dir.path()).status, 0);
  const CommandResult table = run_tools(dir, "errors a.g b.g -o e.txt --plot e.png");
  EXPECT_EQ(table.status, 0) << table.output;
  EXPECT_NE(table.output.find("Wrote e.txt: mean, standard deviation and standard error of 3 basis functions over 2"
                              " sets\nWrote e.png: "),
            std::string::npos)
      << table.output;
  const CommandResult console = run_command("'" + tools_binary() + "' errors a.g b.g 2>/dev/null", dir.path());
  EXPECT_EQ(console.output.find("Wrote"), std::string::npos) << console.output;
}

// A run ended by a signal says so in its summary.
TEST(Messages, AnInterruptedRunSaysSo) {
  TempDir dir;
  fixed_example(dir);
  const CommandResult r = run_command("'" + yosta_binary() +
                                          "' --seed 3 binary_fixed.dat > log.txt 2>&1 & pid=$!; sleep 1.5; "
                                          "kill -INT $pid; wait $pid; echo status=$?",
                                      dir.path());
  const std::string log = read_file(dir.file("log.txt"));
  const auto summary = log.find("\n Run summary\n");
  ASSERT_NE(summary, std::string::npos) << r.output << log;
  EXPECT_NE(log.find(" Interrupted: the fit stopped early, on a signal, after ", summary), std::string::npos) << log;
}

// A coefficient record of `weights --paste` reads back, through the reader of
// the parameter file, to the numbers printed; its names cost nothing, and a
// record with too few weights is refused at the first name.
TEST(Messages, PastedCoefficientRecordsReadBack) {
  TempDir dir;
  const std::string file = dir.file("pasted_record.dat");
  const std::vector<double> w = {0.0374422, -0.0965152, 0.062197};
  const std::string record = tools::coefficient_record(w, {"O-O", "O-H", "H-H"}, "H2O");
  EXPECT_EQ(record, "0.0374422 -0.0965152 0.062197   O-O O-H H-H (H2O)");
  const std::string parameters = example("binary_fixed.dat");
  const std::string ours =
      replaced(parameters, "0.1225  0.2450  0.1225     w_AA w_AB w_BB (barn): natural A, natural B", record);
  write_file(file, ours);
  text::FreeReader reader = text::FreeReader::open(file);
  const RunParameters p = read_parameters(reader);
  for (std::size_t b = 0; b < 3; ++b) EXPECT_EQ(p.sets[0].coefficients[b], static_cast<float>(w[b])) << b;
  EXPECT_EQ(p.sets[1].coefficients[1], -0.1225f);  // the next set is read as before

  const std::string two = tools::coefficient_record({0.1, 0.2}, {"A-A", "A-B"}, "");
  EXPECT_EQ(two, "0.1 0.2   A-A A-B");
  write_file(file, replaced(parameters, "0.1225  0.2450  0.1225     w_AA", two + " w_AA"));
  text::FreeReader short_reader = text::FreeReader::open(file);
  try {
    (void)read_parameters(short_reader);
    ADD_FAILURE() << "a record with two weights for three basis functions was read";
  } catch (const Stop& stop) {
    EXPECT_NE(stop.lines.at(0).find("found \"A-A\""), std::string::npos) << stop.lines.at(0);
  }
}

}  // namespace
}  // namespace yosta::testing
