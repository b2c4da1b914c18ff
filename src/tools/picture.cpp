#include "tools/picture.h"

#include <cpgplot.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "base/stop.h"
#include "display/plots.h"
#include "tools/outputs.h"

namespace yosta::tools {
namespace {

namespace fs = std::filesystem;

struct Limits {
  float lo = std::numeric_limits<float>::infinity();
  float hi = -std::numeric_limits<float>::infinity();
  void add(float v) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  // Padded by `margin` of the range on each side; flat or empty ranges widened.
  void pad(float margin) {
    if (lo > hi) {
      lo = -1.0f;
      hi = 1.0f;
      return;
    }
    const float size = std::max(std::fabs(lo), std::fabs(hi));
    float extra = margin * (hi - lo);
    if (hi - lo <= 1.0e-6f * std::max(1.0f, size)) extra = std::max(1.0e-3f, 0.05f * size);
    lo -= extra;
    hi += extra;
  }
};

// Light tint of colour index `ci`, set up in index 16 + ci.
int tint(int ci) {
  float r = 0, g = 0, b = 0;
  cpgqcr(ci, &r, &g, &b);
  const int index = 16 + ci;
  cpgscr(index, 0.75f + 0.25f * r, 0.75f + 0.25f * g, 0.75f + 0.25f * b);
  return index;
}

bool inside(float x, float x_max) { return x_max <= 0.0f || x <= x_max; }

// The text of a value for a note: three significant digits.
std::string short_number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", static_cast<double>(v));
  return text;
}

void draw_panel(const PicturePanel& panel, float x0, float x1, float y0, float y1) {
  Limits xs, ys;
  std::vector<float> values;  // every value drawn, for the robust limits
  for (const PictureBand& band : panel.bands)
    for (std::size_t i = 0; i < band.x.size(); ++i) {
      if (!inside(band.x[i], panel.x_max)) continue;
      xs.add(band.x[i]);
      values.push_back(band.lo[i]);
      values.push_back(band.hi[i]);
    }
  for (const PictureCurve& curve : panel.curves)
    for (std::size_t i = 0; i < curve.x.size(); ++i) {
      if (!inside(curve.x[i], panel.x_max)) continue;
      xs.add(curve.x[i]);
      const float e = curve.error.empty() ? 0.0f : std::fabs(curve.error[i]);
      values.push_back(curve.y[i] - e);
      values.push_back(curve.y[i] + e);
    }
  // A few values far outside the body of the curves would squash it into a
  // line: they run off the panel, and a note says how far they go.
  const RobustRange range = robust_range(std::move(values));
  ys.add(range.lo);
  ys.add(range.hi);
  xs.pad(0.0f);
  ys.pad(0.08f);
  if (range.clipped_high()) ys.hi = std::min(ys.hi, range.hi + 0.02f * (range.hi - range.lo));
  if (range.clipped_low()) ys.lo = std::max(ys.lo, range.lo - 0.02f * (range.hi - range.lo));
  std::string note;
  if (range.clipped_high()) note = "off scale up to " + short_number(range.high);
  if (range.clipped_low()) note += (note.empty() ? "off scale down to " : ", down to ") + short_number(range.low);
  ys.hi += 0.15f * (ys.hi - ys.lo);  // room for the legend

  cpgsvp(x0, x1, y0, y1);
  cpgswin(xs.lo, xs.hi, ys.lo, ys.hi);
  cpgsci(1);
  cpgsfs(1);
  for (const PictureBand& band : panel.bands) {
    std::vector<float> px, py;
    for (std::size_t i = 0; i < band.x.size(); ++i)
      if (inside(band.x[i], panel.x_max)) {
        px.push_back(band.x[i]);
        py.push_back(band.hi[i]);
      }
    for (std::size_t i = band.x.size(); i-- > 0;)
      if (inside(band.x[i], panel.x_max)) {
        px.push_back(band.x[i]);
        py.push_back(band.lo[i]);
      }
    if (px.size() >= 3) {
      cpgsci(tint(band.colour));
      cpgpoly(static_cast<int>(px.size()), px.data(), py.data());
    }
  }
  cpgslw(2);
  for (const PictureCurve& curve : panel.curves) {
    int n = 0;
    while (static_cast<std::size_t>(n) < curve.x.size() && inside(curve.x[static_cast<std::size_t>(n)], panel.x_max))
      ++n;
    if (n == 0) continue;
    cpgsci(curve.colour);
    if (curve.points) {
      if (!curve.error.empty()) {
        cpgslw(1);
        cpgerrb(6, n, curve.x.data(), curve.y.data(), curve.error.data(), 0.0f);
        cpgslw(2);
      }
      cpgpt(n, curve.x.data(), curve.y.data(), -1);
    } else if (n >= 2) {
      cpgline(n, curve.x.data(), curve.y.data());
    }
  }
  cpgslw(1);
  cpgsci(1);
  // The value axis label far enough out to clear value labels as wide as
  // "-5x10^-3" (small residuals).
  cpgbox(panel.x_label.empty() ? "BCST" : "BCNST", 0.0f, 0, "BCNSTV", 0.0f, 0);
  cpglab(literal_text(panel.x_label).c_str(), "", "");
  // The title where cpglab puts it, its letters made smaller when it would
  // run past the frame (a long run title before the first set's file name).
  if (!panel.title.empty()) {
    const std::string title = literal_text(panel.title);
    float title_height = 1.0f;
    cpgqch(&title_height);
    float box_x[4] = {}, box_y[4] = {};
    cpgqtxt(xs.lo, ys.lo, 0.0f, 0.0f, title.c_str(), box_x, box_y);  // its box in world units
    const float title_x = std::fabs(box_x[2] - box_x[0]);
    const float frame = xs.hi - xs.lo;
    const float shrink = title_x > frame ? frame / title_x : 1.0f;
    cpgsch(title_height * shrink);
    cpgmtxt("T", 2.0f / shrink, 0.5f, 0.5f, title.c_str());  // the same baseline
    cpgsch(title_height);
  }
  cpgmtxt("L", 5.0f, 0.5f, 0.5f, literal_text(panel.y_label).c_str());

  // Legend: one entry a line, top right inside the frame.
  float legend_height = 1.0f;
  cpgqch(&legend_height);
  cpgsch(0.85f * legend_height);
  float char_x = 0, char_y = 0;
  cpgqcs(4, &char_x, &char_y);  // character size in world units
  const float step = 1.25f * char_y;
  const float seg = 0.05f * (xs.hi - xs.lo);
  float lx = xs.hi - 0.27f * (xs.hi - xs.lo);
  float ly = ys.hi - 1.0f * char_y;
  auto entry = [&](int colour, const std::string& label, bool points, bool band) {
    if (label.empty()) return;
    if (band) {
      float bx[4] = {lx, lx + seg, lx + seg, lx};
      float by[4] = {ly - 0.25f * step, ly - 0.25f * step, ly + 0.25f * step, ly + 0.25f * step};
      cpgsci(tint(colour));
      cpgpoly(4, bx, by);
    } else if (points) {
      float px = lx + 0.5f * seg, py = ly;
      cpgsci(colour);
      cpgpt(1, &px, &py, 17);
    } else {
      float px[2] = {lx, lx + seg}, py[2] = {ly, ly};
      cpgsci(colour);
      cpgslw(3);
      cpgline(2, px, py);
      cpgslw(1);
    }
    cpgsci(1);
    cpgtext(lx + 1.4f * seg, ly - 0.35f * char_y, literal_text(label).c_str());
    ly -= step;
  };
  for (const PictureBand& band : panel.bands) entry(band.colour, band.label, false, true);
  for (const PictureCurve& curve : panel.curves) entry(curve.colour, curve.label, curve.points, false);
  if (!note.empty()) {
    cpgsci(1);
    cpgstbg(0);                                      // on the page's white, readable over a curve that runs off the top
    cpgmtxt("T", -1.5f, 0.02f, 0.0f, note.c_str());  // inside the frame, top left
    cpgstbg(-1);
  }
  cpgsch(1.0f);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void draw_picture(const std::string& file, const std::vector<PicturePanel>& panels, int columns) {
  stage_picture(file, panels, columns).commit();
}

StagedPicture stage_picture(const std::string& file, const std::vector<PicturePanel>& panels, int columns) {
  // The name, its folder and the right to write there, before the library
  // is asked for anything.
  check_outputs({{file, "picture", true}}, {});
  const fs::path target(file);
  const std::string ext = lower(target.extension().string());
  if (panels.empty()) throw Stop("Picture \"" + file + "\": nothing to draw");
  const std::string type = ext.substr(1);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  // Drawn under a temporary name in the target's folder, then renamed.
  // (The library takes the text before the first point of a name as its
  // stem when it numbers pages: the temporary name holds no point.)
  const std::string stem = (folder / ("yosta_picture_part_" + std::to_string(getpid()))).string();
  const int rows = (static_cast<int>(panels.size()) + columns - 1) / columns;
  // Row tops and heights as fractions of the page.
  std::vector<float> row_height(static_cast<std::size_t>(rows), 1.0f);
  if (columns == 1)
    for (std::size_t i = 0; i < panels.size(); ++i) row_height[i] = std::clamp(panels[i].height, 0.2f, 3.0f);
  float total = 0;
  for (const float h : row_height) total += h;
  const int id = cpgopen((stem + "." + type + "/" + type).c_str());
  if (id <= 0) throw Stop("Picture \"" + file + "\": the graphics library cannot open it");
  cpgask(0);
  // Each row of panels gets 3.2 inches of height on a page 8 (one column) or
  // 12 inches wide (two or more).
  const float width = columns == 1 ? 8.0f : 12.0f;
  cpgpap(width, total * 3.2f / width);
  // A new page takes the size; the svg device would write the blank first
  // page under a name of its own, and takes the size without it.
  if (type != "svg") cpgpage();
  cpgscr(0, 1.0f, 1.0f, 1.0f);  // white background, black foreground
  cpgscr(1, 0.0f, 0.0f, 0.0f);
  cpgscr(7, 0.85f, 0.65f, 0.0f);  // yellow, darkened to read on white
  cpgbbuf();
  cpgeras();
  // Character heights count in fractions of the page's height, also on a
  // page wider than high (one panel): keep the letters the same size in
  // inches whatever the number of panels.
  const float char_scale = 5.3f / (total * 3.2f);
  float top = 1.0f;
  for (std::size_t i = 0; i < panels.size(); ++i) {
    const int row = static_cast<int>(i) / columns, col = static_cast<int>(i) % columns;
    const float cell_w = 1.0f / static_cast<float>(columns);
    const float cell_h = row_height[static_cast<std::size_t>(row)] / total;
    const float inch = 1.0f / (total * 3.2f);  // page fraction of an inch of height
    const float x0 = static_cast<float>(col) * cell_w + 0.14f * cell_w;
    const float x1 = static_cast<float>(col + 1) * cell_w - 0.03f * cell_w;
    const float y1 = top - (panels[i].title.empty() ? 0.08f : 0.4f) * inch;
    const float y0 = top - cell_h + (panels[i].x_label.empty() ? 0.04f : 0.55f) * inch;
    if (col == columns - 1 || i + 1 == panels.size()) top -= cell_h;
    cpgsch(char_scale);
    draw_panel(panels[i], x0, x1, y0, y1);
  }
  cpgebuf();
  cpgclos();

  // One page gives stem.type; the library may number pages (stem_0000.type,
  // ...) when it started a blank one first: the last is the picture.
  const std::string drawn = drawn_page(stem, type);
  if (drawn.empty())
    throw Stop("Picture \"" + file + "\": the graphics library wrote nothing in the folder \"" + folder.string() +
               "\"");
  return StagedPicture(drawn, file);
}

}  // namespace yosta::tools
