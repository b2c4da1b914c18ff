// Starting other programs without a shell: posix_spawn with the arguments as
// given, in a chosen folder, with the output sent to a file or read back.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace yosta::tools {

// The program `name` from the folder of this executable, else from PATH;
// Stop when neither has it.
std::string find_program(const std::string& name);

// Starts argv[0] (a path) in folder `dir` with stdin from /dev/null and stdout
// and stderr into `output_file` (replaced). With `own_group` the child leads a
// process group of its own, so a Ctrl-C at the terminal reaches only us and
// we decide how to pass it on. The stop signals get their default actions in
// the child, and it gets SIGTERM when this process dies (however it dies), so
// that no child runs on as an orphan. Throws Stop when it cannot be started.
pid_t start_program(const std::vector<std::string>& argv, const std::string& dir, const std::string& output_file,
                    bool own_group);

// Runs argv[0] to its end and returns its standard output; `status` gets the
// exit status (-1 when it did not exit normally).
std::string run_and_read(const std::vector<std::string>& argv, int& status);

// `text` quoted for a POSIX shell (single quotes).
std::string shell_quoted(const std::string& text);

}  // namespace yosta::tools
