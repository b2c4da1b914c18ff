// The reading of number columns: every spelling of a number reads as the C
// library reads it (plain decimals take a faster way than the others, and
// both must agree), and what is not a finite number is refused by line,
// column and text.
#include "tools/columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "base/stop.h"
#include "support/test_support.h"

namespace yosta::testing {
namespace {

double c_library_value(std::string text) {
  for (char& ch : text) {
    if (ch == 'D' || ch == 'd') ch = 'E';
  }
  return std::strtod(text.c_str(), nullptr);
}

TEST(Columns, EverySpellingReadsAsTheCLibraryReadsIt) {
  const char* const spellings[] = {"0.1",
                                   "-0",
                                   "0.30000000000000004",
                                   "1.5D-3",
                                   "2.5d+2",
                                   "+2",
                                   ".5",
                                   "5.",
                                   "1e-310",
                                   "4.9e-324",
                                   "1e-400",
                                   "0x1p3",
                                   "1E+308",
                                   "123456789012345678901234567890",
                                   "-7.25e-5",
                                   "17"};
  TempDir dir;
  std::string text = "Q F\n";
  int k = 0;
  for (const char* s : spellings) text += std::to_string(++k) + " " + s + "\n";
  write_file(dir.file("cols.txt"), text);
  const tools::Table t = tools::read_table(dir.file("cols.txt"));
  ASSERT_EQ(t.rows.size(), std::size(spellings));
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    const double expected = c_library_value(spellings[i]);
    EXPECT_EQ(t.rows[i][1], expected) << spellings[i];
    EXPECT_EQ(std::signbit(t.rows[i][1]), std::signbit(expected)) << spellings[i];
    EXPECT_EQ(t.lines[i], static_cast<int>(i) + 2);
  }
}

TEST(Columns, WhatIsNotAFiniteNumberIsRefusedByLineAndColumn) {
  const struct {
    const char* item;
    const char* why;
  } cases[] = {
      {"1e400", "is not a finite number"}, {"-1e999", "is not a finite number"}, {"nan", "is not a finite number"},
      {"inf", "is not a finite number"},   {"1.2.3", "is not a number"},         {"2x", "is not a number"},
      {"1e", "is not a number"},           {"--1", "is not a number"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("bad.txt"), std::string("0.1 1\n0.2 ") + c.item + "\n0.3 3\n");
    try {
      tools::read_table(dir.file("bad.txt"));
      ADD_FAILURE() << c.item << " was read";
    } catch (const Stop& stop) {
      EXPECT_EQ(std::string(stop.what()), dir.file("bad.txt") + ", line 2, column 2: '" + c.item + "' " + c.why);
    }
  }
}

}  // namespace
}  // namespace yosta::testing
