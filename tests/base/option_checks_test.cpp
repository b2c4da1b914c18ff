// The checks of numeric options: the message a bad value gets, and the value a
// good one hands the typed option.
#include "base/option_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace yosta {
namespace {

// Parses `args` with one option --value of type T checked by `check`; returns
// the message of the refusal ("" when accepted) and sets `value`.
template <class T>
std::string parse(const CLI::Validator& check, std::vector<std::string> args, T& value, bool hidden = false) {
  CLI::App app("test");
  CLI::Option* opt = app.add_option("--value", value)->transform(check);
  if (hidden) opt->group("");
  args.insert(args.begin(), "--value");
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  return "";
}

struct WholeCase {
  const char* text;
  const char* message;  // "" when accepted
  long long value;
};

TEST(WholeNumberOption, RefusesWithAShortMessageAndPassesTheValue) {
  const WholeCase cases[] = {
      {"1", "", 1},
      {"1024", "", 1024},
      {"017", "", 17},  // decimal, not octal
      {"+5", "", 5},
      {"0", "--value: 0 is not in 1 to 1024", 0},
      {"1025", "--value: 1025 is not in 1 to 1024", 0},
      {"-3", "--value: -3 is not in 1 to 1024", 0},
      {"abc", "--value: 'abc' is not a whole number", 0},
      {"2.5", "--value: '2.5' is not a whole number", 0},
      {"0x10", "--value: '0x10' is not a whole number", 0},
      {"99999999999999999999", "--value: '99999999999999999999' is not a whole number", 0},
  };
  for (const WholeCase& c : cases) {
    int value = -7;
    EXPECT_EQ(parse(whole_number(1, 1024), {c.text}, value), c.message) << c.text;
    if (*c.message == '\0') {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(WholeNumberOption, TheLimitsOfAnIntSeedAndAHiddenOptionsName) {
  std::optional<std::int32_t> seed;
  EXPECT_EQ(parse(whole_number(1, 2147483646), {"2147483646"}, seed), "");
  EXPECT_EQ(seed, 2147483646);
  EXPECT_EQ(parse(whole_number(1, 2147483646), {"2147483647"}, seed), "--value: 2147483647 is not in 1 to 2147483646");
  int member = 0;
  // CLI11 leaves a hidden option's name out of its message: the check puts it in
  // (and the program drops the empty name before it).
  EXPECT_EQ(parse(whole_number(1, 999, "--member"), {"0"}, member, true), ": --member: 0 is not in 1 to 999");
}

struct RealCase {
  const char* text;
  Sign sign;
  const char* message;
  double value;
};

TEST(RealNumberOption, RefusesWithAShortMessageAndPassesTheExactValue) {
  const RealCase cases[] = {
      {"0.1", Sign::any, "", 0.1},
      {"-2.5e-3", Sign::any, "", -2.5e-3},
      {"1.5D2", Sign::any, "", 150.0},  // Fortran exponent
      {"0.30000000000000004", Sign::any, "", 0.30000000000000004},
      {"nan", Sign::any, "--value: 'nan' is not a finite number", 0},
      {"inf", Sign::any, "--value: 'inf' is not a finite number", 0},
      {"1e400", Sign::any, "--value: '1e400' is not a finite number", 0},
      {"abc", Sign::any, "--value: 'abc' is not a number", 0},
      {"0.8A", Sign::any, "--value: '0.8A' is not a number", 0},
      {"0", Sign::positive, "--value: 0 is not above 0", 0},
      {"-1", Sign::positive, "--value: -1 is not above 0", 0},
      {"1e-300", Sign::positive, "", 1e-300},
      {"0", Sign::not_negative, "", 0.0},
      {"-0.001", Sign::not_negative, "--value: -0.001 is below 0", 0},
  };
  for (const RealCase& c : cases) {
    double value = -7.0;
    EXPECT_EQ(parse(real_number(c.sign), {c.text}, value), c.message) << c.text;
    if (*c.message == '\0') {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(RealNumberOption, ChecksEveryValueOfAListOption) {
  std::vector<double> range;
  EXPECT_EQ(parse(real_number(), {"1", "nan"}, range), "--value: 'nan' is not a finite number");
  range.clear();
  EXPECT_EQ(parse(real_number(), {"1", "2.5"}, range), "");
  EXPECT_EQ(range, (std::vector<double>{1.0, 2.5}));
}

}  // namespace
}  // namespace yosta
