// The parts of `yosta-tools ensemble` shared by its files: the options, the
// members and the ensemble as set up; the set-up and the manifest
// (ensemble.cpp), the local and one-member runs (ensemble_run.cpp) and the
// Slurm job scripts (ensemble_slurm.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "input/parameters.h"

namespace yosta::tools::ensemble {

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

// The folder name of member k: member_NNN.
std::string member_folder_name(int k);
std::string manifest_path(const Ensemble& e);
// The command line of a member, run in its folder.
std::vector<std::string> member_command(const Ensemble& e, const Member& m);
// Arguments quoted for a shell, joined by blanks.
std::string command_text(const std::vector<std::string>& argv);
void write_manifest(const Ensemble& e);
// Reads the parameter file and the earlier manifest, checks that they agree
// and gives every member its seed, folder and status from what its folder
// holds; Stop when a member folder is in use by a running program.
Ensemble set_up(const Options& opt);
// A member's folder with fresh copies of its inputs.
void prepare_member(const Ensemble& e, const Member& m);
// Sets the status and records it in the member's folder (not "interrupted").
void record_status(Member& m, const std::string& status);
// "done N", "failed N", "failed signal N" or "interrupted" of a member's end.
std::string status_of_exit(int raw, bool interrupted);
// Stop when a program holds the member's folder (its root lock).
void refuse_member_in_use(const Ensemble& e, const Member& m);
// The merged .gsv, the mean .g, and the errors table and picture in the
// ensemble folder, from finished members.
void collect(const Ensemble& e);

// Runs the members not yet done, at most `jobs` at once; returns the exit
// status of the ensemble.
int run_local(Ensemble& e, int jobs);
// One member, as a task of the Slurm array runs it; 0 when it is done.
int run_one_member(Ensemble& e, int k);
// Writes the job scripts and submits them (or prints them with --dry-run).
int run_slurm(Ensemble& e);

}  // namespace yosta::tools::ensemble
