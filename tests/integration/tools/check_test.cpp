#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;
constexpr double pi = 3.14159265358979323846;

// An input of three sets and three basis functions, ready in a scratch folder: the
// parameter file, its three coefficient records as written there, the data files, the
// set whose data are spoilt and the sum of its weights, and whether exchanging the
// weights of basis functions 2 and 3 can show at all (not in the example, whose
// partials 2 and 3 are both zero up to 2.65 A and whose weights 2 and 3 of set 1 are
// equal), and whether Q F(Q) in place of F(Q) is told apart (not in the example, whose
// F(Q) ends at 20 with a ripple that Q times it raises to 0.16 of the first quarter's,
// below the limit that the short X-ray set of water needs).
struct Inputs {
  std::string name;
  std::string parameter_file;
  std::vector<std::string> records;
  std::vector<std::string> data_files;
  std::size_t spoilt = 0;
  double spoilt_sum = 0;
  bool order_shows = true;
  bool q_times_shows = true;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The bundled example with its weights in the parameter file and errors in the data.
Inputs example(const TempDir& dir) {
  const std::string src = std::string(YOSTA_SOURCE_DIR) + "/examples/";
  Inputs in{"example",
            "binary_fixed.dat",
            {"0.1225  0.2450  0.1225", "0.030625  -0.1225  0.1225", "0.1225  0.0525  0.005625"},
            {"fixed_F1.dat", "fixed_F2.dat", "fixed_F3.dat"},
            0,
            0.1225 + 0.2450 + 0.1225,
            false,
            false};
  for (const std::string& f : {in.parameter_file, in.data_files[0], in.data_files[1], in.data_files[2]})
    fs::copy_file(src + f, dir.file(f));
  return in;
}

// The measured water contrasts, imported from the reduction program's files, with the
// recipe's parameter file. Empty name when the measured data are absent.
Inputs water(const TempDir& dir) {
  const std::string data = realdata_folder();
  if (data.empty() || !fs::exists(data + "/water/neutron")) return {};
  Inputs in{"water",
            "water_3sets.dat",
            {"0.0374422 -0.0965152 0.062197", "0.0374422 0.172189 0.197966", "0.0374422 0.037837 0.00955897"},
            {"H2O.dat", "D2O.dat", "HDO.dat"},
            1,
            0.0374422 + 0.172189 + 0.197966,
            true,
            true};
  const char* raw[] = {"SLS18498-H2O", "SLS18502-D2O", "SLS18500-HDO5050"};
  for (int i = 0; i < 3; ++i) {
    const CommandResult r = run_tools(dir, "import " + data + "/water/neutron/" + raw[i] + ".mint01 -o " +
                                               in.data_files[static_cast<std::size_t>(i)]);
    EXPECT_EQ(r.status, 0) << r.output;
  }
  fs::copy_file(std::string(YOSTA_SOURCE_DIR) + "/examples/water/water_3sets.dat", dir.file(in.parameter_file));
  return in;
}

// Rewrites the F column of a data file in the program's layout.
void rewrite_f(const std::string& path, const std::function<double(double)>& change) {
  const std::vector<std::string> lines = split_lines(read_file(path));
  std::string out = lines[0] + "\n" + lines[1] + "\n";
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::vector<double> v = numbers(lines[i]);
    if (v.size() < 2) continue;
    char row[200];
    std::snprintf(row, sizeof row, "%.6f %.8e", v[0], change(v[1]));
    out += row;
    for (std::size_t c = 2; c < v.size(); ++c) out += " " + std::to_string(v[c]);
    out += "\n";
  }
  write_file(path, out);
}

