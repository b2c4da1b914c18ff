#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace yosta::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "yosta_test_XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  double x = 0;
  while (in >> x) v.push_back(x);
  return v;
}

std::string realdata_dir() {
  const char* env = std::getenv("YOSTA_REALDATA");
  if (env != nullptr && *env != '\0') return env;
  return std::string(YOSTA_SOURCE_DIR) + "/../shared/realdata";
}

std::string seed_from_env(const char* name, const char* fallback) {
  const char* env = std::getenv(name);
  return env != nullptr && *env != '\0' ? env : fallback;
}

std::string last_line(const std::string& output) {
  const std::vector<std::string> lines = split_lines(output);
  return lines.empty() ? std::string() : lines.back();
}
std::string test_dir() { return YOSTA_TEST_DIR; }

}  // namespace yosta::testing
