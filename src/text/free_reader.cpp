// Free-format (list-directed) reader: lines, records and items. Values are
// taken token by token; the accepted spellings (text/spelling.h) follow the
// traditional list-directed input rules (checked against the golden tables in
// tests/text/golden/).
#include "text/free_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "base/files.h"
#include "base/stop.h"
#include "text/spelling.h"

namespace yosta::text {

using namespace spelling;

namespace {

// A stream buffer over text held elsewhere, read without a copy.
class ViewBuffer : public std::streambuf {
 public:
  explicit ViewBuffer(std::string_view text) {
    char* begin = const_cast<char*>(text.data());
    setg(begin, begin, begin + text.size());
  }
};

}  // namespace

FreeReader::FreeReader(std::string name, std::istream& in) : name_(std::move(name)) { split(in.rdbuf()); }

FreeReader::FreeReader(std::string name, std::string_view text) : name_(std::move(name)) {
  ViewBuffer buffer(text);
  split(&buffer);
}

// Lines are taken as they come, so that a stream without end (a device) is
// refused at the line limit rather than read into memory.
void FreeReader::split(std::streambuf* buf) {
  if (buf == nullptr) return;
  using traits = std::char_traits<char>;
  std::string line;
  for (;;) {
    const traits::int_type c = buf->sbumpc();
    if (traits::eq_int_type(c, traits::eof())) break;
    const char ch = traits::to_char_type(c);
    if (ch == '\n' || ch == '\r') {
      if (ch == '\r' && traits::eq_int_type(buf->sgetc(), traits::to_int_type('\n'))) buf->sbumpc();
      lines_.push_back(std::move(line));
      line.clear();
      continue;
    }
    if (line.size() >= max_line_bytes) {
      throw Stop("Error reading file \"" + printable(name_) + "\", line " + std::to_string(lines_.size() + 1) +
                 ": the line is longer than " + std::to_string(max_line_bytes) + " bytes; is this a text file?");
    }
    line += ch;
  }
  if (!line.empty()) lines_.push_back(std::move(line));
  // A UTF-8 byte-order mark, as some editors write one.
  if (!lines_.empty() && lines_[0].starts_with("\xEF\xBB\xBF")) lines_[0].erase(0, 3);
}

FreeReader FreeReader::open(const std::string& path) {
  // A folder, a FIFO, a device or a file beyond the input limit is refused
  // by name before anything is read.
  const std::string text = read_input_file(path);
  return FreeReader(path, std::string_view(text));
}

bool FreeReader::at_end() const {
  std::size_t next = static_cast<std::size_t>(line_);  // index of the line after the current one
  return next >= lines_.size();
}

std::string printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// Found text as it may be shown: quoted, printable and cut to one readable
// line.
std::string shown(std::string_view found) {
  const bool cut = found.size() > 40;
  if (cut) found = found.substr(0, 37);
  return "\"" + printable(found) + (cut ? "...\"" : "\"");
}

}  // namespace

void FreeReader::fail(std::string_view what, std::string_view found) const {
  std::string msg = "Error reading file \"" + printable(name_) + "\", line " + std::to_string(line_) + ": expected " +
                    std::string(what) + ", found ";
  msg += found.empty() ? std::string("end of file") : shown(found);
  throw Stop(msg);
}

bool FreeReader::last_is_nonzero() const {
  double x = 0.0;
  return parse_double(token_, x) && x != 0.0;
}

void FreeReader::refuse_last(std::string_view what, std::string_view why) const {
  throw Stop("Error reading file \"" + printable(name_) + "\", line " + std::to_string(line_) + ": " +
             std::string(what) + " " + std::string(why) + ", found " + shown(token_));
}

void FreeReader::begin(std::string_view /*record_what*/) {
  // Each record starts on the line after the one the previous record ended on.
  if (static_cast<std::size_t>(line_) < lines_.size()) {
    ++line_;
  } else {
    line_ = static_cast<int>(lines_.size()) + 1;
  }
  pos_ = 0;
  in_record_ = true;
  slashed_ = false;
  after_value_ = false;
  repeat_left_ = 0;
  repeat_token_.clear();
}

