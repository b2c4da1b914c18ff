#include "tools/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/stop.h"
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

}  // namespace

GsvFile merge_gsv(const std::vector<GsvFile>& files) {
  if (files.empty()) throw Stop("Nothing to merge");
  const GsvFile& first = files.front();
  for (const GsvFile& f : files) check_same_grid(first.path, first.r, first.nbasis(), f.path, f.r, f.nbasis());
  GsvFile out;
  out.r = first.r;
  out.S1.assign(u(first.nbasis()), std::vector<float>(u(first.nr()), 0.0f));
  out.S2 = out.S1;
  std::int32_t nsaved = 0, collect = 0;
  for (int p = 0; p < first.nbasis(); ++p)
    for (int j = 0; j < first.nr(); ++j) {
      double s1 = 0, s2 = 0;
      for (const GsvFile& f : files) {
        s1 += f.S1[u(p)][u(j)];
        s2 += f.S2[u(p)][u(j)];
      }
      out.S1[u(p)][u(j)] = static_cast<float>(s1);
      out.S2[u(p)][u(j)] = static_cast<float>(s2);
    }
  for (const GsvFile& f : files) {
    nsaved = add_counts(nsaved, f.nsaved, "number of saved sets");
    collect = add_counts(collect, f.collect_count, "collection count");
  }
  out.nsaved = nsaved;
  out.collect_count = collect;
  return out;
}

GFile mean_g(const std::vector<GFile>& files) {
  if (files.empty()) throw Stop("Nothing to average");
  const GFile& first = files.front();
  for (const GFile& f : files) check_same_grid(first.path, first.r, first.nbasis(), f.path, f.r, f.nbasis());
  GFile out;
  out.r = first.r;
  out.v.assign(u(first.nbasis()), std::vector<float>(u(first.nr()), 0.0f));
  for (int p = 0; p < first.nbasis(); ++p)
    for (int j = 0; j < first.nr(); ++j) {
      double sum = 0;
      for (const GFile& f : files) sum += f.v[u(p)][u(j)];
      out.v[u(p)][u(j)] = static_cast<float>(sum / static_cast<double>(files.size()));
    }
  std::int32_t generated = 0, accepted = 0;
  for (const GFile& f : files) {
    generated = add_counts(generated, f.generated, "count of generated moves");
    accepted = add_counts(accepted, f.accepted, "count of accepted moves");
  }
  out.generated = generated;
  out.accepted = accepted;
  return out;
}

GsvFile gsv_of_states(const std::vector<GFile>& files) {
  if (files.empty()) throw Stop("Nothing to collect");
  const GFile& first = files.front();
  for (const GFile& f : files) check_same_grid(first.path, first.r, first.nbasis(), f.path, f.r, f.nbasis());
  GsvFile out;
  out.r = first.r;
  out.S1.assign(u(first.nbasis()), std::vector<float>(u(first.nr()), 0.0f));
  out.S2 = out.S1;
  for (int p = 0; p < first.nbasis(); ++p)
    for (int j = 0; j < first.nr(); ++j) {
      double s1 = 0, s2 = 0;
      for (const GFile& f : files) {
        const double v = f.v[u(p)][u(j)];
        s1 += v;
        s2 += v * v;
      }
      out.S1[u(p)][u(j)] = static_cast<float>(s1);
      out.S2[u(p)][u(j)] = static_cast<float>(s2);
    }
  out.nsaved = static_cast<std::int32_t>(files.size());
  out.collect_count = static_cast<std::int32_t>(files.size());
  return out;
}

Spread spread_of(const GsvFile& gsv) {
  if (gsv.nsaved < 2)
    throw Stop("File \"" + gsv.path + "\" holds " + std::to_string(gsv.nsaved) +
               " saved set" + (gsv.nsaved == 1 ? "" : "s") +
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

void spread_picture(const Spread& spread, float shift, const std::string& file) {
  std::vector<PicturePanel> panels;
  for (std::size_t p = 0; p < spread.mean.size(); ++p) {
    PicturePanel panel;
    panel.x_label = "r/A";
    panel.y_label = shift != 0.0f ? "g(r)" : "G(r)";
    panel.title = "Basis function " + std::to_string(p + 1) + ": mean of " + std::to_string(spread.nsets) +
                  " sets";
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
  draw_picture(file, panels, 1);
}

}  // namespace yosta::tools
