// File names and opening. Names from the parameter file are 80-character
// blank-padded texts; a default extension is added only when the name holds
// no point anywhere (a point in a folder name counts).
#pragma once

#include <sstream>
#include <memory>
#include <string>
#include <string_view>

namespace yosta {

// The name as it should be opened: trailing blanks removed, `extension`
// appended when the name holds no point. Long names are not cut. An empty name
// stays empty.
std::string build_name(std::string_view name, std::string_view extension);

// A result file written under a temporary name next to it and renamed over
// `path` by commit(), so an interrupted save keeps the previous complete file.
// The temporary name has a fixed form, temp_name(path): a file of that name
// is a leftover of an earlier save cut short and is replaced. The text is
// kept in memory until finish() writes it; destroying the file without
// commit() removes the temporary file.
class OutputFile {
 public:
  explicit OutputFile(std::string path);  // throws Stop when it cannot be created
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  std::ostream& stream() { return text_; }
  void write(std::string_view text) { text_ << text; }
  // Writes the text to the temporary file and closes it; throws Stop with the
  // system's reason when that fails.
  void finish();
  // finish() when not done yet, then the rename; throws Stop on failure.
  void commit();

 private:
  std::string path_;
  std::string temp_path_;
  std::ostringstream text_;
  int fd_ = -1;
  bool finished_ = false;
  bool committed_ = false;
};

// The fixed temporary name of a result file while it is being written.
std::string temp_name(const std::string& path);
// Removes a leftover temporary file of `path`, when there is one.
void remove_temp(const std::string& path);
// Writes all of `text` to `fd`; throws Stop naming `path` with the system's
// reason ("No space left on device") when a write fails.
void write_whole(int fd, std::string_view text, const std::string& path);

bool file_exists(const std::string& path);

// The largest input file read whole: parameter, data, start and result files
// and the measured files the tools import (256 MiB; a data file of the
// largest grid is well under 1 MiB).
inline constexpr std::size_t max_input_bytes = std::size_t{256} << 20;

// The whole content of the input file `path`. Throws Stop naming the file
// and the reason when it cannot be opened, when it is not a regular file (a
// folder, a FIFO, a device, or a link to one: opening never blocks and never
// reads a stream without end) or when it holds more than `limit` bytes.
std::string read_input_file(const std::string& path, std::size_t limit = max_input_bytes);

}  // namespace yosta
