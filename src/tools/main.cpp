// yosta-tools: data preparation before a fit and the handling of its results.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <string>

#include "base/stop.h"
#include "tools/subcommands.h"

// Exceptions of the command-line set-up itself are programming errors and end the
// program loudly; everything a run can throw is caught below.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
  CLI::App app{"Data preparation and results for yosta.", "yosta-tools"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "yosta-tools 3.0");
  yosta::tools::add_version(app);
  yosta::tools::add_import(app);
  yosta::tools::add_weights(app);
  yosta::tools::add_errors(app);
  yosta::tools::add_merge(app);
  yosta::tools::add_ensemble(app);
  yosta::tools::add_plot(app);
  yosta::tools::add_misfit(app);
  yosta::tools::add_background(app);
  yosta::tools::add_check(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // An unknown first word is reported as such, not as a missing subcommand.
    const std::vector<std::string> rest = app.remaining();
    if (app.get_subcommands().empty() && !rest.empty() && e.get_exit_code() != 0) {
      std::cerr << "yosta-tools: unknown subcommand '" << rest.front() << "'; yosta-tools --help lists them\n";
      return 1;
    }
    // An option of yosta given to the ensemble itself: say where it goes.
    const CLI::App* ensemble = app.get_subcommand("ensemble");
    if (ensemble->parsed() && e.get_exit_code() == static_cast<int>(CLI::ExitCodes::ExtrasError)) {
      std::cerr << "yosta-tools ensemble: " << e.what()
                << "\nOptions for every yosta member go after --, as in: yosta-tools ensemble PARAMETER_FILE -n K"
                   " -- --max-moves N\n";
      return 1;
    }
    // A hidden option has no name of its own in CLI11's message; its check
    // names it.
    const std::string what = e.what();
    if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr && what.rfind(": ", 0) == 0) {
      std::cerr << what.substr(2) << '\n';
      return 1;
    }
    return app.exit(e) == 0 ? 0 : 1;
  } catch (const yosta::Stop& stop) {
    std::cout.flush();
    for (const std::string& line : stop.lines) std::cerr << line << '\n';
    return stop.status;
  } catch (const std::exception& e) {
    std::cerr << "yosta-tools: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
