// yosta-tools ensemble: setting up, running (here or on Slurm) and merging the
// members. Their inputs (seeds, parameter file, resampled data) are made in
// ensemble_inputs.cpp.
#include "tools/ensemble.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "base/clock.h"
#include "base/files.h"
#include "base/stop.h"
#include "display/plots.h"
#include "text/free_reader.h"
#include "text/free_writer.h"
#include "tools/option_checks.h"
#include "tools/process.h"
#include "formats/result_files.h"
#include "tools/statistics.h"
#include "tools/subcommands.h"

namespace yosta::tools {

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------------ set-up

struct Options {
  std::string parameter_file;
  int members = 0;
  std::optional<std::int32_t> seed;
  bool bootstrap = false;
  int jobs = 0;
  bool slurm = false;
  std::string sbatch_args;
  bool dry_run = false;
  std::string dir = "ensemble";
  std::string names;  // --names for the error picture
  std::vector<std::string> yosta_options;
  int member = 0;        // run this member only (a task of the Slurm array)
  bool collect = false;  // only merge the finished members (the Slurm merge job)
};

struct Member {
  int number = 0;
  std::int32_t seed = 0, noise = 0;
  std::string folder;              // absolute
  std::string status = "pending";  // pending, running, done N, failed N, interrupted
  bool done() const { return status.rfind("done", 0) == 0; }
};

struct Ensemble {
  Options opt;
  std::string dir;             // absolute
  std::string parameter_path;  // absolute
  std::string parameter_name;  // the copy's name in each member folder
  std::vector<std::string> parameter_lines;
  RunParameters params;
  std::vector<std::string> data_paths;   // absolute, as the program would open them
  std::vector<std::string> local_names;  // in the member folders
  std::string root;                      // the members' root name
  std::string start_g, start_gsv;        // start files to copy ("" when none)
  std::string yosta;
  std::int32_t base = 0;
  std::vector<Member> members;
  std::vector<std::string> names;  // of the basis functions, for the error picture
};

std::string member_folder_name(int k) {
  char name[32];
  std::snprintf(name, sizeof name, "member_%03d", k);
  return name;
}

std::string manifest_path(const Ensemble& e) { return e.dir + "/manifest.txt"; }

// "key value" lines of an earlier manifest (empty when there is none).
std::vector<std::pair<std::string, std::string>> earlier_manifest(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("member ", 0) == 0) break;
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    keys.emplace_back(line.substr(0, blank), line.substr(blank + 1));
  }
  return keys;
}

std::vector<std::string> member_command(const Ensemble& e, const Member& m) {
  std::vector<std::string> argv = {e.yosta, "--seed", std::to_string(m.seed)};
  argv.insert(argv.end(), e.opt.yosta_options.begin(), e.opt.yosta_options.end());
  argv.push_back(e.parameter_name);
  return argv;
}

std::string command_text(const std::vector<std::string>& argv) {
  std::string t;
  for (const std::string& a : argv) t += (t.empty() ? "" : " ") + shell_quoted(a);
  return t;
}

void write_manifest(const Ensemble& e) {
  std::string t = "# yosta-tools ensemble: one line per member below the settings\n";
  t += "parameter_file " + e.parameter_path + "\n";
  t += "members " + std::to_string(e.members.size()) + "\n";
  t += "base_seed " + std::to_string(e.base) + "\n";
  t += std::string("bootstrap ") + (e.opt.bootstrap ? "yes" : "no") + "\n";
  t += "yosta_options " + command_text(e.opt.yosta_options) + "\n";
  t += "member seed noise_seed status folder command\n";
  for (const Member& m : e.members)
    t += "member " + std::to_string(m.number) + " " + std::to_string(m.seed) + " " +
         (e.opt.bootstrap ? std::to_string(m.noise) : std::string("-")) + " " +
         [&] {
           std::string s = m.status;
           std::replace(s.begin(), s.end(), ' ', '_');
           return s;
         }() +
         " " + member_folder_name(m.number) + " " + command_text(member_command(e, m)) + "\n";
  formats::write_whole(manifest_path(e), t);
}

