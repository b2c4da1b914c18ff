// File names and opening. Names from the parameter file are 80-character
// blank-padded texts; a default extension is added only when the name holds
// no point anywhere (a point in a folder name counts).
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace yosta {

// The name as it should be opened: trailing blanks removed, `extension`
// appended when the name holds no point. Long names are not cut. An empty name
// stays empty.
std::string build_name(std::string_view name, std::string_view extension);

// A result file written under a temporary name in the same folder and renamed
// over `path` by commit(), so an interrupted save keeps the previous complete
// file. Destroying it without commit() removes the temporary file.
class OutputFile {
 public:
  explicit OutputFile(std::string path);  // throws Stop when it cannot be created
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  std::ostream& stream() { return out_; }
  void write(std::string_view text) { out_ << text; }
  void commit();  // throws Stop when writing or renaming failed

 private:
  std::string path_;
  std::string temp_path_;
  std::ofstream out_;
  bool committed_ = false;
};

bool file_exists(const std::string& path);

}  // namespace yosta
