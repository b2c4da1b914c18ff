// Free-format reader against the reference tables in golden/listread.golden
// (made by tools/golden/make_golden.sh), plus its error messages and the
// record rules that callers rely on.
#include "text/free_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "support/test_support.h"

namespace yosta::text {
namespace {

struct GoldenRead {
  std::string kinds;                 // e.g. "IIR"; "S" a text record; "" a skipped line
  std::string outcome;               // ok, eof or err
  std::vector<std::string> results;  // "I 5", "R 3FC00000", ... as in the table
};

struct GoldenCase {
  std::string title;
  std::string input;
  std::vector<GoldenRead> reads;
};

std::vector<GoldenCase> load_listread_golden() {
  std::ifstream in(YOSTA_TEST_DIR "/text/golden/listread.golden");
  EXPECT_TRUE(in.good()) << "missing golden/listread.golden";
  std::vector<GoldenCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line[0] == '@') {
      cases.push_back({line, {}, {}});
    } else if (cases.empty()) {
      continue;
    } else if (line[0] == '>') {
      std::string text = line.substr(1);
      for (char& c : text) {
        if (c == '~') c = '\t';
        if (c == '%') c = '\r';
      }
      cases.back().input += text + "\n";
    } else if (line.rfind("READ", 0) == 0) {
      cases.back().reads.push_back({line.size() > 5 ? line.substr(5) : "", "", {}});
    } else if (line.rfind("= ", 0) == 0) {
      cases.back().reads.back().outcome = line.substr(2);
    } else {
      cases.back().reads.back().results.push_back(line);
    }
  }
  return cases;
}

std::string hex(std::uint64_t bits, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(bits));
  return buf;
}

// Performs one read the way the reference program does (same presets, items
// in the order C, I, R, D, L) and lists the values it leaves.
std::vector<std::string> perform(FreeReader& reader, const std::string& kinds) {
  std::vector<std::string> out;
  if (kinds == "S") {
    out.push_back("S |" + reader.read_text("a title") + "|");
    return out;
  }
  if (kinds.empty()) {
    reader.skip_line("a heading");
    return out;
  }
  auto count = [&](char k) { return static_cast<int>(std::count(kinds.begin(), kinds.end(), k)); };
  reader.begin("a record");
  for (int i = 0; i < count('C'); ++i) {
    char c = '?';
    reader.get(c, "a character");
    out.push_back("C " + hex(static_cast<unsigned char>(c), 2));
  }
  for (int i = 0; i < count('I'); ++i) {
    std::int32_t v = -7777;
    reader.get(v, "an integer");
    out.push_back("I " + std::to_string(v));
  }
  for (int i = 0; i < count('R'); ++i) {
    float v = -7777.0f;
    reader.get(v, "a real");
    out.push_back("R " + hex(std::bit_cast<std::uint32_t>(v), 8));
  }
  for (int i = 0; i < count('D'); ++i) {
    double v = -7777.0;
    reader.get(v, "a real");
    out.push_back("D " + hex(std::bit_cast<std::uint64_t>(v), 16));
  }
  for (int i = 1; i <= count('L'); ++i) {
    bool v = i % 2 == 1;
    reader.get(v, "a logical");
    out.push_back(std::string("L ") + (v ? "T" : "F"));
  }
  reader.end();
  return out;
}

TEST(FreeReader, MatchesReferenceTables) {
  std::vector<GoldenCase> cases = load_listread_golden();
  ASSERT_GT(cases.size(), 100u);
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.title);
    std::istringstream in(c.input);
    FreeReader reader("case.dat", in);
    reader.allow_non_finite();  // the tables hold the spellings of infinities and NaNs
    for (const GoldenRead& r : c.reads) {
      SCOPED_TRACE("READ " + r.kinds);
      std::string outcome = "ok";
      std::vector<std::string> got;
      try {
        got = perform(reader, r.kinds);
      } catch (const Stop& stop) {
        ASSERT_EQ(stop.lines.size(), 1u);
        outcome = stop.lines[0].ends_with("found end of file") ? "eof" : "err";
        EXPECT_EQ(outcome, r.outcome) << stop.lines[0];
        break;
      }
      EXPECT_EQ(outcome, r.outcome);
      if (outcome == "ok") {
        EXPECT_EQ(got, r.results);
      }
    }
  }
}

