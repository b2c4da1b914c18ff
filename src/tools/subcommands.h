// yosta-tools: the subcommands. Each one adds itself to the program with its
// options and help (an example in the footer) and sets its callback; a
// callback reports bad input by throwing Stop (file, line, item and value),
// which main prints and turns into exit status 1.
#pragma once

#include <CLI/CLI.hpp>

namespace yosta::tools {

// One entry per subcommand, in the order `yosta-tools --help` lists them.
void add_version(CLI::App& app);
void add_import(CLI::App& app);
void add_weights(CLI::App& app);
// Adds `weights xray` under the weights subcommand.
void add_weights_xray(CLI::App& weights);
// The misfit of each data set of a finished fit (root.out).
void add_misfit(CLI::App& app);

}  // namespace yosta::tools
