// The plot windows and picture files as a user gets them from whole runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/programs.h"
#include "support/small_run.h"

namespace yosta::testing {
namespace {

// One data set of one partial with live plotting every 50 accepted moves; the
// run may take up to 12 seconds unless --max-moves ends it sooner.
void write_live_run(const TempDir& dir) {
  write_file(dir.file("setup.dat"),
             "Live plot run\nF\nT\n50\n0.02\nF\n1\n1\n1 0.0 1.5\n0.05\n4 10.0\nF\nF\n1\n1 1.5 10.0\n0\nF\nF\n"
             "100\n0.2 0.1\n1 0\nliquid\n1 100\n0.0\n1.0\n0.01\nF\nF\nF\nF\nF\nresult\n");
  write_file(dir.file("liquid.dat"), damped_data());
}

TEST(PlotRun, PngDeviceLeavesTheLatestPictureOfBothPanels) {
  TempDir dir;
  write_live_run(dir);
  const CommandResult r = run_yosta(dir, "--seed 3 --max-moves 20000 --plot-device /png setup.dat", "Y\n");
  ASSERT_EQ(r.status, 10) << r.output;
  for (const char* name : {"result_gr.png", "result_sq.png"}) {
    const std::string bytes = read_file(dir.file(name));
    EXPECT_GT(bytes.size(), 1000u) << name;
    EXPECT_EQ(bytes.substr(1, 3), "PNG") << name;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST(PlotRun, DeviceThatCannotOpenStopsBeforeAnyMove) {
  TempDir dir;
  write_live_run(dir);
  // An unknown device, and the interactive windows without a display.
  for (const char* command : {"--plot-device /foo setup.dat", "setup.dat"}) {
    const CommandResult r = run_command("env -u DISPLAY '" + yosta_binary() + "' " + command, dir.path(), "Y\n");
    EXPECT_EQ(r.status, 1) << command << "\n" << r.output;
    // The library's own message, then what to do.
    const std::vector<std::string> lines = testing::split_lines(r.output);
    ASSERT_GE(lines.size(), 2u) << command;
    EXPECT_EQ(lines[lines.size() - 2], "Graphics error") << command;
    EXPECT_NE(lines.back().find("use --plot-device"), std::string::npos) << command << "\n" << r.output;
    EXPECT_EQ(r.output.find("Accepted:"), std::string::npos) << command;
    EXPECT_FALSE(std::filesystem::exists(dir.file("result.g"))) << command;
  }
}

// ------------------------------------------------- windows under Xvfb

bool have_tools() { return run_command("command -v xvfb-run && command -v xwd").status == 0; }

// An X window dump (xwd) of a 24-bit TrueColor window.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgb;  // 0xRRGGBB
};

bool read_xwd(const std::string& bytes, Picture& pic) {
  if (bytes.size() < 100) return false;
  auto card = [&](std::size_t i) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * i;
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
  };
  const std::uint32_t header = card(0), width = card(4), height = card(5), byte_order = card(7), bits = card(11),
                      line = card(12), ncolours = card(19);
  const std::uint32_t masks[3] = {card(14), card(15), card(16)};
  if (bits != 32 || masks[0] != 0xff0000u || masks[1] != 0xff00u || masks[2] != 0xffu) return false;
  const std::size_t start = header + 12u * ncolours;
  if (bytes.size() < start + std::size_t(line) * height) return false;
  pic.width = int(width);
  pic.height = int(height);
  pic.rgb.resize(std::size_t(width) * height);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + start + y * line + 4 * x;
      const std::uint32_t v = byte_order == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24)
                                              : (p[3] | p[2] << 8 | p[1] << 16 | std::uint32_t(p[0]) << 24);
      pic.rgb[std::size_t(y) * width + x] = v & 0xffffffu;
    }
  return true;
}

struct Colours {
  int blue = 0, green = 0, yellow = 0;
};