FreeReader reader_of(const std::string& text, const std::string& name = "params.dat") {
  std::istringstream in(text);
  return FreeReader(name, in);
}

std::string stop_message(const std::function<void()>& action) {
  try {
    action();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
    return stop.lines.size() == 1 ? stop.lines[0] : "(several lines)";
  }
  return "(no stop)";
}

TEST(FreeReader, ErrorsNameFileLineWhatAndFound) {
  FreeReader r = reader_of("title\n\n  3 abc\n");
  r.skip_line("title");
  std::int32_t n = 0;
  r.begin("counts");
  EXPECT_TRUE(r.get(n, "number of data sets (integer)"));
  EXPECT_EQ(stop_message([&] { r.get(n, "number of zero constraints (integer)"); }),
            "Error reading file \"params.dat\", line 3: expected number of zero constraints (integer), "
            "found \"abc\"");
  EXPECT_EQ(stop_message([&] { reader_of("1.5\n").read_int("number of r points (integer)"); }),
            "Error reading file \"params.dat\", line 1: expected number of r points (integer), found \"1.5\"");
  EXPECT_EQ(stop_message([&] { reader_of("maybe\n").read_logical("resolution switch (T or F)"); }),
            "Error reading file \"params.dat\", line 1: expected resolution switch (T or F), found \"maybe\"");
}

TEST(FreeReader, EndOfFileIsReportedAsSuch) {
  FreeReader r = reader_of("1 2\n3\n");
  r.begin("pair");
  std::int32_t a = 0;
  r.get(a, "a");
  r.get(a, "b");
  r.end();
  EXPECT_FALSE(r.at_end());
  r.begin("three values");
  r.get(a, "first");
  EXPECT_EQ(stop_message([&] { r.get(a, "second value (integer)"); }),
            "Error reading file \"params.dat\", line 3: expected second value (integer), found end of file");
  EXPECT_EQ(stop_message([&] { reader_of("").read_text("title"); }),
            "Error reading file \"params.dat\", line 1: expected title, found end of file");
}

TEST(FreeReader, RecordsStartOnNewLinesAndCountThem) {
  FreeReader r = reader_of("1 2 3\n\n4\n5, 6\nrest\n");
  EXPECT_EQ(r.line_number(), 0);
  EXPECT_EQ(r.read_int("first"), 1);  // 2 and 3 are ignored
  EXPECT_EQ(r.line_number(), 1);
  EXPECT_EQ(r.read_int("second"), 4);  // the blank line supplies nothing
  EXPECT_EQ(r.line_number(), 3);
  r.begin("pair");
  float x = 0.0f, y = 0.0f;
  r.get(x, "x");
  r.get(y, "y");
  r.end();
  EXPECT_EQ(x, 5.0f);
  EXPECT_EQ(y, 6.0f);
  EXPECT_FALSE(r.at_end());
  EXPECT_EQ(r.read_text("last", 6), "rest  ");
  EXPECT_TRUE(r.at_end());
}

TEST(FreeReader, SlashAndNullLeaveItemsUnchanged) {
  FreeReader r = reader_of("1,,3 /\n");
  r.begin("four");
  std::int32_t v[4] = {-1, -1, -1, -1};
  EXPECT_TRUE(r.get(v[0], "a"));
  EXPECT_FALSE(r.get(v[1], "b"));
  EXPECT_TRUE(r.get(v[2], "c"));
  EXPECT_FALSE(r.get(v[3], "d"));
  r.end();
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], -1);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], -1);
  // A whole-record read that gets no value is an error, not a silent zero.
  EXPECT_EQ(stop_message([] { reader_of("/\n").read_real("density (real)"); }),
            "Error reading file \"params.dat\", line 1: expected density (real), found \"/\"");
}

