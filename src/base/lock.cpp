#include "base/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/files.h"
#include "base/stop.h"

namespace yosta {
namespace {

// The process id written in the open lock file (-1 when there is none).
long recorded_id(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return -1;
  char* end = nullptr;
  const long id = std::strtol(text, &end, 10);
  return end != text && id > 0 ? id : -1;
}

std::string holder_text(long id) { return id > 0 ? "process " + std::to_string(id) : std::string("process unknown"); }

}  // namespace

FileLock::FileLock(std::string path, const std::string& in_use, const std::string& remedy) : path_(std::move(path)) {
  // The last holder may remove the file between its opening here and the
  // lock: then the lock is on a file of no name, and is taken again.
  for (int attempt = 0; fd_ < 0; ++attempt) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      const int error = errno;
      throw Stop("Cannot create the lock file \"" + path_ + "\": " + std::strerror(error));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      const long id = error == EWOULDBLOCK ? recorded_id(fd) : 0;
      ::close(fd);
      if (error == EWOULDBLOCK)
        throw Stop(in_use + " (" + holder_text(id) + ", lock file \"" + path_ + "\"): " + remedy);
      throw Stop("Cannot lock the file \"" + path_ + "\": " + std::strerror(error));
    }
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) == 0 && ::stat(path_.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino) {
      fd_ = fd;
    } else {
      ::close(fd);
      if (attempt >= 100) throw Stop("Cannot lock the file \"" + path_ + "\": it keeps being replaced");
    }
  }
  const std::string id = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) == 0) {
    try {
      write_whole(fd_, id, path_);
    } catch (const Stop&) {
      // The id is only for messages; the lock holds without it.
    }
  }
}

FileLock::~FileLock() {
  // Removed while still held: a run that opens the name now makes a new file.
  ::unlink(path_.c_str());
  ::close(fd_);
}

long FileLock::holder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  long id = 0;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    id = errno == EWOULDBLOCK ? recorded_id(fd) : 0;
  } else {
    ::flock(fd, LOCK_UN);
  }
  ::close(fd);
  return id;
}

}  // namespace yosta
