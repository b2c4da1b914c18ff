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

std::string temp_name(const std::string& path) { return path + ".tmp"; }

void remove_temp(const std::string& path) { ::unlink(temp_name(path).c_str()); }

void write_whole(int fd, std::string_view text, const std::string& path) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Stop(system_error("Cannot write", path, errno));
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)), temp_path_(temp_name(path_)) {
  // A leftover of the fixed name is removed first, so that the new file is
  // always one this save created (never a link planted in its place).
  ::unlink(temp_path_.c_str());
  fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) throw Stop(system_error("Cannot create", path_, errno));
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temp_path_.c_str());
}

void OutputFile::finish() {
  if (finished_) return;
  write_whole(fd_, text_.view(), path_);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw Stop(system_error("Cannot write", path_, errno));
  finished_ = true;
}

void OutputFile::commit() {
  if (committed_) return;
  finish();
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) throw Stop(system_error("Cannot replace", path_, errno));
  committed_ = true;
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace yosta