TEST(FreeReader, TextRecordsAreEightyColumns) {
  std::string long_line(100, 'x');
  long_line[79] = 'y';
  FreeReader r = reader_of("  a  name\t\n" + long_line + "\r\n\n");
  std::string first = r.read_text("title");
  EXPECT_EQ(first.size(), 80u);
  EXPECT_EQ(first.substr(0, 10), "  a  name\t");
  EXPECT_EQ(first.find_last_not_of(' '), 9u);
  std::string second = r.read_text("file name");
  EXPECT_EQ(second, long_line.substr(0, 80));
  EXPECT_EQ(r.read_text("empty"), std::string(80, ' '));
}

TEST(FreeReader, WindowsLineEndsAndMissingFinalNewline) {
  FreeReader r = reader_of("T\r\n2.5\r\n7");
  EXPECT_TRUE(r.read_logical("switch"));
  EXPECT_EQ(r.read_real("width"), 2.5f);
  EXPECT_EQ(r.read_int("count"), 7);
  EXPECT_TRUE(r.at_end());
}

TEST(FreeReader, OneCharacterAnswer) {
  FreeReader r = reader_of("Yes\n/\n");
  char answer = 'Y';
  r.begin("answer");
  r.get(answer, "answer");
  r.end();
  EXPECT_EQ(answer, 'Y');
  answer = 'Q';
  r.begin("answer");
  EXPECT_FALSE(r.get(answer, "answer"));
  r.end();
  EXPECT_EQ(answer, 'Q');
}

TEST(FreeReader, OpenNamesTheMissingFile) {
  testing::TempDir dir;
  std::string path = dir.file("x.dat");
  EXPECT_EQ(stop_message([&] { FreeReader::open(path); }),
            "Cannot open file \"" + path + "\" for reading: No such file or directory");
  EXPECT_EQ(stop_message([&] { FreeReader::open(dir.path()); }),
            "Cannot open file \"" + dir.path() + "\" for reading: Is a directory");
  testing::write_file(path, "42\n");
  FreeReader r = FreeReader::open(path);
  EXPECT_EQ(r.name(), path);
  EXPECT_EQ(r.read_int("answer"), 42);
}

// Reals that read as infinities or NaNs, also by overflow of their type or by
// repetition, are refused with the item as written; found text shows control
// bytes escaped.
TEST(FreeReader, NonFiniteRealsAreRefusedAndFoundTextIsEscaped) {
  struct Case {
    const char* text;
    bool as_double;
    const char* message;
  };
  const Case cases[] = {
      {"1 nan\n", false, "line 1: x (real) must be a finite number, found \"nan\""},
      {"1 -Infinity\n", true, "line 1: x (real) must be a finite number, found \"-Infinity\""},
      {"1 3.5d39\n", false,
       "line 1: x (real) is beyond the single-precision range (at most about 3.4e38 in size), found \"3.5d39\""},
      {"1 1d309\n", true, "line 1: x (real) must be a finite number, found \"1d309\""},
      {"1\n\n 2*inf\n", false, "line 3: x (real) must be a finite number, found \"inf\""},
      {"1 a\x07\x0e\x7f"
       "b\n",
       false, "line 1: expected x (real), found \"a\\x07\\x0e\\x7fb\""},
  };
  for (const Case& c : cases) {
    FreeReader r = reader_of(c.text);
    r.begin("record");
    std::string got = "<no stop>";
    try {
      if (c.as_double) {
        double a = 0, b = 0;
        r.get(a, "x (real)");
        r.get(b, "x (real)");
      } else {
        float a = 0, b = 0;
        r.get(a, "x (real)");
        r.get(b, "x (real)");
      }
    } catch (const Stop& stop) {
      got = stop.lines.at(0);
    }
    EXPECT_EQ(got, std::string("Error reading file \"params.dat\", ") + c.message) << c.text;
  }
  // The largest finite values still read.
  FreeReader r = reader_of("3.4e38 -1.7d308\n");
  float f = 0;
  double d = 0;
  r.begin("record");
  EXPECT_TRUE(r.get(f, "f"));
  EXPECT_TRUE(r.get(d, "d"));
  EXPECT_EQ(f, 3.4e38f);
  EXPECT_EQ(d, -1.7e308);
}