// The status a member's folder records ("done 10", "failed 1"), or "pending".
std::string recorded_status(const Member& m) {
  std::ifstream in(m.folder + "/status");
  std::string line;
  if (!std::getline(in, line)) return "pending";
  line = trimmed_text(line);
  return line.empty() ? "pending" : line;
}

Ensemble set_up(const Options& opt) {
  Ensemble e;
  e.opt = opt;
  if (opt.members < 1 || opt.members > 999) throw Stop("The number of members must be 1 to 999");
  for (const std::string& a : opt.yosta_options)
    if (a == "--seed" || a.rfind("--seed=", 0) == 0)
      throw Stop("The members' seeds come from --seed of the ensemble; do not pass --seed after --");
  e.dir = fs::absolute(opt.dir).lexically_normal().string();
  if (e.dir.size() > 1 && e.dir.back() == '/') e.dir.pop_back();  // "x/." is "x/" once normal
  e.parameter_path = fs::absolute(opt.parameter_file).lexically_normal().string();
  e.parameter_name = fs::path(e.parameter_path).filename().string();
  e.parameter_lines = text_lines(file_text(e.parameter_path));
  {
    text::FreeReader reader = text::FreeReader::open(opt.parameter_file);
    e.params = read_parameters(reader);
  }
  if (!opt.names.empty()) e.names = basis_names(opt.names, e.params.nbasis);
  for (int s = 0; s < e.params.nsets; ++s) {
    const std::string opened = build_name(e.params.sets[static_cast<std::size_t>(s)].data_file, ".dat");
    e.data_paths.push_back(fs::absolute(opened).lexically_normal().string());
    std::string local = fs::path(opened).filename().string();
    // Two sets from files of the same name in different folders get the set number.
    for (const std::string& earlier : e.local_names)
      if (earlier == local) local = "set" + std::to_string(s + 1) + "_" + local;
    if (local == e.parameter_name) local = "data_" + local;
    e.local_names.push_back(local);
  }
  const std::string root = e.params.root.substr(0, static_cast<std::size_t>(e.params.root_length));
  e.root = fs::path(trimmed_text(root)).filename().string();
  if (e.root.empty() || e.root == "." || e.root == "..")
    throw Stop("The root name \"" + trimmed_text(root) + "\" of \"" + e.parameter_path + "\" names no file");
  if (e.params.start_from_file) {
    e.start_g = fs::absolute(root_file(e.params, ".g")).string();
    if (e.params.save_targets) e.start_gsv = fs::absolute(root_file(e.params, ".gsv")).string();
  }
  // The ensemble's merged results (root.g, root.gsv) would replace a run's
  // own files kept beside the inputs: the ensemble folder must be another one.
  std::vector<std::string> inputs = e.data_paths;
  inputs.push_back(e.parameter_path);
  if (!e.start_g.empty()) inputs.push_back(e.start_g);
  for (const std::string& input : inputs)
    if (fs::path(input).parent_path() == fs::path(e.dir))
      throw Stop("The ensemble folder \"" + e.dir + "\" holds the input \"" + input +
                 "\": its merged results could replace a run's own; choose another folder with -d");
  try {
    e.yosta = find_program("yosta");
  } catch (const Stop&) {
    // Only needed where members run; a script or a merge may be made without.
    if (!opt.dry_run && !opt.collect) throw;
    e.yosta = "yosta";
  }

  std::error_code ec;
  fs::create_directories(e.dir, ec);
  if (ec) throw Stop("Cannot create the ensemble folder \"" + e.dir + "\": " + ec.message());
  const auto earlier = earlier_manifest(manifest_path(e));
  std::optional<std::int32_t> base = opt.seed;
  for (const auto& [key, value] : earlier) {
    const std::string where = " (in \"" + manifest_path(e) + "\")";
    if (key == "members" && value != std::to_string(opt.members))
      throw Stop("This ensemble folder holds " + value + " members, not " + std::to_string(opt.members) + where +
                 ": use another folder (-d) or the same -n");
    if (key == "bootstrap" && value != (opt.bootstrap ? "yes" : "no"))
      throw Stop("This ensemble folder was started " + std::string(value == "yes" ? "with" : "without") +
                 " --bootstrap" + where);
    if (key == "parameter_file" && value != e.parameter_path)
      throw Stop("This ensemble folder belongs to the parameter file \"" + value + "\"" + where);
    if (key == "yosta_options" && value != command_text(opt.yosta_options))
      throw Stop("This ensemble folder was started with the yosta options " + value + where);
    if (key == "base_seed") {
      std::int32_t recorded = 0;
      try {
        recorded = static_cast<std::int32_t>(std::stol(value));
      } catch (const std::exception&) {
        throw Stop("Bad base_seed \"" + value + "\"" + where);
      }
      if (base && *base != recorded) throw Stop("This ensemble folder was started with --seed " + value + where);
      base = recorded;
    }
  }
  e.base = base ? *base : start_clock().seed;
  for (int k = 1; k <= opt.members; ++k) {
    Member m;
    m.number = k;
    m.seed = member_seed(e.base, k);
    m.noise = noise_seed(m.seed, k);
    m.folder = e.dir + "/" + member_folder_name(k);
    m.status = recorded_status(m);
    if (!m.done()) m.status = "pending";
    e.members.push_back(m);
  }
  return e;
}

