// File names with the default-extension rule, and result files replaced whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/files.h"
#include "base/stop.h"
#include "support/test_support.h"

namespace yosta {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_file;

std::string padded(const std::string& name) { return name + std::string(80 - name.size(), ' '); }

TEST(BuildName, ExtensionOnlyWithoutAPointAnywhere) {
  EXPECT_EQ(build_name(padded("run1"), ".dat"), "run1.dat");
  EXPECT_EQ(build_name(padded("run1.txt"), ".dat"), "run1.txt");
  EXPECT_EQ(build_name(padded("../set.a/run1"), ".dat"), "../set.a/run1");
  EXPECT_EQ(build_name("data/run1", ".g"), "data/run1.g");
}

TEST(BuildName, OnlyTrailingBlanksArePadding) {
  EXPECT_EQ(build_name("my run  ", ".dat"), "my run.dat");
  EXPECT_EQ(build_name("  run", ".dat"), "  run.dat");
  EXPECT_EQ(build_name("run\t", ".dat"), "run\t.dat");
}

TEST(BuildName, EmptyAndBlankNamesStayEmpty) {
  EXPECT_EQ(build_name("", ".dat"), "");
  EXPECT_EQ(build_name(std::string(80, ' '), ".dat"), "");
}

TEST(BuildName, LongNamesAreNotCut) {
  const std::string name(78, 'a');
  EXPECT_EQ(build_name(name, ".dat"), name + ".dat");
  const std::string path = "/tmp/" + std::string(200, 'd') + "/run";
  EXPECT_EQ(build_name(path, ".g"), path + ".g");
}

std::size_t entries(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(OutputFile, ReplacesAnOlderFileWhole) {
  TempDir dir;
  const std::string path = dir.file("run.out");
  write_file(path, std::string(5000, 'x'));
  {
    OutputFile out(path);
    out.write("new\n");
    out.stream() << 42 << '\n';
    out.commit();
  }
  EXPECT_EQ(read_file(path), "new\n42\n");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(OutputFile, CreatesAFreshFile) {
  TempDir dir;
  {
    OutputFile out(dir.file("fresh.g"));
    out.write("a");
    out.commit();
  }
  EXPECT_EQ(read_file(dir.file("fresh.g")), "a");
}

TEST(OutputFile, AnInterruptedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.file("run.g");
  write_file(path, "complete old file\n");
  {
    OutputFile out(path);
    out.write("half of a new f");
    // Destroyed without commit, as when a save is cut short.
  }
  EXPECT_EQ(read_file(path), "complete old file\n");
  EXPECT_EQ(entries(dir.path()), 1u);  // the temporary file is gone
}

TEST(OutputFile, FailureNamesTheFile) {
  TempDir dir;
  const std::string path = dir.file("missing/run.g");
  try {
    OutputFile out(path);
    FAIL() << "created a file in a missing folder";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    ASSERT_EQ(stop.lines.size(), 1u);
    EXPECT_NE(stop.lines[0].find(path), std::string::npos) << stop.lines[0];
  }
}

// A failed write reports the system's own reason, not a generic one.
TEST(OutputFile, AFullDiskIsReportedAsSuch) {
  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  std::string message = "<no stop>";
  try {
    write_whole(fd, std::string(100000, 'x'), "run.g");
  } catch (const Stop& stop) {
    message = stop.lines.at(0);
  }
  ::close(fd);
  EXPECT_EQ(message, "Cannot write file \"run.g\": No space left on device");
}

// The temporary file has a fixed name next to the result; a leftover of that
// name, or a link planted there, is replaced and never written through.
TEST(OutputFile, TemporaryNameIsFixedAndLeftoversAreReplaced) {
  TempDir dir;
  const std::string path = dir.file("run.g");
  EXPECT_EQ(temp_name(path), path + ".tmp");
  write_file(dir.file("victim"), "not to be touched\n");
  std::filesystem::create_symlink(dir.file("victim"), temp_name(path));
  {
    OutputFile out(path);
    out.write("new\n");
    EXPECT_TRUE(std::filesystem::exists(temp_name(path)));
    EXPECT_FALSE(std::filesystem::is_symlink(temp_name(path)));
    out.commit();
  }
  EXPECT_EQ(read_file(path), "new\n");
  EXPECT_EQ(read_file(dir.file("victim")), "not to be touched\n");
  EXPECT_EQ(entries(dir.path()), 2u);  // run.g and victim
}

TEST(FileExists, RegularFilesOnly) {
  TempDir dir;
  write_file(dir.file("a.gsv"), "");
  EXPECT_TRUE(file_exists(dir.file("a.gsv")));
  EXPECT_FALSE(file_exists(dir.file("b.gsv")));
  EXPECT_FALSE(file_exists(dir.path()));
  EXPECT_FALSE(file_exists(""));
}

// Inputs are regular files of a bounded size: a FIFO is refused without
// waiting for a writer, a device (or a link to one) without reading a stream
// that never ends, a file beyond the limit before it is read.
TEST(ReadInputFile, OnlyRegularFilesWithinTheLimit) {
  TempDir dir;
  write_file(dir.file("small"), "12\nheading\n");
  write_file(dir.file("big"), std::string(5000, 'x'));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/urandom", dir.file("random.dat"));
  std::filesystem::create_symlink(dir.file("small"), dir.file("link.dat"));
  struct Case {
    std::string path;
    std::size_t limit;
    const char* says;  // "" when read
  };
  const Case cases[] = {
      {dir.file("small"), 100, ""},
      {dir.file("link.dat"), 100, ""},
      {dir.file("big"), 5000, ""},
      {dir.file("big"), 4999, "it holds 5000 bytes, more than the 4999 bytes an input file may hold"},
      {dir.file("fifo"), 100, "it is a named pipe (FIFO), not a regular file"},
      {"/dev/urandom", 100, "it is a character device, not a regular file"},
      {dir.file("random.dat"), 100, "it is a character device, not a regular file"},
      {dir.path(), 100, "for reading: Is a directory"},
      {dir.file("none"), 100, "for reading: No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string message;
    std::string text;
    try {
      text = read_input_file(c.path, c.limit);
    } catch (const Stop& stop) {
      message = stop.lines.front();
    }
    if (*c.says == '\0') {
      EXPECT_EQ(message, "") << c.path;
      EXPECT_EQ(text, read_file(c.path)) << c.path;
    } else {
      EXPECT_NE(message.find(c.says), std::string::npos) << c.path << ": " << message;
      EXPECT_NE(message.find("\"" + c.path + "\""), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace yosta
