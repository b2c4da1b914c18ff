#include "base/interrupts.h"

#include <unistd.h>

#include <cstring>

namespace yosta {
namespace {

// What a signal handler may touch: these flags alone.
volatile std::sig_atomic_t signal_count = 0;
volatile std::sig_atomic_t end_at_once = 0;
volatile std::sig_atomic_t saving = 0;
volatile std::sig_atomic_t saved = 0;
volatile std::sig_atomic_t saved_move = 0;

static_assert(sizeof(std::sig_atomic_t) >= sizeof(std::int32_t), "a move count must fit a sig_atomic_t");

// Appends `text` to buf[0..size) at `at`, as far as it fits; only what a
// signal handler may call.
std::size_t append(char* buf, std::size_t size, std::size_t at, const char* text) {
  for (; *text != '\0' && at + 1 < size; ++text) buf[at++] = *text;
  buf[at] = '\0';
  return at;
}

std::size_t append_number(char* buf, std::size_t size, std::size_t at, std::int32_t value) {
  char digits[16];
  std::size_t n = 0;
  // Counted in unsigned, so that the most negative value has a magnitude.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0u);
  if (value < 0) digits[n++] = '-';
  char text[17];
  for (std::size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  return append(buf, size, at, text);
}

std::size_t further_line(char* buf, std::size_t size, bool any_save, std::int32_t move) {
  std::size_t at = 0;
  if (any_save) {
    at = append(buf, size, at, " Stopped at once by a second signal, without a final save: the last save was at move ");
    at = append_number(buf, size, at, move);
    at = append(buf, size, at, "; its result files are complete");
  } else {
    at = append(buf, size, at,
                " Stopped at once by a second signal, before any save of this run: the result files are as they "
                "were before it");
  }
  return at;
}

void on_stop_signal(int) {
  signal_count = signal_count + 1;
  if (signal_count < 2 || end_at_once == 0 || saving != 0) return;
  // A further signal outside a save: the files of the last save are whole.
  char line[200];
  line[0] = '\n';
  std::size_t n = further_line(line + 1, sizeof line - 2, saved != 0, saved_move) + 1;
  line[n++] = '\n';
  const char* p = line;
  while (n > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, p, n);
    if (written <= 0) break;
    p += written;
    n -= static_cast<std::size_t>(written);
  }
  ::_exit(interrupted_status);
}

}  // namespace

InterruptCatcher::InterruptCatcher(FurtherSignal further) {
  signal_count = 0;
  end_at_once = further == FurtherSignal::end_at_once ? 1 : 0;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // One handler at a time: a second signal waits for the first to be counted.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &old_int_);
  sigaction(SIGTERM, &action, &old_term_);
  // A closed terminal or ssh session ends the run like SIGTERM.
  sigaction(SIGHUP, &action, &old_hup_);
}

InterruptCatcher::~InterruptCatcher() {
  if (end_at_once != 0) {
    // The outcome is settled: from here a stop signal waits for the process
    // to exit with it, instead of ending it with another status.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
  }
  sigaction(SIGINT, &old_int_, nullptr);
  sigaction(SIGTERM, &old_term_, nullptr);
  sigaction(SIGHUP, &old_hup_, nullptr);
  end_at_once = 0;
}

int InterruptCatcher::seen() { return signal_count; }

const volatile std::sig_atomic_t* InterruptCatcher::flag() { return &signal_count; }

SaveInProgress::SaveInProgress() { saving = 1; }

SaveInProgress::~SaveInProgress() { saving = 0; }

void note_completed_save(std::int32_t move) {
  // Called inside the save (a handler waits): the move, then the mark.
  saved_move = move;
  saved = 1;
}

void forget_saves() {
  saved = 0;
  saved_move = 0;
}

bool last_completed_save(std::int32_t& move) {
  move = static_cast<std::int32_t>(saved_move);
  return saved != 0;
}

std::string further_signal_line(bool any_save, std::int32_t move) {
  char line[200];
  further_line(line, sizeof line, any_save, move);
  return line;
}

}  // namespace yosta
