#include "support/lock_holder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "base/lock.h"

namespace yosta::testing {

LockHolder::LockHolder(const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    try {
      const FileLock lock(path, "in use", "wait");
      const char c = 'x';
      if (write(ready[1], &c, 1) != 1) _exit(2);
      for (;;) pause();
    } catch (...) {
      _exit(3);  // never back into the test program's own code
    }
  }
  close(ready[1]);
  char c = 0;
  if (pid_ > 0 && read(ready[0], &c, 1) != 1) {
    kill_now();
    pid_ = -1;
  }
  close(ready[0]);
}

LockHolder::~LockHolder() { kill_now(); }

void LockHolder::kill_now() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int raw = 0;
  waitpid(pid_, &raw, 0);
  pid_ = 0;
}

}  // namespace yosta::testing