// Line ends of every kind, a byte-order mark, and what a record leaves.
TEST(FreeReader, LineEndsByteOrderMarkAndLeftovers) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"LF", "5 6\n 2.5\nname\n"},
      {"CR LF", "5 6\r\n 2.5\r\nname\r\n"},
      {"CR only", "5 6\r 2.5\rname\r"},
      {"mixed, no final end", "5 6\r 2.5\r\nname"},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "5 6\n 2.5\nname\n"},
  };
  for (const Case& c : cases) {
    FreeReader r = reader_of(c.text);
    r.begin("record");
    std::int32_t a = 0;
    EXPECT_TRUE(r.get(a, "a")) << c.name;
    EXPECT_EQ(a, 5) << c.name;
    EXPECT_TRUE(r.values_left_on_line()) << c.name;  // the 6
    r.end();
    EXPECT_EQ(r.read_real("x"), 2.5f) << c.name;
    EXPECT_EQ(r.line_number(), 2) << c.name;
    EXPECT_EQ(r.text_lines_after(), 1) << c.name;
    EXPECT_EQ(r.read_name("name"), "name") << c.name;
    EXPECT_TRUE(r.at_end()) << c.name;
  }
  // Nothing left: blanks, a trailing comma, a slash and what follows it.
  for (const char* text : {"1 2   \n", "1 2,\n", "1 2 / comment\n", "1 /2\n"}) {
    FreeReader r = reader_of(text);
    r.begin("record");
    std::int32_t a = 0, b = 0;
    r.get(a, "a");
    r.get(b, "b");
    EXPECT_FALSE(r.values_left_on_line()) << text;
  }
  // A repeat only partly taken leaves values.
  FreeReader r = reader_of("1 3*2\n\n  \nmore\n");
  r.begin("record");
  std::int32_t a = 0, b = 0;
  r.get(a, "a");
  r.get(b, "b");
  EXPECT_TRUE(r.values_left_on_line());
  r.end();
  EXPECT_EQ(r.text_lines_after(), 1);  // blank lines do not count
}

// A stream that never ends and never ends a line, as /dev/zero does.
class EndlessZeros : public std::streambuf {
 public:
  std::size_t bytes = 0;

 protected:
  int_type underflow() override {
    buffer_.assign(4096, '\0');
    bytes += buffer_.size();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
    return traits_type::to_int_type('\0');
  }

 private:
  std::string buffer_;
};

TEST(FreeReader, AnOverlongLineIsRefusedWithoutReadingFurther) {
  EndlessZeros zeros;
  std::istream in(&zeros);
  EXPECT_EQ(stop_message([&] { FreeReader("/dev/zero", in); }),
            "Error reading file \"/dev/zero\", line 1: the line is longer than 1048576 bytes; is this a text file?");
  EXPECT_LE(zeros.bytes, FreeReader::max_line_bytes + 4096);
  // A line of exactly the limit is still read.
  std::string text(FreeReader::max_line_bytes, 'a');
  FreeReader r = reader_of("1\n" + text + "\n2\n");
  EXPECT_EQ(r.read_int("one"), 1);
  EXPECT_EQ(r.read_name("long").size(), FreeReader::max_line_bytes);
  EXPECT_EQ(r.read_int("two"), 2);
}

// Names keep the whole line without trailing blanks and tabs, however short
// (a blank line is an empty name); the title keeps its 80 columns.
TEST(FreeReader, NamesAreWholeLinesWithoutTrailingBlanks) {
  const std::string long_name = "  /data/" + std::string(150, 'n') + " x";
  FreeReader r = reader_of(long_name + " \t \t\nshort\t\n\t\n");
  EXPECT_EQ(r.read_name("file name"), long_name);
  EXPECT_EQ(r.read_name("file name"), "short");
  EXPECT_EQ(r.read_name("file name"), "");
  EXPECT_EQ(stop_message([&] { r.read_name("root name (text)"); }),
            "Error reading file \"params.dat\", line 4: expected root name (text), found end of file");
}

}  // namespace
}  // namespace yosta::text
