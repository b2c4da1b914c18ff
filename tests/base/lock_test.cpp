// The lock of a root: held by one process at a time, released by the kernel
// when its holder dies, never followed through a symbolic link.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "base/lock.h"
#include "base/stop.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using testing::TempDir;

// A child that takes the lock of `path` and waits to be killed; returns its
// pid once it holds the lock.
pid_t holding_child(const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const FileLock lock(path, "in use", "wait");
    const char c = 'x';
    if (write(ready[1], &c, 1) != 1) _exit(2);
    for (;;) pause();
  }
  close(ready[1]);
  char c = 0;
  const bool got = read(ready[0], &c, 1) == 1;
  close(ready[0]);
  return got ? pid : -1;
}

std::string refusal(const std::string& path) {
  try {
    const FileLock lock(path, "The root \"r\" is in use by another run", "wait for it to end");
  } catch (const Stop& stop) {
    return stop.lines.at(0);
  }
  return "";
}

TEST(FileLock, OneHolderAtATimeUntilItDies) {
  TempDir dir;
  const std::string path = dir.file("r.lock");
  EXPECT_EQ(FileLock::holder(path), 0) << "no file";
  const pid_t child = holding_child(path);
  ASSERT_GT(child, 0);
  EXPECT_EQ(FileLock::holder(path), child);
  EXPECT_EQ(refusal(path), "The root \"r\" is in use by another run (process " + std::to_string(child) +
                               ", lock file \"" + path + "\"): wait for it to end");
  // Killed, the child leaves its file behind, but no lock.
  kill(child, SIGKILL);
  int raw = 0;
  waitpid(child, &raw, 0);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(FileLock::holder(path), 0);
  {
    const FileLock lock(path, "in use", "wait");
    EXPECT_EQ(FileLock::holder(path), getpid()) << "the id of the new holder";
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "a holder that ends normally removes the file";
}

TEST(FileLock, ASymbolicLinkIsNotFollowed) {
  TempDir dir;
  testing::write_file(dir.file("data.dat"), "keep me\n");
  std::filesystem::create_symlink("data.dat", dir.file("r.lock"));
  EXPECT_EQ(refusal(dir.file("r.lock")).rfind("Cannot create the lock file \"" + dir.file("r.lock") + "\": ", 0), 0u);
  EXPECT_EQ(testing::read_file(dir.file("data.dat")), "keep me\n");
  EXPECT_EQ(FileLock::holder(dir.file("r.lock")), 0);
}

}  // namespace
}  // namespace yosta
