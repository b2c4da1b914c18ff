// yosta-tools misfit: how far the model of a finished fit lies from each data set,
// read from its root.out file. The root-mean-square difference between the model and
// the corrected data over the fitted points is the error that would give that set a
// chi-squared of 1 per point: the sigma to give the set when its file errors (counting
// statistics) are much smaller than what the model can reach (systematic errors), so
// that the sets are weighted by how well they can be fitted and the walk samples at
// the right temperature.
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "tools/columns.h"
#include "tools/subcommands.h"

namespace yosta::tools {
namespace {

struct SetMisfit {
  int points = 0;
  double q_first = 0, q_last = 0;
  double rms = 0;       // of model - corrected data
  double mean = 0;      // of model - corrected data
  double rms_data = 0;  // of the corrected data, for scale
};

class OutReader {
 public:
  explicit OutReader(std::string path) : path_(std::move(path)), in_(path_) {
    if (!in_) throw Stop(path_ + ": cannot be opened");
  }
  std::string line(const std::string& what) {
    std::string text;
    if (!std::getline(in_, text)) throw Stop(path_ + ": ends at line " + std::to_string(number_) + ", before " + what);
    ++number_;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
  }
  std::vector<double> numbers(const std::string& what, std::size_t count) {
    const std::string text = line(what);
    std::istringstream items(text);
    std::vector<double> v;
    std::string item;
    while (v.size() < count && items >> item) {
      v.push_back(parse_number(item, what + " item " + std::to_string(v.size() + 1), where()));
    }
    if (v.size() < count)
      throw Stop(where() + ": " + what + " needs " + std::to_string(count) + " numbers, found " +
                 std::to_string(v.size()) + " in '" + text + "'");
    return v;
  }
  std::string where() const { return path_ + " line " + std::to_string(number_); }

 private:
  std::string path_;
  std::ifstream in_;
  int number_ = 0;
};

int whole(double x, const std::string& what, const OutReader& r, int lo, int hi) {
  if (x != std::floor(x) || x < lo || x > hi)
    throw Stop(r.where() + ": " + what + " must be a whole number from " + std::to_string(lo) + " to " +
               std::to_string(hi) + ", not " + format("%g", x));
  return static_cast<int>(x);
}

std::vector<SetMisfit> read_misfits(const std::string& path) {
  OutReader r(path);
  if (r.line("the heading").rfind("Results from", 0) != 0)
    throw Stop(r.where() + ": not a result (.out) file: the first line is not 'Results from ...'");
  r.line("TITLE");
  r.line("the title");
  const int nsets = whole(r.numbers("the number of data sets", 1)[0], "the number of data sets", r, 1, 4);
  std::vector<SetMisfit> sets;
  for (int s = 0; s < nsets; ++s) {
    const std::string set = "data set " + std::to_string(s + 1);
    r.line(set + " label");
    const std::string curves = r.line(set + " CURVES");
    if (curves.find("CURVES") == std::string::npos)
      throw Stop(r.where() + ": 'CURVES' expected for " + set + ", found '" + curves + "'");
    const std::vector<double> nm = r.numbers(set + " row and curve counts", 2);
    const int n = whole(nm[0], set + " row count", r, 1, 1100);
    const int m = whole(nm[1], set + " curve count", r, 3, 4);
    SetMisfit f;
    f.points = n;
    double s1 = 0, s2 = 0, sd = 0;
    for (int k = 0; k < n; ++k) {
      const std::vector<double> v = r.numbers(set + " row " + std::to_string(k + 1), 1 + m);
      const double model = v[m == 3 ? 1 : 2];  // broadened model when the resolution is on
      const double data = v[m == 3 ? 2 : 3];
      if (k == 0) f.q_first = v[0];
      f.q_last = v[0];
      s1 += model - data;
      s2 += (model - data) * (model - data);
      sd += data * data;
    }
    f.mean = s1 / n;
    f.rms = std::sqrt(s2 / n);
    f.rms_data = std::sqrt(sd / n);
    sets.push_back(f);
  }
  return sets;
}

}  // namespace

void add_misfit(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "misfit", "Misfit of each data set in a result (.out) file: the sigma that gives chi-squared 1 per point");
  auto path = std::make_shared<std::string>();
  sub->add_option("file", *path, "the root.out file of a finished fit")->required();
  sub->footer(
      "Prints, for each data set, the fitted points and their Q range, the root-mean-square and mean\n"
      "difference between the model and the corrected data, and the size of the corrected data.\n"
      "The RMS difference is the error that gives the set a chi-squared of 1 per point: give it as\n"
      "the set's sigma (record 'sigma', a positive value) for the next fit.\n"
      "Example:\n  yosta-tools misfit water_3sets.out");
  sub->callback([path] {
    const std::vector<SetMisfit> sets = read_misfits(*path);
    std::cout << format("%-4s %7s %9s %9s %12s %12s %12s\n", "set", "points", "Q from", "Q to", "RMS misfit",
                        "mean misfit", "RMS data");
    for (std::size_t s = 0; s < sets.size(); ++s) {
      const SetMisfit& f = sets[s];
      std::cout << format("%-4zu %7d %9.4g %9.4g %12.4g %12.4g %12.4g\n", s + 1, f.points, f.q_first, f.q_last, f.rms,
                          f.mean, f.rms_data);
    }
    std::cout << "sigma for chi-squared 1 per point:";
    for (const SetMisfit& f : sets) std::cout << format(" %.2g", f.rms);
    std::cout << "\n";
  });
}

}  // namespace yosta::tools
