// The small whole run the program tests start again and again: a parameter
// file for one data set of one partial and its data file, a damped
// oscillation, written into a scratch folder. Each field is text so that a
// test can break or switch it. Also the bundled binary example, copied.
#pragma once

#include <string>

#include "support/programs.h"

namespace yosta::testing {

struct SmallRun {
  std::string title = "Small test run";
  std::string live = "F";  // live plotting; "T" adds the plot interval 50
  std::string nbasis = "1";
  int nsave = 0;                             // above 0: save that many sets at a target every state meets
  std::string positivity = "1\n1 1.5 10.0";  // the count, then one record each
  std::string times = "1.0 0.5";
  std::string nsets = "1 0";
  std::string data = "liquid";
  std::string root = "result";
};

// The parameter file of `run`.
std::string small_parameters(const SmallRun& run);
// 100 points at Q = 0.1 .. 10.0, 0.8 sin(3Q) exp(-0.3Q).
std::string damped_data();
// Writes small_parameters(run) to `parameter_file` and damped_data() to the
// data file it names, both in `dir`.
void write_small_run(const TempDir& dir, const SmallRun& run, const std::string& parameter_file = "setup.dat");

// The bundled example binary.dat and its three data files, binary_F1.dat to
// binary_F3.dat, copied into `dir`.
void copy_binary_example(const TempDir& dir);

// Shell lines that start yosta with `args` in the background, its output in
// `log` and its process id in $pid.
std::string start_in_background(const std::string& args, const std::string& log);
// A shell line that waits (up to 30 s) until `pattern` is in `log`.
std::string wait_for(const std::string& pattern, const std::string& log);

}  // namespace yosta::testing
