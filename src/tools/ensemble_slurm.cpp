// yosta-tools ensemble --slurm: a job array of the members and a merge job
// after it.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "tools/ensemble.h"
#include "tools/ensemble_parts.h"
#include "tools/process.h"
#include "formats/result_files.h"

namespace yosta::tools::ensemble {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

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

}  // namespace yosta::tools::ensemble