// The weights of every record with columns a and b exchanged.
std::string swap_columns(const std::string& record, std::size_t a, std::size_t b) {
  std::vector<std::string> w;
  std::string item;
  for (char c : record + " ") {
    if (c == ' ') {
      if (!item.empty()) w.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  std::swap(w[a], w[b]);
  return w[0] + " " + w[1] + " " + w[2];
}

struct Case {
  const char* what;
  // Changes the inputs in the folder; returns what the findings must say.
  std::function<std::vector<std::string>(const TempDir&, const Inputs&)> spoil;
};

const Case cases[] = {
    {"as given", [](const TempDir&, const Inputs&) { return std::vector<std::string>{}; }},
    {"weights of basis functions 2 and 3 exchanged in every set",
     [](const TempDir& dir, const Inputs& in) {
       if (!in.order_shows) return std::vector<std::string>{};
       std::string p = read_file(dir.file(in.parameter_file));
       for (const std::string& r : in.records) p = replaced(p, r, swap_columns(r, 1, 2));
       write_file(dir.file(in.parameter_file), p);
       return std::vector<std::string>{"direct inversion", "wrong order"};
     }},
    {"the data files of sets 2 and 3 exchanged (sets mislabelled)",
     [](const TempDir& dir, const Inputs& in) {
       const std::string two = dir.file(in.data_files[1]), three = dir.file(in.data_files[2]);
       fs::rename(two, two + ".tmp");
       fs::rename(three, two);
       fs::rename(two + ".tmp", three);
       return std::vector<std::string>{in.data_files[1] + ": below the shortest zero range",
                                       in.data_files[2] + ": below the shortest zero range"};
     }},
    {"normalised S(Q) in place of F(Q)",
     [](const TempDir& dir, const Inputs& in) {
       const double sum = in.spoilt_sum;
       rewrite_f(dir.file(in.data_files[in.spoilt]), [sum](double f) { return 1.0 + f / sum; });
       return std::vector<std::string>{in.data_files[in.spoilt] + " tends to", "looks like S(Q)"};
     }},
    {"Q F(Q) in place of F(Q)",
     [](const TempDir& dir, const Inputs& in) {
       if (!in.q_times_shows) return std::vector<std::string>{};
       const std::string path = dir.file(in.data_files[in.spoilt]);
       const std::vector<std::string> lines = split_lines(read_file(path));
       std::string out = lines[0] + "\n" + lines[1] + "\n";
       for (std::size_t i = 2; i < lines.size(); ++i) {
         std::vector<double> v = numbers(lines[i]);
         if (v.size() < 2) continue;
         v[1] *= v[0];
         for (double x : v) out += std::to_string(x) + " ";
         out += "\n";
       }
       write_file(path, out);
       return std::vector<std::string>{in.data_files[in.spoilt] + ": the ripple of F(Q)", "divide it by Q"};
     }},
    {"a set 4 pi times too large",
     [](const TempDir& dir, const Inputs& in) {
       rewrite_f(dir.file(in.data_files[in.spoilt]), [](double f) { return 4.0 * pi * f; });
       return std::vector<std::string>{in.data_files[in.spoilt] + ": below the shortest zero range", "4 pi"};
     }},
    {"a set 4 pi times too small",
     [](const TempDir& dir, const Inputs& in) {
       rewrite_f(dir.file(in.data_files[in.spoilt]), [](double f) { return f / (4.0 * pi); });
       return std::vector<std::string>{in.data_files[in.spoilt] + ": below the shortest zero range", "different units"};
     }},
};

int count(const std::string& text, const std::string& word) {
  int n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

void check_cases(const std::function<Inputs(const TempDir&)>& make) {
  for (const Case& c : cases) {
    TempDir dir;
    const Inputs in = make(dir);
    if (in.name.empty()) GTEST_SKIP() << "no measured data at " << realdata_dir();
    const std::vector<std::string> says = c.spoil(dir, in);
    if (says.empty() && std::string(c.what) != "as given") continue;
    const CommandResult r = run_tools(dir, "check " + in.parameter_file);
    SCOPED_TRACE(in.name + ", " + c.what + ":\n" + r.output);
    // Every set is reported with its file, grid and levels.
    for (const std::string& f : in.data_files) EXPECT_NE(r.output.find("(" + f + "): "), std::string::npos);
    EXPECT_EQ(count(r.output, "transform of F(Q) over r"), 3);
    EXPECT_EQ(count(r.output, "(zero range)"), 3);
    if (says.empty()) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(count(r.output, "FINDING"), 0);
      EXPECT_NE(r.output.find("No findings"), std::string::npos);
    } else {
      EXPECT_EQ(r.status, 2);
      for (const std::string& s : says) EXPECT_NE(r.output.find(s), std::string::npos) << s;
    }
  }
}

TEST(Check, FindsWrongWeightOrderUnitsAndStructureFactorsInTheExample) { check_cases(example); }

TEST(Check, FindsWrongWeightOrderUnitsAndStructureFactorsInMeasuredWater) { check_cases(water); }

TEST(Check, ReportsTheXraySetOfTheFourSetFitWithoutInversion) {
  TempDir dir;
  const Inputs in = water(dir);
  if (in.name.empty()) GTEST_SKIP() << "no measured data at " << realdata_dir();
  const std::string x = realdata_folder() + "/water/xray/PCCPfofq.txt";
  for (const std::string& a : {"import " + x + " -o xray_raw.dat",
                               std::string("weights xray --composition \"O:1 H:2\" --q-from xray_raw.dat -o xw.dat"),
                               std::string("import xw.dat --qdep --grid-like H2O.dat -o xray.dat")})
    ASSERT_EQ(run_tools(dir, a).status, 0) << a;
  fs::copy_file(std::string(YOSTA_SOURCE_DIR) + "/examples/water/water_4sets.dat", dir.file("water_4sets.dat"));
  const CommandResult r = run_tools(dir, "check water_4sets.dat");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Data set 4 (xray.dat): 995 points"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("fitted points 7 to 213, Q 0.5 to 10.8"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("No direct inversion: 4 data sets for 3 basis functions"), std::string::npos) << r.output;
}

TEST(Check, SetsThatCannotSeparateTheBasisFunctionsAreAFinding) {
  struct Row {
    const char* what;
    int from, to;  // the third record becomes the record `from`, or zeros when -1
    const char* says;
  };
  const Row rows[] = {{"the third set given the second set's weights", 1, 2, "do not separate the basis functions"},
                      {"the third set given zero weights", -1, 2, "fixed_F3.dat: every weight of this set is 0"}};
  for (const Row& row : rows) {
    TempDir dir;
    const Inputs in = example(dir);
    const std::string record = row.from < 0 ? "0.0 0.0 0.0" : in.records[static_cast<std::size_t>(row.from)];
    write_file(dir.file(in.parameter_file),
               replaced(read_file(dir.file(in.parameter_file)), in.records[static_cast<std::size_t>(row.to)], record));
    const CommandResult r = run_tools(dir, "check " + in.parameter_file);
    EXPECT_EQ(r.status, 2) << row.what << "\n" << r.output;
    EXPECT_NE(r.output.find(row.says), std::string::npos) << row.what << "\n" << r.output;
  }
}

TEST(Check, UnreadableInputEndsWithStatusOneNamingTheFile) {
  TempDir dir;
  const Inputs in = example(dir);
  fs::remove(dir.file(in.data_files[2]));
  const CommandResult missing = run_tools(dir, "check " + in.parameter_file);
  EXPECT_EQ(missing.status, 1) << missing.output;
  EXPECT_NE(missing.output.find(in.data_files[2]), std::string::npos) << missing.output;
  const CommandResult absent = run_tools(dir, "check nothing.dat");
  EXPECT_EQ(absent.status, 1) << absent.output;
  EXPECT_NE(absent.output.find("nothing.dat"), std::string::npos) << absent.output;
}

}  // namespace
}  // namespace yosta::testing
