// Stop signals: the first is counted, a further one waits for a save in
// progress or ends the process at once with status 10 and a line naming the
// last complete save. Each case runs in a child process of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>

#include "base/interrupts.h"

namespace yosta {
namespace {

struct Outcome {
  bool exited = false;
  int status = -1;  // exit status, or the signal that ended the child
  std::string output;
};

// Runs `body` in a child with its standard output into a pipe; the child
// exits 0 when the body returns.
template <class Body>
Outcome in_child(Body body) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    body();
    _exit(0);
  }
  close(fds[1]);
  Outcome o;
  char buffer[512];
  ssize_t n = 0;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) o.output.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  o.exited = WIFEXITED(raw);
  o.status = o.exited ? WEXITSTATUS(raw) : WTERMSIG(raw);
  return o;
}

struct SignalCase {
  const char* name;
  FurtherSignal further;
  int signals;       // raised one after another
  bool in_save;      // raised while a save is in progress
  int saved_move;    // a completed save before the signals; -1: none
  int exit_status;   // the child's exit status
  const char* line;  // expected in its output ("" for none)
};

TEST(InterruptCatcher, FurtherSignalsByCase) {
  const SignalCase cases[] = {
      {"one signal is only counted", FurtherSignal::end_at_once, 1, false, -1, 1, ""},
      {"second outside a save ends at once", FurtherSignal::end_at_once, 2, false, 4711, interrupted_status,
       "the last save was at move 4711;"},
      {"second before any save says so", FurtherSignal::end_at_once, 2, false, -1, interrupted_status,
       "before any save of this run"},
      {"second during a save waits for it", FurtherSignal::end_at_once, 3, true, 12, 3, ""},
      {"counted mode counts every signal", FurtherSignal::counted, 3, false, -1, 3, ""},
      {"every stop signal kind counts", FurtherSignal::counted, 2, false, -1, 2, ""},
  };
  for (const SignalCase& c : cases) {
    const Outcome o = in_child([&c] {
      forget_saves();
      if (c.saved_move >= 0) note_completed_save(c.saved_move);
      const InterruptCatcher catcher(c.further);
      const int kinds[] = {SIGTERM, SIGINT, SIGHUP};
      {
        std::optional<SaveInProgress> save;
        if (c.in_save) save.emplace();
        for (int i = 0; i < c.signals; ++i) raise(kinds[i % 3]);
        // Still here: the count is the exit status.
        if (c.in_save) _exit(InterruptCatcher::seen());
      }
      _exit(InterruptCatcher::seen());
    });
    EXPECT_TRUE(o.exited) << c.name << ": ended by signal " << o.status;
    EXPECT_EQ(o.status, c.exit_status) << c.name << "\n" << o.output;
    if (*c.line != '\0') {
      EXPECT_NE(o.output.find(c.line), std::string::npos) << c.name << "\n" << o.output;
    } else {
      EXPECT_EQ(o.output, "") << c.name;
    }
  }
}

// A counting catcher gives the previous handling back: a stop signal after
// it ends the process as it would have before. After one that ends at once,
// the program's status is settled: the signal waits until it has exited.
TEST(InterruptCatcher, WhatASignalDoesAfterTheCatcher) {
  for (const FurtherSignal further : {FurtherSignal::counted, FurtherSignal::end_at_once}) {
    const Outcome o = in_child([further] {
      { const InterruptCatcher catcher(further); }
      raise(SIGTERM);
      _exit(7);
    });
    if (further == FurtherSignal::counted) {
      EXPECT_FALSE(o.exited);
      EXPECT_EQ(o.status, SIGTERM);
    } else {
      EXPECT_TRUE(o.exited);
      EXPECT_EQ(o.status, 7);
    }
  }
}

TEST(InterruptCatcher, FurtherSignalLineNamesTheMove) {
  EXPECT_EQ(further_signal_line(true, -2147483647 - 1),
            " Stopped at once by a second signal, without a final save: the last save was at move -2147483648; its "
            "result files are complete");
  EXPECT_NE(further_signal_line(true, 0).find("at move 0;"), std::string::npos);
  EXPECT_NE(further_signal_line(false, 99).find("before any save"), std::string::npos);
  std::int32_t move = 1;
  forget_saves();
  EXPECT_FALSE(last_completed_save(move));
  note_completed_save(2147483647);
  EXPECT_TRUE(last_completed_save(move));
  EXPECT_EQ(move, 2147483647);
  forget_saves();
}

}  // namespace
}  // namespace yosta
