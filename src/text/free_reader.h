// Free-format (list-directed) reading of the parameter, data and start files.
//
// Every read starts on a new line and takes its values, separated by blanks or
// commas, from as many lines as it needs; the rest of its last line is ignored.
// A slash ends a read and leaves the remaining items unchanged; two commas in a
// row give a null value (item unchanged); "r*c" repeats c r times and "r*" gives
// r null values. Logicals are T or F with an optional leading point and any
// tail (.TRUE., t, .false., Tfoo). Text records are read whole: the first 80
// characters of one line, padded with blanks.
//
// A value that cannot be read, or a file that ends early, throws Stop with one
// line naming the file, the line number, what was expected and what was found.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace yosta::text {

class FreeReader {
 public:
  // Reads the whole stream now; `name` is used in error messages.
  FreeReader(std::string name, std::istream& in);
  // Opens `path` for reading; a file that cannot be opened throws Stop.
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

  // --- Whole records of one item ------------------------------------------
  std::int32_t read_int(std::string_view what);
  float read_real(std::string_view what);
  bool read_logical(std::string_view what);
  // One line, cut or blank-padded to `width` characters.
  std::string read_text(std::string_view what, std::size_t width = 80);
  // Skips one whole line (a heading).
  void skip_line(std::string_view what);

 private:
  [[noreturn]] void fail(std::string_view what, std::string_view found) const;
  bool next_token(std::string& token, std::string_view what);

  std::string name_;
  std::vector<std::string> lines_;
  int line_ = 0;          // 1-based index of the current line; 0 before any read
  std::size_t pos_ = 0;   // position within the current line
  bool in_record_ = false;
  bool slashed_ = false;  // a slash ended the current record
  bool after_value_ = false;  // a value was read and its separator not yet seen
  int repeat_left_ = 0;   // pending repeats of repeat_token_
  std::string repeat_token_;
};

}  // namespace yosta::text
