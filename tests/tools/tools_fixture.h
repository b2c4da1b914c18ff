// Helpers of the yosta-tools tests: numbers of a program output or data file,
// and the measured-data folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace yosta::testing {

// The measured data (../shared/realdata beside the source tree, or
// $YOSTA_REALDATA); empty when absent, so tests can skip.
inline std::string realdata_folder() {
  const std::string dir = realdata_dir();
  return std::filesystem::is_directory(dir) ? dir : std::string();
}

// The point rows of a file in the program's data-file layout.
inline std::vector<std::vector<double>> data_rows(const std::string& path) {
  std::vector<std::vector<double>> rows;
  const std::vector<std::string> lines = split_lines(read_file(path));
  for (std::size_t i = 2; i < lines.size(); ++i) rows.push_back(numbers(lines[i]));
  return rows;
}

}  // namespace yosta::testing
