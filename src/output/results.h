// The result files root + ".g", ".gsv", ".out", written from the run as it is
// handed over: writing changes nothing of the run.
#pragma once

#include <string>

#include "fit/run.h"
#include "base/console.h"

namespace yosta {

// Text of each file, as written by a save.
std::string g_file_text(const Run& run);
std::string gsv_file_text(const Run& run);
std::string out_file_text(const Run& run);

// "Saving results ... Do not interrupt", the files (each replaced whole),
// "Saving completed". The caller brings the model up to date first (the
// save schedule's save_now does). The files are one set:
// every one is written under its temporary name before any is renamed, so a
// failure part way leaves the earlier set as it was.
void save_results(const Run& run, Console& console);

// Before the data are read: neither the parameter file (opened as
// `parameter_file`) nor a data file is a file that the run writes, replaces
// or removes (root.g, root.out, root.gsv, their temporary names, the lock
// root.lock). Compared as files, so that other spellings, symbolic and hard
// links count. Throws Stop naming the input, the file and the root.
void check_inputs_kept(const RunParameters& params, const std::string& parameter_file);

// Before the first move: the result files can be created in root's folder and
// none of their names is taken by a folder. Throws Stop with the path and the
// system's reason otherwise.
void check_result_place(const RunParameters& params);

}  // namespace yosta
