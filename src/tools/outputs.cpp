#include "tools/outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/files.h"
#include "base/stop.h"

namespace yosta::tools {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string named(const PlannedOutput& out) { return "\"" + out.path + "\" (" + out.option + ")"; }

// Two names of one file: the same file when both exist, else the same path
// once the folders are resolved.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  const bool has_a = ::stat(a.c_str(), &sa) == 0, has_b = ::stat(b.c_str(), &sb) == 0;
  if (has_a && has_b) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (has_a != has_b) return false;
  std::error_code ec;
  const fs::path ca = fs::weakly_canonical(a, ec);
  if (ec) return false;
  const fs::path cb = fs::weakly_canonical(b, ec);
  return !ec && ca == cb;
}

void check_one(const PlannedOutput& out) {
  if (out.picture) {
    const std::string ext = lower(fs::path(out.path).extension().string());
    if (ext != ".png" && ext != ".svg" && ext != ".pdf")
      throw Stop("Picture " + named(out) + ": the name must end in .png, .svg or .pdf");
  }
  std::string folder = fs::path(out.path).parent_path().string();
  if (folder.empty()) folder = ".";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    const int error = errno;
    throw Stop("Cannot write " + named(out) + ": its folder \"" + folder + "\" " +
               (error == ENOENT ? std::string("does not exist") : std::string(std::strerror(error))));
  }
  if (!S_ISDIR(info.st_mode)) throw Stop("Cannot write " + named(out) + ": \"" + folder + "\" is not a folder");
  if (::stat(out.path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    throw Stop("Cannot write " + named(out) + ": it is a folder");
  // A file made and removed again under the name the writing first creates.
  const std::string probe = temp_name(out.path);
  ::unlink(probe.c_str());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    throw Stop("Cannot write " + named(out) + ": " + std::strerror(error));
  }
  ::close(fd);
  ::unlink(probe.c_str());
}

}  // namespace

void check_outputs(const std::vector<PlannedOutput>& outputs, const std::vector<std::string>& inputs) {
  std::vector<const PlannedOutput*> given;
  for (const PlannedOutput& out : outputs)
    if (!out.path.empty()) given.push_back(&out);
  for (std::size_t i = 0; i < given.size(); ++i) {
    for (const std::string& input : inputs)
      if (same_file(given[i]->path, input))
        throw Stop("The output " + named(*given[i]) + " is the input \"" + input +
                   "\": it would be replaced; write to another file");
    for (std::size_t k = 0; k < i; ++k)
      if (same_file(given[i]->path, given[k]->path))
        throw Stop("The outputs " + named(*given[k]) + " and " + named(*given[i]) + " are one file");
  }
  for (const PlannedOutput* out : given) check_one(*out);
}

}  // namespace yosta::tools
