#include <iostream>

#include "tools/subcommands.h"

namespace yosta::tools {

void add_version(CLI::App& app) {
  CLI::App* sub = app.add_subcommand("version", "Print the version of yosta-tools");
  sub->footer("Example:\n  yosta-tools version");
  sub->callback([] { std::cout << "yosta-tools 3.0\n"; });
}

}  // namespace yosta::tools
