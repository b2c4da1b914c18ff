#include "tools/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/stop.h"

namespace yosta::tools {
namespace {

namespace fs = std::filesystem;

bool executable(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && access(p.c_str(), X_OK) == 0;
}

std::vector<char*> c_args(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  void default_signals(short extra_flags) {
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, static_cast<short>(POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | extra_flags));
  }
};

}  // namespace

std::string find_program(const std::string& name) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path() / name;
    if (executable(beside)) return beside.string();
  }
  if (const char* path = std::getenv("PATH")) {
    std::string all = path;
    std::size_t start = 0;
    while (start <= all.size()) {
      const std::size_t end = std::min(all.find(':', start), all.size());
      const std::string folder = all.substr(start, end - start);
      if (!folder.empty()) {
        const fs::path candidate = fs::absolute(fs::path(folder) / name, ec);
        if (!ec && executable(candidate)) return candidate.string();
      }
      start = end + 1;
    }
  }
  throw Stop("Cannot find the program \"" + name + "\": neither beside yosta-tools (" +
             (self.empty() ? std::string("unknown folder") : self.parent_path().string()) + ") nor on PATH");
}

pid_t start_program(const std::vector<std::string>& argv, const std::string& dir, const std::string& output_file,
                    bool own_group) {
  // Everything the child needs is made before the fork: after it, the child
  // calls only what is safe there.
  std::vector<char*> args = c_args(argv);
  const pid_t parent = getpid();
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) throw Stop(std::string("Cannot make a pipe: ") + std::strerror(errno));
  const pid_t pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(report[0]);
    close(report[1]);
    throw Stop("Cannot start \"" + argv[0] + "\" in \"" + dir + "\": " + std::strerror(error));
  }
  if (pid == 0) {
    // The child: ends with SIGTERM (a save, then the end) when this process
    // dies, also when it has died already.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (own_group) setpgid(0, 0);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int error = 0;
    if (chdir(dir.c_str()) != 0) error = errno;
    const int in = error == 0 ? open("/dev/null", O_RDONLY) : -1;
    if (error == 0 && in < 0) error = errno;
    const int out = error == 0 ? open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    if (error == 0 && out < 0) error = errno;
    if (error == 0 && (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0)) error = errno;
    if (error == 0) {
      execv(args[0], args.data());
      error = errno;
    }
    const ssize_t written = write(report[1], &error, sizeof error);
    (void)written;
    _exit(127);
  }
  close(report[1]);
  int error = 0;
  ssize_t n = 0;
  while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    throw Stop("Cannot start \"" + argv[0] + "\" in \"" + dir + "\": " + std::strerror(error));
  }
  return pid;
}

std::string run_and_read(const std::vector<std::string>& argv, int& status) {
  int fds[2];
  if (pipe(fds) != 0) throw Stop(std::string("Cannot make a pipe: ") + std::strerror(errno));
  SpawnSetup setup;
  posix_spawn_file_actions_addclose(&setup.actions, fds[0]);
  posix_spawn_file_actions_adddup2(&setup.actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&setup.actions, fds[1]);
  setup.default_signals(0);
  std::vector<char*> args = c_args(argv);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0].c_str(), &setup.actions, &setup.attr, args.data(), environ);
  close(fds[1]);
  if (error != 0) {
    close(fds[0]);
    throw Stop("Cannot start \"" + argv[0] + "\": " + std::strerror(error));
  }
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::string shell_quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace yosta::tools
