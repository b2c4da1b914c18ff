// Fixed-layout writer against the reference tables in golden/layout.golden
// (made by tools/golden/make_golden.sh), plus template errors and single fields.
#include "text/layout.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace yosta::text {
namespace {

struct GoldenCase {
  std::string tmpl;
  std::vector<Value> values;
  std::string expected;  // lines, each ended by '\n'
  int line = 0;          // where the case starts in the table
};

// Block format: "@ template", value lines "A |text|", "I n", "R xxxxxxxx" (float
// bits), "D x16" (double bits), "L T", then "= n" and n lines "|text|".
std::vector<GoldenCase> load_layout_golden() {
  std::ifstream in(YOSTA_TEST_DIR "/text/golden/layout.golden");
  EXPECT_TRUE(in.good()) << "missing golden/layout.golden";
  std::vector<GoldenCase> cases;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("@ ", 0) == 0) {
      cases.push_back({line.substr(2), {}, {}, number});
      continue;
    }
    if (cases.empty() || line.size() < 2) continue;
    GoldenCase& c = cases.back();
    std::string rest = line.substr(2);
    switch (line[0]) {
      case 'A':
        c.values.emplace_back(rest.substr(1, rest.size() - 2));
        break;
      case 'I':
        c.values.emplace_back(static_cast<std::int32_t>(std::stol(rest)));
        break;
      case 'R':
        c.values.emplace_back(std::bit_cast<float>(static_cast<std::uint32_t>(std::stoul(rest, nullptr, 16))));
        break;
      case 'D':
        c.values.emplace_back(std::bit_cast<double>(std::stoull(rest, nullptr, 16)));
        break;
      case 'L':
        c.values.emplace_back(rest == "T");
        break;
      case '=': {
        int n = std::stoi(rest);
        for (int i = 0; i < n && std::getline(in, line); ++i) {
          ++number;
          c.expected += line.substr(1, line.size() - 2) + "\n";
        }
        break;
      }
      default:
        break;
    }
  }
  return cases;
}

std::string describe(const std::vector<Value>& values) {
  std::string s;
  for (const Value& v : values) {
    char buf[64];
    if (const auto* f = std::get_if<float>(&v)) {
      std::snprintf(buf, sizeof buf, "%.9g ", static_cast<double>(*f));
    } else if (const auto* d = std::get_if<double>(&v)) {
      std::snprintf(buf, sizeof buf, "%.17g(d) ", *d);
    } else if (const auto* i = std::get_if<std::int32_t>(&v)) {
      std::snprintf(buf, sizeof buf, "%d ", *i);
    } else if (const auto* b = std::get_if<bool>(&v)) {
      std::snprintf(buf, sizeof buf, "%s ", *b ? "T" : "F");
    } else {
      std::snprintf(buf, sizeof buf, "'%s' ", std::get<std::string>(v).c_str());
    }
    s += buf;
  }
  return s;
}

TEST(Layout, MatchesReferenceTables) {
  std::vector<GoldenCase> cases = load_layout_golden();
  ASSERT_GT(cases.size(), 1000u);
  int failures = 0;
  for (const GoldenCase& c : cases) {
    std::string got = layout(c.tmpl, c.values);
    if (got != c.expected && ++failures <= 30) {
      ADD_FAILURE() << "golden line " << c.line << ": " << c.tmpl << "\n  values: " << describe(c.values)
                    << "\n  expected:\n"
                    << c.expected << "  got:\n"
                    << got;
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(Layout, ReportLinesAsTheyAppear) {
  EXPECT_EQ(layout("(' Saved ',I5,' sets of values')", {7}), " Saved     7 sets of values\n");
  // Fewer values than fields: the line ends at the first empty field, the
  // closing slash is not written.
  EXPECT_EQ(layout("(' Saving ',I5,' g(r)s with target chi**2 ',10F5.1,/)", {2, 1.5f, 0.8f}),
            " Saving     2 g(r)s with target chi**2   1.5  0.8\n");
  EXPECT_EQ(layout("(/,' Smoothing weight ',F10.2,', exponent ',F6.2,'A and cut-off ',F6.2,/)", {1000.0f, 2.0f, 1.5f}),
            "\n Smoothing weight    1000.00, exponent   2.00A and cut-off   1.50\n\n");
  EXPECT_EQ(layout("(' Resetting G(r) to start')"), " Resetting G(r) to start\n");
}

TEST(Layout, FloatsAreFormattedFromTheirExactValue) {
  // 0.125f is exact: a tie rounds to even. 2.675f lies below 2.675.
  EXPECT_EQ(layout("(F5.2,F5.2)", {0.125f, 2.675f}), " 0.12 2.67\n");
  // The same decimal as a float and as a double may round differently:
  // 0.45f lies below 0.45, the double just above it.
  EXPECT_EQ(layout("(F4.1)", {0.45f}), " 0.4\n");
  EXPECT_EQ(layout("(F4.1)", {0.45}), " 0.5\n");
}

TEST(Layout, ValueKinds) {
  EXPECT_EQ(layout("(F6.2)", {3}), "  3.00\n");     // an integer in a real field
  EXPECT_EQ(layout("(A,'|')", {"lit"}), "lit|\n");  // a string literal is a text, not a logical
  EXPECT_EQ(layout("(L3)", {true}), "  T\n");
}

TEST(Layout, SingleFields) {
  EXPECT_EQ(format_I(-12, 4), " -12");
  EXPECT_EQ(format_I(12345, 4), "****");
  EXPECT_EQ(format_F(-0.5, 4, 2), "-.50");
  EXPECT_EQ(format_F(std::numeric_limits<double>::quiet_NaN(), 6, 2), "   NaN");
  EXPECT_EQ(format_G(0.0, 10, 4), " 0.000    ");
  EXPECT_EQ(format_G(12345.0, 10, 4), "0.1234E+05");  // an exact tie rounds to even
  EXPECT_EQ(format_G(1.0e-99, 11, 4), " 0.1000E-98");
  EXPECT_EQ(format_G(1.0e-101, 11, 4), " 0.1000-100");  // three exponent digits drop the E
  EXPECT_EQ(format_G(1.0e300, 10, 4), "0.1000+301");
}

TEST(Layout, BadTemplatesAreProgrammingErrors) {
  EXPECT_THROW(layout("' no parentheses'"), std::invalid_argument);
  EXPECT_THROW(layout("('unterminated)"), std::invalid_argument);
  EXPECT_THROW(layout("(I5"), std::invalid_argument);
  EXPECT_THROW(layout("(Z8)", {1}), std::invalid_argument);
  EXPECT_THROW(layout("(F6)", {1.0f}), std::invalid_argument);
  EXPECT_THROW(layout("(I5)", {1.5f}), std::invalid_argument);
  EXPECT_THROW(layout("(A)", {1}), std::invalid_argument);
}

}  // namespace
}  // namespace yosta::text
