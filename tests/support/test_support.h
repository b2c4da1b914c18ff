// Helpers shared by the test programs: scratch folders, files, numbers of a
// line, the measured-data folder. Running the built programs is in
// support/programs.h, for the integration and system tiers only.
#pragma once

#include <string>
#include <vector>

namespace yosta::testing {

// Unoptimised or sanitised builds run the program many times slower: whole fits
// there get a fraction of their moves and skip their physics checks.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
inline constexpr bool slow_build = true;
#else
inline constexpr bool slow_build = false;
#endif

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);

// The last line of a program's output ("" when there is none).
std::string last_line(const std::string& output);
// The whitespace-separated numbers at the start of `line` (reading stops at
// the first word that is not a number).
std::vector<double> numbers(const std::string& line);
// The value of environment variable `name` when set and not empty, else
// `fallback`: the seed of a whole-program test, changeable to try other walks.
std::string seed_from_env(const char* name, const char* fallback);
// The folder of the test sources (tests/).
std::string test_dir();
// The measured data: $YOSTA_REALDATA, or ../shared/realdata beside the source
// tree (which may be absent: the tests that use it then skip).
std::string realdata_dir();

}  // namespace yosta::testing