Colours count_colours(const Picture& pic) {
  Colours c;
  for (const std::uint32_t v : pic.rgb) {
    const int r = int(v >> 16), g = int((v >> 8) & 255), b = int(v & 255);
    // By how much one hue stands out, so that anti-aliased edges count too.
    if (b - std::max(r, g) > 40) ++c.blue;
    if (g - std::max(r, b) > 15) ++c.green;
    if (std::min(r, g) - b > 40 && r > 200) ++c.yellow;
  }
  return c;
}

TEST(PlotRun, BothWindowsShowTheirCurvesInTheirColours) {
  if (!have_tools()) GTEST_SKIP() << "needs xvfb-run and xwd";
  TempDir dir;
  write_live_run(dir);
  write_file(dir.file("shot.sh"),
             "'" + yosta_binary() +
                 "' --seed 3 setup.dat > run.log 2>&1 < answer &\n"
                 "pid=$!\n"
                 "for i in $(seq 1 300); do\n"
                 "  kill -0 $pid 2>/dev/null || break\n"
                 "  xwd -name 'S(Q)' -silent >/dev/null 2>&1 && xwd -name 'G(r)' -silent >/dev/null 2>&1 && break\n"
                 "  sleep 0.1\n"
                 "done\n"
                 "sleep 1\n"
                 "for n in 1 2 3; do\n"
                 "  xwd -name 'G(r)' -silent > gr$n.xwd\n"
                 "  xwd -name 'S(Q)' -silent > sq$n.xwd\n"
                 "  sleep 0.4\n"
                 "done\n"
                 "kill -TERM $pid\n"
                 "wait $pid\n"
                 "echo \"yosta status $?\"\n");
  write_file(dir.file("answer"), "Y\n");
  // A server number of its own to start the search from: servers started
  // at once by parallel tests would otherwise race for the same one.
  const std::string server = std::to_string(200 + ::getpid() % 500);
  // A loaded machine can be slow to bring a server up: try a few times when
  // the program could not reach it.
  CommandResult r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    r = run_command("xvfb-run -a -n " + server + " -s '-screen 0 1280x1024x24' sh shot.sh", dir.path());
    if (read_file(dir.file("run.log")).find("could not be made") == std::string::npos) break;
  }
  ASSERT_NE(r.output.find("yosta status 10"), std::string::npos) << r.output << read_file(dir.file("run.log"));

  // Each window is found by its title and shows only its own curves: the two
  // windows do not cover each other. A capture can fall while a window is
  // being drawn again (its page cleared, its curves not yet drawn): of three
  // captures each, the fullest counts, and none may show the other window's
  // colours.
  Colours g, s;
  for (int n = 1; n <= 3; ++n) {
    Picture gr, sq;
    ASSERT_TRUE(read_xwd(read_file(dir.file("gr" + std::to_string(n) + ".xwd")), gr)) << r.output;
    ASSERT_TRUE(read_xwd(read_file(dir.file("sq" + std::to_string(n) + ".xwd")), sq)) << r.output;
    EXPECT_EQ(gr.width, 605);  // 6 inches at aspect 0.618, with the window margin
    EXPECT_EQ(gr.height, 389);
    const Colours gn = count_colours(gr), sn = count_colours(sq);
    EXPECT_EQ(gn.green, 0) << n;
    EXPECT_EQ(gn.yellow, 0) << n;
    g.blue = std::max(g.blue, gn.blue);
    s.blue = std::max(s.blue, sn.blue);
    s.green = std::max(s.green, sn.green);
    s.yellow = std::max(s.yellow, sn.yellow);
  }
  EXPECT_GT(g.blue, 50);    // basis function 1
  EXPECT_GT(s.blue, 50);    // model
  EXPECT_GT(s.green, 50);   // scaled data
  EXPECT_GT(s.yellow, 50);  // reversed background
}

}  // namespace
}  // namespace yosta::testing
