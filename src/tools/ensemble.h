// An ensemble of independent fits of one parameter file: K members, each in
// DIR/member_NNN/ with its own copy of the inputs and its own seed, run here
// (at most J at once) or as a Slurm job array, then merged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/parameters.h"

namespace yosta::tools {

// Seed of member k (1..K) of an ensemble started from `base`: distinct for
// every k below 2^31 - 2, and always within 1..2147483646.
std::int32_t member_seed(std::int32_t base, int k);
// Seed of member k's resampled data (--bootstrap), recorded in the manifest.
std::int32_t noise_seed(std::int32_t member_seed, int k);

// The data file `text` (named `name` in messages) with every fitted point's
// F(Q) replaced by F + N(0, sigma_k), sigma_k the point's standard deviation
// as the program takes it; the first two lines are kept as they are and each
// point is written on one line with its other values unchanged. `seed` is the
// state of the generator, advanced in place.
std::string resampled_data(const std::string& name, const std::string& text, const DataSetSettings& set, int nbasis,
                           std::int32_t& seed);

// The parameter file `lines` (named `name`) with the data file records of
// every set and the root record replaced by `data_files` and `root`; all other
// lines stay as they are. The result is read back and checked; Stop when the
// records cannot be found.
std::string rewritten_parameters(const std::string& name, const std::vector<std::string>& lines,
                                 const std::vector<std::string>& data_files, const std::string& root);

// What the member folder `folder` of root `root` holds: "running" while a
// program holds the root's lock there; else the end its ensemble recorded
// ("done 10", "failed 1"); else "interrupted" when it holds results of a run
// whose end was not recorded (stopped, or its ensemble died); else "pending".
std::string folder_status(const std::string& folder, const std::string& root);

// Small text helpers of the ensemble: blanks and line ends trimmed at both
// ends; the lines of a text (without their '\n'); a whole file (Stop when it
// cannot be read).
std::string trimmed_text(const std::string& s);
std::vector<std::string> text_lines(const std::string& text);
std::string file_text(const std::string& path);

}  // namespace yosta::tools
