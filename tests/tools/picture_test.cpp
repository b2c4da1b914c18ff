// Pictures read back pixel by pixel, as a user sees the file.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tools/picture.h"

namespace yosta::testing {
namespace {

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  bool dark(int x, int y) const {
    const std::size_t at =
        3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    return rgb[at] < 128 && rgb[at + 1] < 128 && rgb[at + 2] < 128;
  }
  // Any mark on the white page, anti-aliased edges of letters too.
  bool ink(int x, int y) const {
    const std::size_t at =
        3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    return std::min({rgb[at], rgb[at + 1], rgb[at + 2]}) < 200;
  }
};

bool read_png(const std::string& path, Image& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

// A panel's title is drawn whole above its frame: a long one (a run title
// before a data file's name) in smaller letters, never past the page's edges
// and never so small that it cannot be read, on a one-panel page too (wider
// than high, where the letters once came out two and a half times smaller).
TEST(Picture, TitlesStayInsideThePage) {
  const std::string run_title = "Water H2O, D2O, HDO at 25 C (SANDALS): three neutron contrasts, docs/water.md";
  for (const std::string& title : {std::string("H2O.dat (data set 1)"), run_title + ": H2O.dat (data set 1)",
                                   run_title + " " + run_title + ": H2O.dat (data set 1)"}) {
    SCOPED_TRACE(title);
    TempDir dir;
    tools::PicturePanel panel;
    panel.title = title;
    panel.x_label = "Q/A-1";
    panel.y_label = "F(Q)";
    panel.curves.push_back({{0.0f, 1.0f, 2.0f}, {0.0f, 1.0f, 0.5f}, {}, 4, false, "fit"});
    tools::draw_picture(dir.file("t.png"), {panel}, 1);
    Image image;
    ASSERT_TRUE(read_png(dir.file("t.png"), image));
    // The frame's top edge: the first row dark over half the page's width.
    int frame_top = -1;
    for (int y = 0; y < image.height && frame_top < 0; ++y) {
      int n = 0;
      for (int x = 0; x < image.width; ++x) n += image.dark(x, y) ? 1 : 0;
      if (2 * n > image.width) frame_top = y;
    }
    ASSERT_GT(frame_top, 10);
    int ink_rows = 0, left = image.width, right = -1;
    for (int y = 0; y < frame_top - 2; ++y) {
      bool row = false;
      for (int x = 0; x < image.width; ++x)
        if (image.ink(x, y)) {
          row = true;
          left = std::min(left, x);
          right = std::max(right, x);
        }
      ink_rows += row ? 1 : 0;
    }
    EXPECT_GE(ink_rows, 7) << "the title is missing or too small to read";
    EXPECT_GT(left, image.width / 50);
    EXPECT_LT(right, image.width - image.width / 50);
  }
}

}  // namespace
}  // namespace yosta::testing
