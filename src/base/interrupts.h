// The signals that ask a program to stop (SIGINT, SIGTERM, SIGHUP), caught
// while an InterruptCatcher lives. The first one is only counted: the program
// ends at its next safe point. What a further one does is the catcher's
// choice: counted as well (a program that passes each one on to its
// children), or the end of the process at once with status 10 and a line
// naming the last complete save, except while a save is in progress: that
// one is finished first, and the program then ends as after one signal.
// When a catcher of the second kind is gone, the stop signals stay blocked:
// the program's outcome is settled, and it only has to exit with it.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

namespace yosta {

enum class FurtherSignal { counted, end_at_once };

// The exit status of a run stopped by signals (also after a second one).
inline constexpr int interrupted_status = 10;

class InterruptCatcher {
 public:
  explicit InterruptCatcher(FurtherSignal further);
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // Stop signals caught since the catcher was made.
  static int seen();
  // The count as the move cycle reads it: non-zero after a stop signal.
  static const volatile std::sig_atomic_t* flag();

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
  struct sigaction old_hup_ {};
};

// Marks a save in progress while it lives: a further signal waits for it.
class SaveInProgress {
 public:
  SaveInProgress();
  ~SaveInProgress();
  SaveInProgress(const SaveInProgress&) = delete;
  SaveInProgress& operator=(const SaveInProgress&) = delete;
};

// Records that a save of the results completed at move `move` (the moves
// generated, as the saved files count them).
void note_completed_save(std::int32_t move);
// Forgets every recorded save (a new run in the same process).
void forget_saves();
// True when a save completed since forget_saves(); `move` gets its move.
bool last_completed_save(std::int32_t& move);

// The line printed when a further signal ends the process outside a save:
// it names the move of the last complete save, or says that none was made.
std::string further_signal_line(bool saved, std::int32_t move);

}  // namespace yosta
