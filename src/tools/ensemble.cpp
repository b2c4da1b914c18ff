// yosta-tools ensemble: setting up the members, the manifest and merging the
// finished members. Their inputs (seeds, parameter file, resampled data) are
// made in ensemble_inputs.cpp, their runs in ensemble_run.cpp and
// ensemble_slurm.cpp.
#include "tools/ensemble.h"

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "base/clock.h"
#include "base/files.h"
#include "base/lock.h"
#include "base/stop.h"
#include "display/plots.h"
#include "text/free_reader.h"
#include "tools/ensemble_parts.h"
#include "base/option_checks.h"
#include "tools/process.h"
#include "formats/result_files.h"
#include "tools/statistics.h"
#include "tools/subcommands.h"

namespace yosta::tools {

namespace fs = std::filesystem;

namespace ensemble {

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

}  // namespace ensemble

std::string folder_status(const std::string& folder, const std::string& root) {
  if (FileLock::holder(folder + "/" + lock_name(root)) != 0) return "running";
  std::ifstream in(folder + "/status");
  std::string line;
  if (std::getline(in, line) && !trimmed_text(line).empty()) return trimmed_text(line);
  std::error_code ec;
  return fs::exists(folder + "/" + root + ".g", ec) ? "interrupted" : "pending";
}

namespace ensemble {

void refuse_member_in_use(const Ensemble& e, const Member& m) {
  const long id = FileLock::holder(m.folder + "/" + lock_name(e.root));
  if (id == 0) return;
  const std::string process = id > 0 ? "process " + std::to_string(id) : std::string("a process");
  throw Stop("Member " + std::to_string(m.number) + " (folder \"" + m.folder + "\") is in use by a running yosta (" +
             process + "), perhaps left by an earlier ensemble: wait for it to end or stop it" +
             (id > 0 ? " (kill " + std::to_string(id) + ")" : std::string()) + ", then run the same command again");
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
    // A member that is not done is run again; its folder says how it ended.
    m.status = folder_status(m.folder, e.root);
    if (!m.done() && m.status != "running" && m.status != "interrupted") m.status = "pending";
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

}  // namespace ensemble

void add_ensemble(CLI::App& app) {
  auto opt = std::make_shared<ensemble::Options>();
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
    ensemble::Ensemble e = ensemble::set_up(*opt);
    int status = 0;
    if (opt->collect) {
      ensemble::write_manifest(e);
      ensemble::collect(e);
    } else if (opt->member > 0) {
      status = ensemble::run_one_member(e, opt->member);
    } else if (opt->slurm) {
      status = ensemble::run_slurm(e);
    } else {
      const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
      status = ensemble::run_local(e, opt->jobs > 0 ? opt->jobs : cores);
    }
    if (status != 0) throw Stop(std::vector<std::string>{}, status);
  });
}

}  // namespace yosta::tools