// A member's folder with fresh copies of its inputs.
void prepare_member(const Ensemble& e, const Member& m) {
  std::error_code ec;
  fs::create_directories(m.folder, ec);
  if (ec) throw Stop("Cannot create \"" + m.folder + "\": " + ec.message());
  fs::remove(m.folder + "/status", ec);
  formats::write_whole(m.folder + "/" + e.parameter_name,
                       rewritten_parameters(e.parameter_path, e.parameter_lines, e.local_names, e.root));
  std::int32_t noise = m.noise;
  for (int s = 0; s < e.params.nsets; ++s) {
    const std::string& from = e.data_paths[static_cast<std::size_t>(s)];
    const std::string text = file_text(from);
    const std::string to = m.folder + "/" + e.local_names[static_cast<std::size_t>(s)];
    formats::write_whole(to, e.opt.bootstrap ? resampled_data(from, text, e.params.sets[static_cast<std::size_t>(s)],
                                                              e.params.nbasis, noise)
                                             : text);
  }
  for (const auto& [from, ext] : {std::pair{e.start_g, ".g"}, std::pair{e.start_gsv, ".gsv"}})
    if (!from.empty() && fs::exists(from, ec)) formats::write_whole(m.folder + "/" + e.root + ext, file_text(from));
}

void record_status(Member& m, const std::string& status) {
  m.status = status;
  if (status != "interrupted") formats::write_whole(m.folder + "/status", status + "\n");
}

