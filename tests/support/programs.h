// Runs of the built programs, for the integration and system tiers. The unit
// tier runs in process: a unit test that needs a program belongs in
// tests/integration (the program's behaviour) or tests/system (fits, measured
// data, Slurm).
#pragma once

#ifndef YOSTA_STARTS_PROGRAMS
#error "this test starts the programs: it belongs in tests/integration or tests/system, not in the unit tier"
#endif

#include <string>

#include "support/test_support.h"

namespace yosta::testing {

struct CommandResult {
  int status = -1;     // exit status
  std::string output;  // standard output and standard error together
};
// Runs `command` through the shell in folder `dir`, with `input` on stdin.
CommandResult run_command(const std::string& command, const std::string& dir = ".", const std::string& input = "");

// The yosta program built beside the tests.
std::string yosta_binary();
// Runs yosta with `args` in folder `dir`, with `input` on stdin.
CommandResult run_yosta(const TempDir& dir, const std::string& args, const std::string& input = "");
// The yosta-tools program built beside the tests, and a run of it in `dir`.
std::string tools_binary();
CommandResult run_tools(const TempDir& dir, const std::string& args, const std::string& input = "");

}  // namespace yosta::testing
