#include "base/console.h"

#include <unistd.h>

#include <iostream>
#include <istream>
#include <ostream>

namespace yosta {

// Console lines are flushed as they are written: a long run whose output goes
// to a log file shows its progress at once, and nothing is lost on a signal.
void Console::write(std::string_view text) {
  out_ << text;
  out_.flush();
}

void Console::line(std::string_view text) {
  out_ << text << '\n';
  out_.flush();
}

bool Console::read_line(std::string& line) {
  out_.flush();
  if (!std::getline(in_, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void Console::flush() { out_.flush(); }

bool Console::input_is_terminal() const { return in_.rdbuf() == std::cin.rdbuf() && isatty(STDIN_FILENO) != 0; }

// The xterm title escape goes only to a real terminal: output redirected to a
// file or captured by a test stays free of control characters.
void Console::set_title(std::string_view title) {
  if (out_.rdbuf() != std::cout.rdbuf() || isatty(STDOUT_FILENO) == 0) return;
  out_ << "\033]0;" << title << '\007';
  out_.flush();
}

}  // namespace yosta
