// A child process that takes the lock of a root and holds it until it is
// killed: another run, as the lock sees it.
#pragma once

#include <sys/types.h>

#include <string>

namespace yosta::testing {

class LockHolder {
 public:
  // Returns once the child holds the lock of `path`; pid() is -1 when it
  // could not be started or did not take the lock.
  explicit LockHolder(const std::string& path);
  ~LockHolder();  // kills the child, if still alive
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  pid_t pid() const { return pid_; }
  // Kills the child with SIGKILL and waits for it to end.
  void kill_now();

 private:
  pid_t pid_ = -1;
};

}  // namespace yosta::testing