std::string status_of_exit(int raw, bool interrupted) {
  if (interrupted) return "interrupted";
  if (WIFEXITED(raw)) {
    const int code = WEXITSTATUS(raw);
    // 0: every target set saved; 10: the time or move limit ended the fit.
    return (code == 0 || code == 10 ? "done " : "failed ") + std::to_string(code);
  }
  return "failed signal " + std::to_string(WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
}

// ------------------------------------------------------------- interrupts

volatile sig_atomic_t signals_seen = 0;

void on_signal(int) { signals_seen = signals_seen + 1; }

class SignalCatcher {
 public:
  SignalCatcher() {
    signals_seen = 0;
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~SignalCatcher() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

std::string clock_text(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char t[32];
  std::snprintf(t, sizeof t, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return t;
}

// ------------------------------------------------------------------ results

// The merged .gsv, the mean .g, and the errors table and picture in the
// ensemble folder, from finished members.
void collect(const Ensemble& e) {
  std::vector<formats::GFile> states;
  std::vector<formats::GsvFile> sums;
  bool all_sums = e.params.save_targets;
  for (const Member& m : e.members) {
    if (!m.done())
      throw Stop("Member " + std::to_string(m.number) + " is not finished (" + m.status +
                 "): run the same command again to continue");
    states.push_back(formats::read_g_file(m.folder + "/" + e.root + ".g"));
    const std::string gsv = m.folder + "/" + e.root + ".gsv";
    if (all_sums && fs::exists(gsv)) {
      sums.push_back(formats::read_gsv_file(gsv));
      all_sums = sums.back().nsaved > 0;
    } else {
      all_sums = false;
    }
  }
  // With target sets saved by every member their sums are merged; otherwise
  // every member's final state counts as one saved set.
  const formats::GsvFile merged = all_sums ? merge_gsv(sums) : gsv_of_states(states);
  const std::string base = e.dir + "/" + e.root;
  formats::write_whole(base + ".gsv", formats::gsv_text(merged));
  formats::write_whole(base + ".g", formats::g_text(mean_g(states)));
  std::cout << "Merged " << e.members.size() << " members: " << base << ".gsv ("
            << (all_sums ? "target sets of every member" : "final state of every member") << "), " << base
            << ".g (mean)\n";
  if (merged.nsaved < 2) {
    std::cout << "One saved set only: no spread, so no errors table\n";
    return;
  }
  formats::GsvFile named = merged;
  named.path = base + ".gsv";
  const Spread spread = spread_of(named);
  const float shift = e.params.qdep_coefficients ? 1.0f : 0.0f;
  formats::write_whole(base + "_errors.txt", spread_table(spread, shift));
  spread_picture(spread, shift, base + "_errors.png", e.names, shift != 0.0f ? "g(r)" : "G(r) as fitted");
  std::cout << "Errors: " << base << "_errors.txt, " << base << "_errors.png\n";
}

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
  SignalCatcher catcher;
  std::size_t next = 0;
  double last_print = -1;
  write_manifest(e);
  for (;;) {
    // Pass each Ctrl-C on once to every member: each saves and stops; a
    // second one stops them at once.
    while (forwarded < signals_seen) {
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
      record_status(m, got < 0 ? "failed wait" : status_of_exit(raw, signals_seen > 0));
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
      while (signals_seen == 0 && next < queue.size() && static_cast<int>(running.size()) < jobs) {
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
    if (signals_seen == 0 && finished_here > 0) {
      const double per_member = member_seconds / finished_here;
      left = clock_text(per_member * std::ceil(static_cast<double>(waiting) / jobs));
    }
    const std::string line = "Members done " + std::to_string(done) + " of " + std::to_string(total) + ", running " +
                             std::to_string(running.size()) + ", elapsed " + clock_text(now) + ", left about " +
                             (signals_seen ? std::string("stopping") : left);
    if (terminal && now - last_print >= 1.0) {
      std::cout << "\r" << line << "   " << std::flush;
      last_print = now;
    } else if (!terminal && changed) {
      std::cout << line << "\n" << std::flush;
    }
    last_line = line;
    if (running.empty() && (signals_seen > 0 || next >= queue.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (terminal) std::cout << "\r" << last_line << "   \n";
  write_manifest(e);
  if (signals_seen > 0) {
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
  prepare_member(e, m);
  SignalCatcher catcher;
  const pid_t pid = start_program(member_command(e, m), m.folder, m.folder + "/console.txt", true);
  int raw = 0, forwarded = 0;
  for (;;) {
    while (forwarded < signals_seen) {
      ++forwarded;
      kill(pid, SIGINT);
    }
    const pid_t got = waitpid(pid, &raw, WNOHANG);
    if (got == pid) break;
    if (got < 0 && errno != EINTR) throw Stop("Lost member " + std::to_string(k));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  record_status(m, status_of_exit(raw, signals_seen > 0));
  std::cout << "Member " << k << ": " << m.status << "\n";
  return m.done() ? 0 : (m.status == "interrupted" ? 10 : 1);
}

// ------------------------------------------------------------------ Slurm

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> w;
  std::string s;
  while (in >> s) w.push_back(s);
  return w;
}

// The yosta-tools command that runs one part of the ensemble on a node.
std::string tools_command(const Ensemble& e, const std::string& part) {
  std::vector<std::string> argv = {find_program("yosta-tools"),
                                   "ensemble",
                                   e.parameter_path,
                                   "-n",
                                   std::to_string(e.members.size()),
                                   "--seed",
                                   std::to_string(e.base),
                                   "-d",
                                   e.dir};
  if (e.opt.bootstrap) argv.push_back("--bootstrap");
  if (!e.opt.names.empty()) {
    argv.push_back("--names");
    argv.push_back(e.opt.names);
  }
  std::string t = command_text(argv) + " " + part;
  if (!e.opt.yosta_options.empty()) t += " -- " + command_text(e.opt.yosta_options);
  return t;
}

int run_slurm(Ensemble& e) {
  for (const std::string& path : {e.dir})
    if (path.find_first_of(" \t\n%") != std::string::npos)
      throw Stop("For Slurm the ensemble folder must not contain blanks or '%': \"" + path + "\"");
  const std::string cwd = fs::current_path().string();
  const std::string head = "#!/bin/sh\n";
  const std::string array_script = head + "#SBATCH --job-name=yosta-members\n#SBATCH --array=1-" +
                                   std::to_string(e.members.size()) + "\n#SBATCH --output=" + e.dir +
                                   "/slurm_member_%a.txt\n" + "cd " + shell_quoted(cwd) + " || exit 1\n" + "exec " +
                                   tools_command(e, "--member \"$SLURM_ARRAY_TASK_ID\"") + "\n";
  const std::string merge_script = head + "#SBATCH --job-name=yosta-merge\n#SBATCH --output=" + e.dir +
                                   "/slurm_merge.txt\n" + "cd " + shell_quoted(cwd) + " || exit 1\n" + "exec " +
                                   tools_command(e, "--collect") + "\n";
  const std::string array_path = e.dir + "/members.sbatch", merge_path = e.dir + "/merge.sbatch";
  formats::write_whole(array_path, array_script);
  formats::write_whole(merge_path, merge_script);
  write_manifest(e);
  std::vector<std::string> submit = {"sbatch", "--parsable"};
  for (const std::string& w : words(e.opt.sbatch_args)) submit.push_back(w);
  if (e.opt.dry_run) {
    std::cout << "# " << array_path << "\n"
              << array_script << "\n# " << merge_path << "\n"
              << merge_script << "\n# Submit with:\n"
              << command_text(submit) << " " << shell_quoted(array_path) << "\n"
              << command_text(submit) << " --dependency=afterok:ARRAY_JOB_ID " << shell_quoted(merge_path) << "\n";
    return 0;
  }
  auto job_id = [](const std::string& out, int status, const std::string& what) {
    std::string id = trimmed_text(out.substr(0, out.find(';')));
    if (status != 0 || id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
      throw Stop("sbatch did not accept the " + what + " (status " + std::to_string(status) +
                 "): " + trimmed_text(out));
    return id;
  };
  int status = 0;
  std::vector<std::string> first = submit;
  first.push_back(array_path);
  const std::string array_id = job_id(run_and_read(first, status), status, "member jobs");
  std::vector<std::string> second = submit;
  second.push_back("--dependency=afterok:" + array_id);
  second.push_back(merge_path);
  const std::string merge_id = job_id(run_and_read(second, status), status, "merge job");
  std::cout << "Submitted the members as job array " << array_id << " (tasks 1-" << e.members.size()
            << ") and the merge as job " << merge_id << " (after every member has succeeded)\n"
            << "Follow them with: squeue -j " << array_id << "," << merge_id << "\n"
            << "Results in " << e.dir << " when job " << merge_id << " has finished; each member's console in " << e.dir
            << "/member_NNN/console.txt\n";
  std::ofstream(e.dir + "/jobs.txt") << array_id << " " << merge_id << "\n";
  return 0;
}

}  // namespace

void add_ensemble(CLI::App& app) {
  auto opt = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "ensemble", "Run K independent fits of one parameter file (here or on a Slurm cluster) and merge them");
  sub->add_option("PARAMETER_FILE", opt->parameter_file, "The parameter file of every member")->required();
  sub->add_option("YOSTA_OPTIONS", opt->yosta_options,
                  "After --: options for every yosta member, such as --max-moves N");
  sub->add_option("-n,--members", opt->members, "Number of members K (1 to 999)")
      ->required()
      ->type_name("K")
      ->transform(whole_number(1, 999));
  sub->add_option("--seed", opt->seed, "Base seed: member k gets a seed derived from it (default: the clock)")
      ->type_name("BASE")
      ->transform(whole_number(1, 2147483646));
  sub->add_flag("--bootstrap", opt->bootstrap,
                "Each member fits its own resampled data: F + N(0, sigma) at every fitted point");
  sub->add_option("-j,--jobs", opt->jobs, "Members run at once here (default: the number of cores)")
      ->type_name("J")
      ->transform(whole_number(1, 1024));
  sub->add_flag("--slurm", opt->slurm, "Submit the members as a Slurm job array and a merge job after it");
  sub->add_option("--sbatch-args", opt->sbatch_args, "Further sbatch options for both jobs, such as \"-p short\"")
      ->type_name("\"...\"");
  sub->add_flag("--dry-run", opt->dry_run, "With --slurm: write and print the job scripts, submit nothing");
  sub->add_option("-d,--dir", opt->dir, "Ensemble folder (default: ensemble)")->type_name("DIR");
  sub->add_option("--names", opt->names,
                  "Names of the basis functions for the error picture, one per basis function: e.g. O-O,O-H,H-H")
      ->type_name("A,B,...");
  sub->add_option("--member", opt->member, "Run member N only (used by the Slurm job array)")
      ->group("")
      ->transform(whole_number(1, 999, "--member"));
  sub->add_flag("--collect", opt->collect, "Only merge the finished members (used by the Slurm merge job)")->group("");
  sub->footer(
      "Results in DIR: ROOT.gsv (merged), ROOT.g (mean), ROOT_errors.txt and ROOT_errors.png, manifest.txt.\n"
      "Running the same command again continues: finished members are not run again.\n"
      "Examples:\n  yosta-tools ensemble binary.dat -n 8 --seed 1000 -d ens -- --max-moves 2000000\n"
      "  yosta-tools ensemble binary.dat -n 64 --bootstrap --slurm --sbatch-args \"-p short\" -d ens");
  sub->callback([opt] {
    if (opt->dry_run && !opt->slurm) throw Stop("--dry-run goes with --slurm");
    if (opt->slurm && opt->jobs > 0) throw Stop("--jobs is for local runs; Slurm decides how many run at once");
    Ensemble e = set_up(*opt);
    int status = 0;
    if (opt->collect) {
      write_manifest(e);
      collect(e);
    } else if (opt->member > 0) {
      status = run_one_member(e, opt->member);
    } else if (opt->slurm) {
      status = run_slurm(e);
    } else {
      const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
      status = run_local(e, opt->jobs > 0 ? opt->jobs : cores);
    }
    if (status != 0) throw Stop(std::vector<std::string>{}, status);
  });
}

}  // namespace yosta::tools
