// The one way set-up ends the program early: throw Stop with the console lines
// to print. Only main prints them and exits with `status`.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace yosta {

// The exit status of a run that fails once its moves have begun (a save that
// cannot be written): its last complete results are those of its last save.
inline constexpr int failed_after_start_status = 3;

struct Stop {
  std::vector<std::string> lines;  // written to the console in order, one per line
  int status = 1;                  // 1 for every set-up error; 0 for a stop the user asked for

  Stop() = default;
  explicit Stop(std::string line, int status_ = 1) : lines{std::move(line)}, status(status_) {}
  Stop(std::vector<std::string> lines_, int status_) : lines(std::move(lines_)), status(status_) {}
};

}  // namespace yosta
