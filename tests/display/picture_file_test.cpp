// Picture files replaced whole: the page the library left is found among the
// numbered ones, published over the file in one rename, or removed.
#include "display/picture_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stop.h"
#include "support/test_support.h"

namespace yosta::testing {
namespace {

namespace fs = std::filesystem;

TEST(DrawnPage, FindsTheNewestPageAndRemovesTheOthers) {
  struct Case {
    std::vector<std::string> pages;  // written under the prefix
    std::string found;               // "" when none is a picture
    std::vector<std::string> left;   // what stays in the folder
  };
  const std::vector<Case> cases = {
      {{"p.png"}, "p.png", {"p.png"}},
      {{"p_0000.svg", "p_0001.svg"}, "p_0001.svg", {"p_0001.svg"}},
      {{"p_0000.svg", "p_0001.svg", "p_0002.svg"}, "p_0002.svg", {"p_0002.svg"}},
      {{"p_0001.svg"}, "", {"p_0001.svg"}},  // numbering starts at 0000
      {{"q.png"}, "", {"q.png"}},            // another prefix
      {{}, "", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& page : c.pages) write_file(dir.file(page), page);
    const std::string ext = c.pages.empty() ? "png" : fs::path(c.pages[0]).extension().string().substr(1);
    const std::string found = drawn_page(dir.file("p"), ext);
    EXPECT_EQ(found, c.found.empty() ? "" : dir.file(c.found)) << c.pages.size();
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.left);
  }
}

TEST(StagedPicture, PublishedOverTheFileOrRemoved) {
  TempDir dir;
  write_file(dir.file("pic.png"), "old");
  // Dropped unpublished: the page goes, the file stays.
  write_file(dir.file("page.png"), "new");
  { StagedPicture dropped(dir.file("page.png"), dir.file("pic.png")); }
  EXPECT_FALSE(fs::exists(dir.file("page.png")));
  EXPECT_EQ(read_file(dir.file("pic.png")), "old");
  // Published: the page replaces the file.
  write_file(dir.file("page.png"), "new");
  StagedPicture staged(dir.file("page.png"), dir.file("pic.png"));
  EXPECT_EQ(staged.publish(), "");
  EXPECT_EQ(read_file(dir.file("pic.png")), "new");
  EXPECT_FALSE(fs::exists(dir.file("page.png")));
  // Moved from: the new owner publishes, the old one has nothing.
  write_file(dir.file("page.png"), "newer");
  StagedPicture first(dir.file("page.png"), dir.file("pic.png"));
  StagedPicture second(std::move(first));
  EXPECT_EQ(first.publish(), "nothing was drawn");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(read_file(dir.file("pic.png")), "new");
  second.commit();
  EXPECT_EQ(read_file(dir.file("pic.png")), "newer");
  // A file that cannot be replaced (a folder in its place): the page is removed,
  // the failure named, and commit stops with the picture's name.
  fs::create_directories(dir.file("busy.png/inside"));
  write_file(dir.file("page.png"), "x");
  StagedPicture blocked(dir.file("page.png"), dir.file("busy.png"));
  EXPECT_NE(blocked.publish().find("cannot write it"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.file("page.png")));
  write_file(dir.file("page.png"), "x");
  StagedPicture stopped(dir.file("page.png"), dir.file("busy.png"));
  try {
    stopped.commit();
    ADD_FAILURE() << "commit over a folder went through";
  } catch (const Stop& e) {
    EXPECT_NE(std::string(e.what()).find("Picture \"" + dir.file("busy.png") + "\": cannot write it"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.file("page.png")));
  EXPECT_TRUE(fs::is_directory(dir.file("busy.png/inside")));
}

}  // namespace
}  // namespace yosta::testing
