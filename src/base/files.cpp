#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

namespace {

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string size_text(std::size_t bytes) {
  if (bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string read_input_file(const std::string& path, std::size_t limit) {
  // Non-blocking, so that a FIFO is refused rather than waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw Stop("Cannot open file \"" + path + "\" for reading: " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) throw Stop("Cannot open file \"" + path + "\" for reading: " + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) throw Stop("Cannot open file \"" + path + "\" for reading: " + std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode))
    throw Stop("Cannot read file \"" + path + "\": it is " + kind_of(info.st_mode) +
               ", not a regular file; give the name of a file");
  const auto too_big = [&](std::size_t size) {
    return Stop("Cannot read file \"" + path + "\": it holds " + std::to_string(size) + " bytes, more than the " +
                size_text(limit) + " an input file may hold; is it the file meant?");
  };
  if (static_cast<std::uintmax_t>(info.st_size) > limit) throw too_big(static_cast<std::size_t>(info.st_size));
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t have = 0;
  for (;;) {
    // One byte beyond the limit is asked for, so that a file grown since is seen.
    if (have == text.size()) text.resize(std::min(limit + 1, std::max<std::size_t>(2 * have, 4096)));
    const ssize_t n = ::read(fd, text.data() + have, text.size() - have);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Stop("Cannot read file \"" + path + "\": " + std::strerror(errno));
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
    if (have > limit) throw too_big(have);
  }
  text.resize(have);
  return text;
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace yosta
