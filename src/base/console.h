// The console: where the report, messages, progress lines and the start
// prompt go. Passed explicitly so tests can capture a whole run's transcript.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace yosta {

class Console {
 public:
  Console(std::ostream& out, std::istream& in) : out_(out), in_(in) {}

  // Writes `text` as it stands (layout output already ends its lines).
  void write(std::string_view text);
  // Writes one line and its newline.
  void line(std::string_view text);
  // Reads one typed line; false at end of input.
  bool read_line(std::string& line);
  void flush();
  // True when typed answers come from a terminal (which echoes them itself).
  bool input_is_terminal() const;

  // Sets the window title ("Parameters") through the terminal's title escape,
  // only when the console is a terminal.
  void set_title(std::string_view title);

  std::ostream& out() { return out_; }

 private:
  std::ostream& out_;
  std::istream& in_;
};

}  // namespace yosta
