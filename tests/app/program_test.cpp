// The program's console prompts: the start question and the parameter file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "base/console.h"
#include "base/stop.h"

namespace yosta {
namespace {

bool begins(const std::string& typed, std::string* shown = nullptr) {
  std::istringstream in(typed);
  std::ostringstream out;
  Console console(out, in);
  const bool result = ask_to_begin(console);
  if (shown) *shown = out.str();
  return result;
}

TEST(StartPrompt, OnlyAnUpperCaseNDeclines) {
  std::string shown;
  EXPECT_FALSE(begins("N\n", &shown));
  EXPECT_EQ(shown, "Begin (Y/N)?\n");
  EXPECT_FALSE(begins("No\n"));
  EXPECT_FALSE(begins("  N  whatever follows\n"));
  for (const char* answer : {"Y\n", "y\n", "n\n", "x\n", "Yes\n", "no\n"}) EXPECT_TRUE(begins(answer)) << answer;
}

TEST(StartPrompt, AnswerWithoutAValueKeepsTheDefaultYes) {
  EXPECT_TRUE(begins("/\n"));
  EXPECT_TRUE(begins(",N\n"));         // a null value, then the read is over
  EXPECT_FALSE(begins("\n   \nN\n"));  // empty lines are passed over
}

// End of input is no answer: an error stop, not a quiet decline.
TEST(StartPrompt, EndOfInputIsAnErrorStop) {
  for (const char* typed : {"", "\n\n", "  \n"}) {
    try {
      begins(typed);
      ADD_FAILURE() << "no stop for \"" << typed << "\"";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status, 1);
      EXPECT_EQ(stop.lines, std::vector<std::string>{"No answer to \"Begin (Y/N)?\": end of input"});
    }
  }
}

TEST(ParameterFilePrompt, TypedNameIsUsedAsItStands) {
  std::istringstream in("\n  run1  \n");
  std::ostringstream out;
  Console console(out, in);
  EXPECT_EQ(ask_parameter_file(console), "run1");  // no ".dat" added
  EXPECT_EQ(out.str(), "Parameter file: \nParameter file:   run1  \n");
}

TEST(ParameterFilePrompt, EndOfInputIsAnErrorStop) {
  std::istringstream in("");
  std::ostringstream out;
  Console console(out, in);
  try {
    ask_parameter_file(console);
    FAIL() << "no stop";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    EXPECT_EQ(stop.lines, std::vector<std::string>{"No parameter file given"});
  }
}

}  // namespace
}  // namespace yosta
