// Free-format records: layout of a record and loss-free round trips through
// the free-format reader.
#include "text/free_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "text/free_reader.h"

namespace yosta::text {
namespace {

TEST(FreeWriter, RecordLayout) {
  EXPECT_EQ(free_record({std::string(" Up to "), 1.5f, std::string("A, sigma is : "), 0.25f}),
            " Up to  1.5 A, sigma is :  0.25\n");
  EXPECT_EQ(free_record({12000, std::int32_t{-2147483647 - 1}, 0.1f}), "12000 -2147483648 0.1\n");
  EXPECT_EQ(free_record({}), "\n");
  std::string line;
  append_item(line, 3);
  append_item(line, std::string_view("x"));
  append_item(line, -0.0f);
  EXPECT_EQ(line, "3 x -0");
}

TEST(FreeWriter, RealsAreShortAndExact) {
  EXPECT_EQ(real_text(0.1f), "0.1");
  EXPECT_EQ(real_text(1.0f), "1");
  EXPECT_EQ(real_text(std::numeric_limits<float>::denorm_min()), "1e-45");
  EXPECT_EQ(real_text(std::numeric_limits<float>::max()), "3.4028235e+38");
  EXPECT_EQ(real_text(20.0f), "20");
  EXPECT_EQ(real_text(934230622208.0f), "9.342306e+11");
  std::mt19937 gen(12345);
  for (int i = 0; i < 2000; ++i) {
    float f = std::bit_cast<float>(static_cast<std::uint32_t>(gen()));
    if (!std::isfinite(f)) continue;
    std::string s = real_text(f);
    std::string mantissa = s.substr(0, s.find('e'));
    bool has_point = mantissa.find('.') != std::string::npos;
    std::string digits;
    for (char c : mantissa) {
      if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
    }
    if (!has_point) {  // "1e+10", "120": trailing zeros of a whole number
      while (!digits.empty() && digits.back() == '0') digits.pop_back();
    }
    EXPECT_LE(digits.size(), 9u) << s;
  }
}

// Every written value reads back to the same bits.
void expect_round_trip(const std::vector<float>& values) {
  std::string record;
  for (float v : values) append_item(record, v);
  std::istringstream in(record + "\n");
  FreeReader reader("round.g", in);
  reader.allow_non_finite();  // infinities and NaNs are written and must read back
  reader.begin("values");
  for (float v : values) {
    float back = 12345.0f;
    ASSERT_TRUE(reader.get(back, "value"));
    if (std::isnan(v)) {
      EXPECT_TRUE(std::isnan(back)) << record;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v))
          << real_text(v) << " read back as " << back;
    }
  }
  reader.end();
  EXPECT_TRUE(reader.at_end());
}

TEST(FreeWriter, SpecialValuesRoundTrip) {
  using L = std::numeric_limits<float>;
  expect_round_trip({0.0f, -0.0f, 1e-45f, -1e-45f, L::min(), L::denorm_min() * 3.0f, 3.4e38f, L::max(), -L::max(),
                     L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(), 16777217.0f, 1e10f,
                     1.17549421e-38f});
}

TEST(FreeWriter, RandomValuesRoundTrip) {
  std::mt19937 gen(2024);
  std::vector<float> values;
  for (int i = 0; i < 20000; ++i) {
    std::uint32_t bits = static_cast<std::uint32_t>(gen());
    if (i % 4 == 0) bits &= 0x807FFFFFu;  // denormals
    values.push_back(std::bit_cast<float>(bits));
  }
  expect_round_trip(values);
}

}  // namespace
}  // namespace yosta::text
