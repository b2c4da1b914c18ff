// The one way set-up ends the program early: throw Stop with the console lines
// to print. Only main prints them and exits with `status`; a library caller
// catches it as any std::runtime_error, whose what() is the lines joined.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace yosta {

// The exit status of a run that fails once its moves have begun (a save that
// cannot be written): its last complete results are those of its last save.
inline constexpr int failed_after_start_status = 3;

struct Stop : std::runtime_error {
  std::vector<std::string> lines;  // written to the console in order, one per line
  int status = 1;                  // 1 for every set-up error; 0 for a stop the user asked for

  Stop() : Stop(std::vector<std::string>{}, 1) {}
  explicit Stop(std::string line, int status_ = 1) : Stop(std::vector<std::string>{std::move(line)}, status_) {}
  Stop(std::vector<std::string> lines_, int status_)
      : std::runtime_error(joined(lines_)), lines(std::move(lines_)), status(status_) {}

 private:
  static std::string joined(const std::vector<std::string>& lines_) {
    std::string text;
    for (const std::string& line : lines_) text += (text.empty() ? "" : "\n") + line;
    return text;
  }
};

}  // namespace yosta
