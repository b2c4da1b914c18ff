#include <gtest/gtest.h>

#include "support/test_support.h"

namespace yosta::testing {
namespace {

TEST(ToolsProgram, NeedsASubcommandAndRefusesUnknownOnes) {
  TempDir dir;
  EXPECT_EQ(run_tools(dir, "").status, 1);
  const CommandResult unknown = run_tools(dir, "no-such-subcommand");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.output.find("subcommand"), std::string::npos) << unknown.output;
  const CommandResult help = run_tools(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("version"), std::string::npos) << help.output;
}

}  // namespace
}  // namespace yosta::testing
