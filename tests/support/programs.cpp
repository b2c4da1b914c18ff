#include "support/programs.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace yosta::testing {

CommandResult run_command(const std::string& command, const std::string& dir, const std::string& input) {
  TempDir scratch;
  const std::string in_path = scratch.file("stdin");
  write_file(in_path, input);
  const std::string full = "cd '" + dir + "' && " + command + " < '" + in_path + "' 2>&1";
  CommandResult result;
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) throw std::runtime_error("popen failed");
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  const int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

std::string yosta_binary() { return YOSTA_BINARY; }
std::string tools_binary() { return YOSTA_TOOLS_BINARY; }

CommandResult run_tools(const TempDir& dir, const std::string& args, const std::string& input) {
  return run_command("'" + tools_binary() + "' " + args, dir.path(), input);
}

CommandResult run_yosta(const TempDir& dir, const std::string& args, const std::string& input) {
  return run_command("'" + yosta_binary() + "' " + args, dir.path(), input);
}

}  // namespace yosta::testing
