#include "display/picture_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/stop.h"

namespace yosta {

namespace fs = std::filesystem;

std::string drawn_page(const std::string& prefix, const std::string& ext) {
  std::error_code ec;
  std::string newest = prefix + "." + ext;
  if (fs::exists(newest, ec)) return newest;
  newest.clear();
  char number[16];
  for (int page = 0; page < 10000; ++page) {
    std::snprintf(number, sizeof number, "_%04d.", page);
    std::string name = prefix + number + ext;
    if (!fs::exists(name, ec)) break;
    if (!newest.empty()) fs::remove(newest, ec);
    newest = std::move(name);
  }
  return newest;
}

StagedPicture::~StagedPicture() {
  if (drawn_.empty()) return;
  std::error_code ec;
  fs::remove(drawn_, ec);
}

std::string StagedPicture::publish() {
  if (drawn_.empty()) return "nothing was drawn";
  std::error_code ec;
  fs::rename(drawn_, file_, ec);
  if (!ec) {
    drawn_.clear();
    return std::string();
  }
  const std::string failure = "cannot write it: " + ec.message();
  fs::remove(drawn_, ec);
  drawn_.clear();
  return failure;
}

void StagedPicture::commit() {
  const std::string failure = publish();
  if (!failure.empty()) throw Stop("Picture \"" + file_ + "\": " + failure);
}

}  // namespace yosta
