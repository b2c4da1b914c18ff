// yosta-tools as a whole: its subcommands, its version, and the refusal of a
// missing or unknown one.
#include <gtest/gtest.h>

#include <string>

#include "support/programs.h"

namespace yosta::testing {
namespace {

TEST(ToolsProgram, NeedsASubcommandAndRefusesUnknownOnes) {
  TempDir dir;
  const CommandResult none = run_tools(dir, "");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.output.find("A subcommand is required"), std::string::npos) << none.output;
  const CommandResult unknown = run_tools(dir, "no-such-subcommand");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.output, "yosta-tools: unknown subcommand 'no-such-subcommand'; yosta-tools --help lists them\n");
}

TEST(ToolsProgram, HelpListsEverySubcommandAndVersionNamesTheRelease) {
  TempDir dir;
  const CommandResult help = run_tools(dir, "--help");
  EXPECT_EQ(help.status, 0);
  for (const char* sub :
       {"version", "import", "weights", "errors", "merge", "ensemble", "plot", "misfit", "background"}) {
    EXPECT_NE(help.output.find("\n  " + std::string(sub) + " "), std::string::npos) << sub << "\n" << help.output;
  }
  const CommandResult version = run_tools(dir, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "yosta-tools 3.0\n");
}

}  // namespace
}  // namespace yosta::testing
