// The lock of a root: held by one process at a time, released by the kernel
// when its holder dies, never followed through a symbolic link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/lock.h"
#include "base/stop.h"
#include "support/lock_holder.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using testing::LockHolder;
using testing::TempDir;

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
  LockHolder holder(path);
  const pid_t child = holder.pid();
  ASSERT_GT(child, 0);
  EXPECT_EQ(FileLock::holder(path), child);
  EXPECT_EQ(refusal(path), "The root \"r\" is in use by another run (process " + std::to_string(child) +
                               ", lock file \"" + path + "\"): wait for it to end");
  // Killed, the child leaves its file behind, but no lock.
  holder.kill_now();
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
