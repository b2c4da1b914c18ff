// Pictures of results (png, svg or pdf) drawn through the PGPLOT C API of
// giza: a page of panels, each with shaded bands, lines, points with error
// bars and a legend. Colour indices as in the live windows: 4 blue (basis
// functions, model), 3 green (data), 7 yellow (background), 1 the foreground.
#pragma once

#include <string>
#include <vector>

#include "display/picture_file.h"
#include "formats/result_files.h"

namespace yosta::tools {

struct PictureCurve {
  std::vector<float> x, y;
  std::vector<float> error;  // with points: the half-length of each error bar (may be empty)
  int colour = 4;
  bool points = false;  // points (with error bars) instead of a line
  std::string label;    // in the legend; empty: not listed
};

struct PictureBand {
  std::vector<float> x, lo, hi;  // shaded between lo and hi
  int colour = 4;                // shaded in a light tint of this colour
  std::string label;
};

struct PicturePanel {
  std::string x_label, y_label, title;
  std::vector<PictureBand> bands;
  std::vector<PictureCurve> curves;
  float x_max = 0;   // above 0: the x axis ends here
  float height = 1;  // relative height of its row (one column only)
};

// draw_picture without the last step: the picture stays staged.
StagedPicture stage_picture(const std::string& file, const std::vector<PicturePanel>& panels, int columns);

// Draws the panels, `columns` side by side and as many rows as needed (with
// one column, each row as high as its panel's `height` asks), on one page and writes it whole to `file`, whose
// extension (.png, .svg or .pdf) chooses the kind. Throws Stop on another extension or when the picture cannot be
// written.
void draw_picture(const std::string& file, const std::vector<PicturePanel>& panels, int columns);

// The panels of `yosta-tools plot` for a run's .out file: every data set
// (titled by its file when `files` names it) over its residual, drawn as a
// line over the band of `errors` (when given: one value per fitted point of
// each set), then the basis functions and, when the file has them, the
// partial structure factors, with `names` in the legends (see basis_name).
std::vector<PicturePanel> out_panels(const formats::OutFile& out, const std::vector<std::vector<float>>& errors,
                                     const std::vector<std::string>& files, const std::vector<std::string>& names);

}  // namespace yosta::tools
