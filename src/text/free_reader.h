// Free-format (list-directed) reading of the parameter, data and start files.
//
// Every read starts on a new line and takes its values, separated by blanks or
// commas, from as many lines as it needs; the rest of its last line is ignored.
// A slash ends a read and leaves the remaining items unchanged; two commas in a
// row give a null value (item unchanged); "r*c" repeats c r times and "r*" gives
// r null values. Logicals are T or F with an optional leading point and any
// tail (.TRUE., t, .false., Tfoo). Text records are read whole: the first 80
// characters of one line, padded with blanks; name records keep the whole line.
//
// Lines end with LF, CR LF or a lone CR. A UTF-8 byte-order mark at the start
// of the file is skipped. A line longer than max_line_bytes is refused
// without reading further (a device or binary file given by mistake).
//
// A value that cannot be read, or a file that ends early, throws Stop with one
// line naming the file, the line number, what was expected and what was found.
// A real that reads as an infinity or a NaN (also one beyond the range of its
// type) is refused the same way: nothing non-finite is ever used as a number.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace yosta::text {

// Text found in a file as it may be shown in a message: control bytes are
// written as \xNN, so that nothing read rings a bell or switches the
// terminal's character set.
std::string printable(std::string_view text);

class FreeReader {
 public:
  static constexpr std::size_t max_line_bytes = std::size_t{1} << 20;

  // Reads the whole stream now; `name` is used in error messages.
  FreeReader(std::string name, std::istream& in);
  FreeReader(std::string name, std::string_view text);
  // Opens `path` for reading; a file that cannot be opened, that is not a
  // regular file or that is larger than the input limit (base/files.h)
  // throws Stop.
  static FreeReader open(const std::string& path);

  const std::string& name() const { return name_; }
  // Line number (from 1) of the line the last read ended on; 0 before any read.
  int line_number() const { return line_; }
  // True when no line is left to start a record on.
  bool at_end() const;

  // --- One record built from several items -------------------------------
  // begin() moves to the start of the next line; get() takes the next item,
  // continuing onto further lines as needed; end() drops the rest of the line.
  // get() returns false (value unchanged) for a null value or after a slash.
  // `what` describes the item for error messages, e.g.
  // "number of zero constraints (integer)".
  void begin(std::string_view record_what);
  bool get(std::int32_t& value, std::string_view what);
  bool get(float& value, std::string_view what);
  bool get(double& value, std::string_view what);
  bool get(bool& value, std::string_view what);
  // First character of the next value (a one-character text item).
  bool get(char& value, std::string_view what);
  void end();

  // The text of the last item taken, as it stands in the file.
  const std::string& last_token() const { return token_; }
  // True when the last item taken is a real whose value, read exactly, is
  // not zero (a tiny value may still read as zero in single precision).
  bool last_is_nonzero() const;
  // Throws Stop naming the file, the line, `what`, `why` and the last item
  // as it stands in the file.
  [[noreturn]] void refuse_last(std::string_view what, std::string_view why) const;
  // Lets infinities and NaNs through as values (the reference tables of the
  // reader's spellings read them).
  void allow_non_finite() { allow_non_finite_ = true; }

  // --- Whole records of one item ------------------------------------------
  std::int32_t read_int(std::string_view what);
  float read_real(std::string_view what);
  bool read_logical(std::string_view what);
  // One line, cut or blank-padded to `width` characters.
  std::string read_text(std::string_view what, std::size_t width = 80);
  // A file or folder name: the whole line, its trailing blanks and tabs
  // removed, blank-padded to 80 characters when shorter.
  std::string read_name(std::string_view what);
  // True when the current line holds more than blanks after the point the
  // last read stopped at (values the record did not take). Call before end().
  bool values_left_on_line() const;
  // The number of items left on the current line before a slash when every
  // one of them reads as a finite real (0 when none is left); -1 when one
  // does not, or a repeat is pending. Call before end().
  int reals_left_on_line() const;
  // The number of lines after the current one that hold more than blanks.
  int text_lines_after() const;
  // Skips one whole line (a heading).
  void skip_line(std::string_view what);
  // Line `number` (from 1) as read, without its line end; empty past the end.
  std::string_view line_text(int number) const;
  // The number of values written on line `number`: items between blanks,
  // tabs and commas.
  int items_on_line(int number) const;
  // The number of lines that hold more than blanks.
  int text_lines() const;

 private:
  void split(std::streambuf* buf);
  [[noreturn]] void fail(std::string_view what, std::string_view found) const;
  bool next_token(std::string& token, std::string_view what);

  std::string name_;
  std::vector<std::string> lines_;
  int line_ = 0;         // 1-based index of the current line; 0 before any read
  std::size_t pos_ = 0;  // position within the current line
  bool in_record_ = false;
  bool slashed_ = false;      // a slash ended the current record
  bool after_value_ = false;  // a value was read and its separator not yet seen
  int repeat_left_ = 0;       // pending repeats of repeat_token_
  std::string repeat_token_;
  std::string token_;  // the last item taken
  bool allow_non_finite_ = false;
};

}  // namespace yosta::text