void FreeReader::end() {
  in_record_ = false;
  slashed_ = false;
  repeat_left_ = 0;
  // A record that starts beyond the last line has nothing to end on.
  if (static_cast<std::size_t>(line_) > lines_.size()) line_ = static_cast<int>(lines_.size());
}

// Takes the next item of the record: true with its text, false for a null
// value or after a slash. Runs onto further lines as needed.
bool FreeReader::next_token(std::string& token, std::string_view what) {
  if (!in_record_) begin(what);
  if (slashed_) return false;
  if (repeat_left_ > 0) {
    --repeat_left_;
    if (repeat_token_.empty()) return false;
    token = repeat_token_;
    return true;
  }
  // Skip blanks and blank lines up to the start of the item. A comma found
  // after a value, even on a later line, is that value's separator; any
  // other comma stands for an empty item: a null value.
  for (;;) {
    if (static_cast<std::size_t>(line_) > lines_.size()) fail(what, "");
    const std::string& text = lines_[static_cast<std::size_t>(line_ - 1)];
    while (pos_ < text.size() && is_blank(text[pos_])) ++pos_;
    if (pos_ >= text.size()) {
      ++line_;
      pos_ = 0;
      continue;
    }
    if (!is_comma(text[pos_])) break;
    ++pos_;
    if (!after_value_) return false;
    after_value_ = false;
  }
  const std::string& text = lines_[static_cast<std::size_t>(line_ - 1)];
  char c = text[pos_];
  if (c == '/') {
    slashed_ = true;
    return false;
  }
  std::size_t start = pos_;
  if (c == '\'' || c == '"') {
    ++pos_;
    while (pos_ < text.size()) {
      if (text[pos_] == c) {
        if (pos_ + 1 < text.size() && text[pos_ + 1] == c) {
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      ++pos_;
    }
  } else {
    while (pos_ < text.size() && !ends_token(text[pos_])) ++pos_;
  }
  token.assign(text, start, pos_ - start);
  // The separator after the item: blanks and at most one comma.
  while (pos_ < text.size() && is_blank(text[pos_])) ++pos_;
  after_value_ = true;
  if (pos_ < text.size() && is_comma(text[pos_])) {
    ++pos_;
    after_value_ = false;
  }

  // r*c repeats c r times; r* gives r null values.
  std::size_t star = token.find('*');
  if (star != std::string::npos && star > 0 && token[0] != '\'' && token[0] != '"') {
    std::int32_t r = 0;
    auto res = std::from_chars(token.data(), token.data() + star, r);
    if (res.ec != std::errc() || res.ptr != token.data() + star || r <= 0) fail(what, token);
    repeat_token_ = token.substr(star + 1);
    repeat_left_ = r - 1;
    if (repeat_token_.empty()) return false;
    token = repeat_token_;
  }
  return true;
}

bool FreeReader::get(std::int32_t& value, std::string_view what) {
  if (!next_token(token_, what)) return false;
  if (!parse_int(token_, value)) fail(what, token_);
  return true;
}

bool FreeReader::get(float& value, std::string_view what) {
  if (!next_token(token_, what)) return false;
  float x = 0.0f;
  if (!parse_float(token_, x)) fail(what, token_);
  if (!std::isfinite(x) && !allow_non_finite_) {
    // A number written in full but beyond single precision is no infinity.
    double wide = 0.0;
    if (parse_double(token_, wide) && std::isfinite(wide))
      refuse_last(what, "is beyond the single-precision range (at most about 3.4e38 in size)");
    refuse_last(what, "must be a finite number");
  }
  value = x;
  return true;
}

bool FreeReader::get(double& value, std::string_view what) {
  if (!next_token(token_, what)) return false;
  double x = 0.0;
  if (!parse_double(token_, x)) fail(what, token_);
  if (!std::isfinite(x) && !allow_non_finite_) refuse_last(what, "must be a finite number");
  value = x;
  return true;
}

bool FreeReader::get(bool& value, std::string_view what) {
  if (!next_token(token_, what)) return false;
  if (!parse_logical(token_, value)) fail(what, token_);
  return true;
}

bool FreeReader::get(char& value, std::string_view what) {
  if (!next_token(token_, what)) return false;
  const std::string& token = token_;
  std::string s = (token[0] == '\'' || token[0] == '"') ? unquote(token) : token;
  value = s.empty() ? ' ' : s[0];
  return true;
}

std::int32_t FreeReader::read_int(std::string_view what) {
  std::int32_t v = 0;
  begin(what);
  if (!get(v, what)) fail(what, slashed_ ? "/" : ",");
  end();
  return v;
}

float FreeReader::read_real(std::string_view what) {
  float v = 0.0f;
  begin(what);
  if (!get(v, what)) fail(what, slashed_ ? "/" : ",");
  end();
  return v;
}

bool FreeReader::read_logical(std::string_view what) {
  bool v = false;
  begin(what);
  if (!get(v, what)) fail(what, slashed_ ? "/" : ",");
  end();
  return v;
}

std::string FreeReader::read_text(std::string_view what, std::size_t width) {
  begin(what);
  if (static_cast<std::size_t>(line_) > lines_.size()) fail(what, "");
  std::string s = lines_[static_cast<std::size_t>(line_ - 1)].substr(0, width);
  s.resize(width, ' ');
  end();
  return s;
}

std::string FreeReader::read_name(std::string_view what) {
  begin(what);
  if (static_cast<std::size_t>(line_) > lines_.size()) fail(what, "");
  std::string s = lines_[static_cast<std::size_t>(line_ - 1)];
  const std::size_t last = s.find_last_not_of(" \t");
  s.resize(last == std::string::npos ? 0 : last + 1);
  end();
  return s;
}

bool FreeReader::values_left_on_line() const {
  if (slashed_ || line_ < 1 || static_cast<std::size_t>(line_) > lines_.size()) return false;
  if (repeat_left_ > 0) return true;  // "3*1.0" with one value taken
  const std::string& text = lines_[static_cast<std::size_t>(line_ - 1)];
  // A slash ends the record: what follows it is no value.
  for (std::size_t i = pos_; i < text.size(); ++i) {
    if (!is_blank(text[i])) return text[i] != '/';
  }
  return false;
}

int FreeReader::reals_left_on_line() const {
  if (slashed_ || line_ < 1 || static_cast<std::size_t>(line_) > lines_.size()) return 0;
  if (repeat_left_ > 0) return -1;
  const std::string& text = lines_[static_cast<std::size_t>(line_ - 1)];
  int count = 0;
  std::size_t i = pos_;
  for (;;) {
    while (i < text.size() && (is_blank(text[i]) || is_comma(text[i]))) ++i;
    if (i >= text.size() || text[i] == '/') return count;
    const std::size_t start = i;
    while (i < text.size() && !ends_token(text[i])) ++i;
    double x = 0.0;
    if (!parse_double(text.substr(start, i - start), x) || !std::isfinite(x)) return -1;
    ++count;
  }
}

int FreeReader::text_lines_after() const {
  int n = 0;
  for (std::size_t i = static_cast<std::size_t>(std::max(line_, 0)); i < lines_.size(); ++i) {
    if (lines_[i].find_first_not_of(" \t") != std::string::npos) ++n;
  }
  return n;
}

void FreeReader::skip_line(std::string_view what) {
  begin(what);
  if (static_cast<std::size_t>(line_) > lines_.size()) fail(what, "");
  end();
}

std::string_view FreeReader::line_text(int number) const {
  if (number < 1 || static_cast<std::size_t>(number) > lines_.size()) return {};
  return lines_[static_cast<std::size_t>(number - 1)];
}

int FreeReader::items_on_line(int number) const {
  const std::string_view text = line_text(number);
  int n = 0;
  bool in_item = false;
  for (char c : text) {
    const bool separator = is_blank(c) || is_comma(c);
    if (!separator && !in_item) ++n;
    in_item = !separator;
  }
  return n;
}

int FreeReader::text_lines() const {
  int n = 0;
  for (const std::string& line : lines_) {
    if (line.find_first_not_of(" \t") != std::string::npos) ++n;
  }
  return n;
}

}  // namespace yosta::text
