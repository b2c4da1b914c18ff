#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/stop.h"

namespace yosta {

std::string build_name(std::string_view name, std::string_view extension) {
  // Only blanks count as padding.
  const std::size_t end = name.find_last_not_of(' ');
  if (end == std::string_view::npos) return std::string();
  std::string built(name.substr(0, end + 1));
  // A point anywhere, also in a folder name such as ../set.a/run1, means the
  // name is complete as written.
  if (built.find('.') == std::string::npos) built += extension;
  return built;
}

namespace {

std::string system_error(const char* action, const std::string& path, int error) {
  return std::string(action) + " file \"" + path + "\": " + std::strerror(error);
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  std::string temp = path_ + ".tmpXXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw Stop(system_error("Cannot create", path_, errno));
  // mkstemp makes the file private; a result file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  close(fd);
  temp_path_ = temp;
  out_.open(temp_path_, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!out_) {
    const int error = errno;
    std::remove(temp_path_.c_str());
    throw Stop(system_error("Cannot create", path_, error));
  }
}

OutputFile::~OutputFile() {
  if (committed_) return;
  if (out_.is_open()) out_.close();
  std::remove(temp_path_.c_str());
}

void OutputFile::commit() {
  if (committed_) return;
  errno = 0;
  out_.flush();
  const bool written = static_cast<bool>(out_);
  out_.close();
  if (!written || out_.fail()) throw Stop(system_error("Cannot write", path_, errno != 0 ? errno : EIO));
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0)
    throw Stop(system_error("Cannot replace", path_, errno));
  committed_ = true;
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace yosta
