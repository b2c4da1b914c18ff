#include "tools/statistics.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/stop.h"
#include "display/plots.h"
#include "text/free_writer.h"
#include "tools/picture.h"

namespace yosta::tools {
namespace {

std::int32_t add_counts(std::int64_t a, std::int64_t b, const std::string& what) {
  const std::int64_t sum = a + b;
  if (sum > std::numeric_limits<std::int32_t>::max() || sum < std::numeric_limits<std::int32_t>::min())
    throw Stop("The merged " + what + " (" + std::to_string(sum) + ") does not fit the file's 32-bit count");
  return static_cast<std::int32_t>(sum);
}

std::size_t u(int i) { return static_cast<std::size_t>(i); }

// Stop unless every file has the grid of the first one.
template <class File>
const File& common_grid(const std::vector<File>& files, const char* nothing) {
  if (files.empty()) throw Stop(nothing);
  const File& first = files.front();
  for (const File& f : files) formats::check_same_grid(first.path, first.r, first.nbasis(), f.path, f.r, f.nbasis());
  return first;
}

// Columns of value(file, p, j) summed over the files, in double precision.
template <class File, class Value>
formats::Columns sum_over(const std::vector<File>& files, Value value) {
  const File& first = files.front();
  formats::Columns t(u(first.nbasis()), std::vector<float>(u(first.nr()), 0.0f));
  for (std::size_t p = 0; p < t.size(); ++p)
    for (std::size_t j = 0; j < t[p].size(); ++j) {
      double sum = 0;
      for (const File& f : files) sum += value(f, p, j);
      t[p][j] = static_cast<float>(sum);
    }
  return t;
}

}  // namespace

formats::GsvFile merge_gsv(const std::vector<formats::GsvFile>& files) {
  formats::GsvFile out;
  out.r = common_grid(files, "Nothing to merge").r;
  out.S1 = sum_over(files, [](const formats::GsvFile& f, std::size_t p, std::size_t j) { return double{f.S1[p][j]}; });
  out.S2 = sum_over(files, [](const formats::GsvFile& f, std::size_t p, std::size_t j) { return double{f.S2[p][j]}; });
  for (const formats::GsvFile& f : files) {
    out.nsaved = add_counts(out.nsaved, f.nsaved, "number of saved sets");
    out.collect_count = add_counts(out.collect_count, f.collect_count, "collection count");
  }
  return out;
}

formats::GFile mean_g(const std::vector<formats::GFile>& files) {
  formats::GFile out;
  out.r = common_grid(files, "Nothing to average").r;
  const double n = static_cast<double>(files.size());
  out.v = sum_over(
      files, [n](const formats::GFile& f, std::size_t p, std::size_t j) { return static_cast<double>(f.v[p][j]) / n; });
  for (const formats::GFile& f : files) {
    out.generated = add_counts(out.generated, f.generated, "count of generated moves");
    out.accepted = add_counts(out.accepted, f.accepted, "count of accepted moves");
  }
  return out;
}

formats::GsvFile gsv_of_states(const std::vector<formats::GFile>& files) {
  formats::GsvFile out;
  out.r = common_grid(files, "Nothing to collect").r;
  out.S1 = sum_over(files, [](const formats::GFile& f, std::size_t p, std::size_t j) { return double{f.v[p][j]}; });
  out.S2 = sum_over(files, [](const formats::GFile& f, std::size_t p, std::size_t j) {
    const double v = f.v[p][j];
    return v * v;
  });
  out.nsaved = static_cast<std::int32_t>(files.size());
  out.collect_count = static_cast<std::int32_t>(files.size());
  return out;
}

Spread spread_of(const formats::GsvFile& gsv) {
  if (gsv.nsaved < 2)
    throw Stop("File \"" + gsv.path + "\" holds " + std::to_string(gsv.nsaved) + " saved set" +
               (gsv.nsaved == 1 ? "" : "s") +
               ": a spread needs at least 2 (run longer or with more target levels, or merge the"
               " .gsv files of several runs)");
  Spread s;
  s.source = gsv.path;
  s.nsets = gsv.nsaved;
  s.r = gsv.r;
  const double n = gsv.nsaved;
  s.mean.assign(u(gsv.nbasis()), std::vector<float>(u(gsv.nr()), 0.0f));
  s.sd = s.se = s.mean;
  for (int p = 0; p < gsv.nbasis(); ++p)
    for (int j = 0; j < gsv.nr(); ++j) {
      const double s1 = gsv.S1[u(p)][u(j)], s2 = gsv.S2[u(p)][u(j)];
      const double mean = s1 / n;
      // The sums are single precision: a tiny negative variance is rounding.
      const double var = std::max(0.0, (s2 - s1 * mean) / (n - 1.0));
      s.mean[u(p)][u(j)] = static_cast<float>(mean);
      s.sd[u(p)][u(j)] = static_cast<float>(std::sqrt(var));
      s.se[u(p)][u(j)] = static_cast<float>(std::sqrt(var / n));
    }
  return s;
}

std::string spread_table(const Spread& spread, float shift) {
  const int nbasis = static_cast<int>(spread.mean.size());
  std::string out = "# " + std::to_string(spread.nsets) + " saved sets from " + spread.source +
                    (shift != 0.0f ? "; means are the stored values + " + text::real_text(shift) : "") + "\n";
  out += "r";
  for (int p = 1; p <= nbasis; ++p) {
    const std::string n = std::to_string(p);
    out += " mean_" + n + " sd_" + n + " se_" + n;
  }
  out += '\n';
  std::string line;
  for (std::size_t j = 0; j < spread.r.size(); ++j) {
    text::append_item(line, spread.r[j]);
    for (int p = 0; p < nbasis; ++p) {
      text::append_item(line, spread.mean[u(p)][j] + shift);
      text::append_item(line, spread.sd[u(p)][j]);
      text::append_item(line, spread.se[u(p)][j]);
    }
    out += line + '\n';
    line.clear();
  }
  return out;
}

void spread_picture(const Spread& spread, float shift, const std::string& file, const std::vector<std::string>& names,
                    const std::string& y_label) {
  stage_spread_picture(spread, shift, file, names, y_label).commit();
}

StagedPicture stage_spread_picture(const Spread& spread, float shift, const std::string& file,
                                   const std::vector<std::string>& names, const std::string& y_label) {
  std::vector<PicturePanel> panels;
  for (std::size_t p = 0; p < spread.mean.size(); ++p) {
    PicturePanel panel;
    panel.x_label = "r/A";
    panel.y_label = y_label;
    std::string name = basis_name(names, p);
    if (!names.empty()) name += " (basis function " + std::to_string(p + 1) + ")";
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    panel.title = name + ": mean of " + std::to_string(spread.nsets) + " sets";
    PictureBand band;
    PictureCurve mean;
    mean.x = band.x = spread.r;
    for (std::size_t j = 0; j < spread.r.size(); ++j) {
      const float m = spread.mean[p][j] + shift;
      mean.y.push_back(m);
      band.lo.push_back(m - 2.0f * spread.sd[p][j]);
      band.hi.push_back(m + 2.0f * spread.sd[p][j]);
    }
    band.colour = mean.colour = 4;
    band.label = "+-2 sd";
    mean.label = "mean";
    panel.bands.push_back(std::move(band));
    panel.curves.push_back(std::move(mean));
    panels.push_back(std::move(panel));
  }
  return stage_picture(file, panels, 1);
}

}  // namespace yosta::tools
