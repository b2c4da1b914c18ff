// The files a subcommand writes, all checked before the first is written, so
// that a refused command leaves every file as it was.
#pragma once

#include <string>
#include <vector>

namespace yosta::tools {

struct PlannedOutput {
  std::string path;      // as given; empty: not written (an option left out)
  std::string option;    // how the command line names it ("-o", "--plot")
  bool picture = false;  // a picture: the name must end in .png, .svg or .pdf
};

// Stop, naming the file and its option, unless every output can be written:
// a picture's name ends in .png, .svg or .pdf; the folder exists and a file
// can be made in it; no folder has the name; no two outputs are one file;
// and none is one of `inputs` (compared as files: links and other spellings
// count).
void check_outputs(const std::vector<PlannedOutput>& outputs, const std::vector<std::string>& inputs);

}  // namespace yosta::tools
