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
  const char* env = std::getenv("YOSTA_REALDATA");
  const std::string dir =
      env != nullptr && *env != '\0' ? std::string(env) : std::string(YOSTA_SOURCE_DIR) + "/../shared/realdata";
  return std::filesystem::is_directory(dir) ? dir : std::string();
}

inline std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  double x = 0;
  while (in >> x) v.push_back(x);
  return v;
}

// The point rows of a file in the program's data-file layout.
inline std::vector<std::vector<double>> data_rows(const std::string& path) {
  std::vector<std::vector<double>> rows;
  const std::vector<std::string> lines = split_lines(read_file(path));
  for (std::size_t i = 2; i < lines.size(); ++i) rows.push_back(numbers_of(lines[i]));
  return rows;
}

}  // namespace yosta::testing
