// The plots through the real library: the null device, picture files, faults.
#include "display/plots.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "base/stop.h"
#include "display/plots_fixture.h"
#include "model/transform.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using namespace plots_test;

// The real library, every call of it recorded as well, with the fake clock.
PlotApi library_recorded() {
  static PlotApi real;
  real = pgplot_api();
  PlotApi api = real;
  api.open = [](const char* device) {
    record("open", {}, device);
    return real.open(device);
  };
  api.env = [](float x0, float x1, float y0, float y1, int just, int axis) {
    record("env", {x0, x1, y0, y1, double(just), double(axis)});
    real.env(x0, x1, y0, y1, just, axis);
  };
  api.line = [](int n, const float* x, const float* y) {
    record("line", {double(n)});
    real.line(n, x, y);
  };
  api.close = [] {
    record("close");
    real.close();
  };
  api.now = [] { return fake_now; };
  return api;
}

TEST_F(PlotsTest, NullDeviceNeedsNoDisplayAndDrawsNothing) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  testing::TempDir dir;
  set_root(dir.file("fit"));
  {
    LivePlots plots(*run, library_recorded());
    plots.open("/null");
    // Both panels opened on the null device, each with its first frame.
    const std::vector<std::string> first = {"open", "open", "env", "line", "env", "line", "line", "line"};
    EXPECT_EQ(names(), first);
    EXPECT_EQ(calls[0].text, "/null");
    EXPECT_EQ(calls[1].text, "/null");
    for (int i = 0; i < 5; ++i) {
      fake_now += 1.0;
      plots.refresh();
    }
    EXPECT_EQ(names(), first);  // refreshes reach no device
  }
  // Both closed, and no picture written under the root.
  EXPECT_EQ(names(),
            (std::vector<std::string>{"open", "open", "env", "line", "env", "line", "line", "line", "close", "close"}));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

std::pair<int, int> png_size(const std::string& bytes) {
  auto be32 = [&](std::size_t at) {
    return (int(std::uint8_t(bytes[at])) << 24) | (int(std::uint8_t(bytes[at + 1])) << 16) |
           (int(std::uint8_t(bytes[at + 2])) << 8) | int(std::uint8_t(bytes[at + 3]));
  };
  return {be32(16), be32(20)};
}

TEST_F(PlotsTest, PngDeviceKeepsTheLatestPictureOfEachPanelUnderTheRootName) {
  testing::TempDir dir;
  set_root(dir.file("fit"));
  {
    LivePlots plots(*run, library_with_fake_clock());
    plots.open("/png");
    for (int i = 0; i < 3; ++i) {
      fake_now += 1.0;
      run->model.v[1][5] += 1.0f;
      plots.refresh();
      // The picture of the drawing just made is on disk already.
      ASSERT_TRUE(std::filesystem::exists(dir.file("fit_gr.png")));
    }
  }
  for (const char* name : {"fit_gr.png", "fit_sq.png"}) {
    const std::string bytes = testing::read_file(dir.file(name));
    ASSERT_GT(bytes.size(), 1000u) << name;
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(png_size(bytes), (std::pair{565, 349})) << "6 inches at aspect 0.618";
  }
  // Nothing else is left behind: no numbered pages, no half-written pictures.
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(PlotsTest, SvgAndPdfDevicesWriteOneFileEachWithoutBlankPages) {
  testing::TempDir dir;
  set_root(dir.file("fit"));
  {
    LivePlots plots(*run, library_with_fake_clock());
    plots.open(dir.file("report/svg"));
    fake_now += 1.0;
    plots.refresh();
  }
  EXPECT_GT(std::filesystem::file_size(dir.file("report_gr.svg")), 1000u);
  EXPECT_GT(std::filesystem::file_size(dir.file("report_sq.svg")), 1000u);
  {
    LivePlots plots(*run, library_with_fake_clock());
    plots.open("/pdf");
    fake_now += 1.0;
    plots.refresh();  // second page
    fake_now += 0.01;
    plots.refresh();  // skipped, drawn at close: third page
  }
  const std::string pdf = testing::read_file(dir.file("fit_gr.pdf"));
  int pages = 0;
  for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
    if (pdf[at + 11] != 's') ++pages;
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
}

TEST_F(PlotsTest, UnknownDeviceOrUnwritableFileIsAGraphicsError) {
  testing::TempDir dir;
  set_root(dir.file("missing/fit"));
  for (const char* device : {"/foo", "/png", "/pdf"}) {
    LivePlots plots(*run, library_with_fake_clock());
    try {
      plots.open(device);
      FAIL() << device;
    } catch (const Stop& stop) {
      ASSERT_EQ(stop.lines.size(), 2u) << device;
      EXPECT_EQ(stop.lines[0], "Graphics error") << device;
      EXPECT_NE(stop.lines[1].find("--plot-device"), std::string::npos) << stop.lines[1];
      EXPECT_EQ(stop.status, 1);
    }
  }
}

}  // namespace
}  // namespace yosta
