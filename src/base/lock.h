// A lock on the results of one root, held while a run may write them: an
// flock on the file root + ".lock", which records the holder's process id.
// The kernel releases the lock when the process ends in any way, so a lock
// left by a killed run holds nothing; a holder that ends normally also
// removes the file.
#pragma once

#include <string>

namespace yosta {

class FileLock {
 public:
  // Takes the lock of `path`, making the file when it is missing. Throws
  // Stop with `in_use`, the holder's process id and `remedy` when another
  // process holds it, and with the system's reason when the file cannot be
  // made.
  FileLock(std::string path, const std::string& in_use, const std::string& remedy);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // The process id that holds the lock of `path`: 0 when nobody holds it (or
  // there is no such file), -1 when it is held but the id cannot be read.
  static long holder(const std::string& path);

 private:
  std::string path_;
  int fd_ = -1;
};

// The lock file of the results of `root`.
inline std::string lock_name(const std::string& root) { return root + ".lock"; }

}  // namespace yosta
