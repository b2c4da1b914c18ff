// yosta-tools ensemble: the members run here, at most J at once, or one
// member as a task of a Slurm job array.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "base/interrupts.h"
#include "base/lock.h"
#include "base/stop.h"
#include "tools/ensemble.h"
#include "tools/ensemble_parts.h"
#include "tools/process.h"

namespace yosta::tools::ensemble {
namespace {

std::string clock_text(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char t[32];
  std::snprintf(t, sizeof t, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return t;
}

}  // namespace

// ------------------------------------------------------------------ local

// Runs the members not yet done, at most `jobs` at once; returns the exit
// status of the ensemble.
int run_local(Ensemble& e, int jobs) {
  const auto t0 = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
  struct Running {
    Member* member;
    pid_t pid;
    double started;
  };
  std::vector<Member*> queue;
  for (Member& m : e.members)
    if (!m.done()) queue.push_back(&m);
  const int total = static_cast<int>(e.members.size());
  int done = total - static_cast<int>(queue.size());
  int finished_here = 0;
  double member_seconds = 0;
  std::vector<Running> running;
  const bool terminal = isatty(STDOUT_FILENO) != 0;
  std::string last_line;
  int forwarded = 0;
  // One ensemble at a time in a folder; a member folder that a program still
  // holds (an orphan of an ensemble that died) is not run over.
  const FileLock lock(e.dir + "/ensemble.lock", "The ensemble folder \"" + e.dir + "\" is in use by another ensemble",
                      "wait for it to end, or choose another folder with -d");
  for (const Member* m : queue) refuse_member_in_use(e, *m);
  for (Member* m : queue)
    if (m->status == "running") m->status = "pending";
  const InterruptCatcher catcher(FurtherSignal::counted);
  std::size_t next = 0;
  double last_print = -1;
  write_manifest(e);
  for (;;) {
    // Pass each Ctrl-C on once to every member: each saves and stops; a
    // second one stops them at once.
    while (forwarded < InterruptCatcher::seen()) {
      ++forwarded;
      for (const Running& r : running) kill(r.pid, SIGINT);
    }
    bool changed = false;
    for (std::size_t i = 0; i < running.size();) {
      int raw = 0;
      const pid_t got = waitpid(running[i].pid, &raw, WNOHANG);
      if (got == 0 || (got < 0 && errno == EINTR)) {
        ++i;
        continue;
      }
      Member& m = *running[i].member;
      record_status(m, got < 0 ? "failed wait" : status_of_exit(raw, InterruptCatcher::seen() > 0));
      if (m.done()) {
        ++done;
        ++finished_here;
        member_seconds += elapsed() - running[i].started;
      }
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      changed = true;
    }
    if (changed) write_manifest(e);
    // Free places are filled before the progress line is written, so that it
    // counts the members that run from now on.
    try {
      while (InterruptCatcher::seen() == 0 && next < queue.size() && static_cast<int>(running.size()) < jobs) {
        Member& m = *queue[next++];
        prepare_member(e, m);
        const pid_t pid = start_program(member_command(e, m), m.folder, m.folder + "/console.txt", true);
        m.status = "running";
        running.push_back({&m, pid, elapsed()});
        write_manifest(e);
      }
    } catch (const Stop&) {
      // A member that cannot be set up or started ends the ensemble: the
      // running ones are stopped cleanly first, not left behind.
      for (const Running& r : running) kill(r.pid, SIGINT);
      for (const Running& r : running) {
        int raw = 0;
        while (waitpid(r.pid, &raw, 0) < 0 && errno == EINTR) {
        }
        r.member->status = "interrupted";
      }
      write_manifest(e);
      throw;
    }
    const int waiting = static_cast<int>(queue.size() - next) + static_cast<int>(running.size());
    const double now = elapsed();
    std::string left = "unknown";
    if (InterruptCatcher::seen() == 0 && finished_here > 0) {
      const double per_member = member_seconds / finished_here;
      left = clock_text(per_member * std::ceil(static_cast<double>(waiting) / jobs));
    }
    const std::string line = "Members done " + std::to_string(done) + " of " + std::to_string(total) + ", running " +
                             std::to_string(running.size()) + ", elapsed " + clock_text(now) + ", left about " +
                             (InterruptCatcher::seen() > 0 ? std::string("stopping") : left);
    if (terminal && now - last_print >= 1.0) {
      std::cout << "\r" << line << "   " << std::flush;
      last_print = now;
    } else if (!terminal && changed) {
      std::cout << line << "\n" << std::flush;
    }
    last_line = line;
    if (running.empty() && (InterruptCatcher::seen() > 0 || next >= queue.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (terminal) std::cout << "\r" << last_line << "   \n";
  write_manifest(e);
  if (InterruptCatcher::seen() > 0) {
    std::cout.flush();
    throw Stop("Ensemble stopped: " + std::to_string(done) + " of " + std::to_string(total) +
                   " members done; run the same command again to continue",
               10);
  }
  std::vector<std::string> failed;
  for (const Member& m : e.members)
    if (!m.done())
      failed.push_back("member " + std::to_string(m.number) + " " + m.status + ", see " + m.folder + "/console.txt");
  if (!failed.empty()) {
    failed.insert(failed.begin(), std::to_string(failed.size()) + " of " + std::to_string(total) + " members failed:");
    throw Stop(failed, 1);
  }
  collect(e);
  return 0;
}

// One member, as a task of the Slurm array runs it; 0 when it is done.
int run_one_member(Ensemble& e, int k) {
  if (k < 1 || k > static_cast<int>(e.members.size()))
    throw Stop("Member " + std::to_string(k) + " is not one of 1.." + std::to_string(e.members.size()));
  Member& m = e.members[static_cast<std::size_t>(k - 1)];
  if (m.done()) {
    std::cout << "Member " << k << " is already done (" << m.status << ")\n";
    return 0;
  }
  refuse_member_in_use(e, m);
  prepare_member(e, m);
  const InterruptCatcher catcher(FurtherSignal::counted);
  const pid_t pid = start_program(member_command(e, m), m.folder, m.folder + "/console.txt", true);
  int raw = 0, forwarded = 0;
  for (;;) {
    while (forwarded < InterruptCatcher::seen()) {
      ++forwarded;
      kill(pid, SIGINT);
    }
    const pid_t got = waitpid(pid, &raw, WNOHANG);
    if (got == pid) break;
    if (got < 0 && errno != EINTR) throw Stop("Lost member " + std::to_string(k));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  record_status(m, status_of_exit(raw, InterruptCatcher::seen() > 0));
  std::cout << "Member " << k << ": " << m.status << "\n";
  return m.done() ? 0 : (m.status == "interrupted" ? 10 : 1);
}

}  // namespace yosta::tools::ensemble
