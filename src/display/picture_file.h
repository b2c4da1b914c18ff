// Picture files written whole: the graphics library draws a page under a
// temporary name in the picture's folder, and one rename puts it over the
// file, so that a reader never sees a half-written picture. Used by the live
// picture devices and by the pictures of yosta-tools.
#pragma once

#include <string>
#include <utility>

namespace yosta {

// The page a picture device opened as prefix.ext left when it was closed:
// prefix.ext when it drew one page, or the newest of prefix_0000.ext,
// prefix_0001.ext, ... when it numbered them (svg and eps start with a blank
// page), the older ones removed. Empty when it wrote none.
std::string drawn_page(const std::string& prefix, const std::string& ext);

// A drawn page waiting to replace its file; removed when dropped unpublished.
class StagedPicture {
 public:
  StagedPicture(std::string drawn, std::string file) : drawn_(std::move(drawn)), file_(std::move(file)) {}
  StagedPicture(StagedPicture&& other) noexcept : drawn_(std::move(other.drawn_)), file_(std::move(other.file_)) {
    other.drawn_.clear();
  }
  StagedPicture(const StagedPicture&) = delete;
  StagedPicture& operator=(const StagedPicture&) = delete;
  StagedPicture& operator=(StagedPicture&&) = delete;
  ~StagedPicture();

  // Renames the page over the file. Returns what went wrong (the page is
  // removed, the file left as it was), or an empty text when the picture is
  // in place; "nothing was drawn" when no page was staged.
  std::string publish();
  // publish, throwing Stop ("Picture "file": ...") on failure.
  void commit();

 private:
  std::string drawn_;  // empty once published or removed
  std::string file_;
};

}  // namespace yosta
