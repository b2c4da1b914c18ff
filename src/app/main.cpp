// yosta: fits partial pair-distribution functions g(r) to measured total
// structure factors F(Q) by a Monte Carlo walk in real space.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <exception>
#include <iostream>
#include <limits>

#include "base/console.h"
#include "base/option_checks.h"
#include "app/program.h"
#include "base/stop.h"

// Exceptions of the command-line set-up itself are programming errors and end the
// program loudly; everything a run can throw is caught below.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
  yosta::ProgramOptions options;
  CLI::App app{"Fits partial g(r)s to 1-4 measured total structure factors F(Q) by a Monte Carlo walk in r.", "yosta"};
  app.set_version_flag("--version", "yosta 3.0");
  app.add_option("PARAMETER_FILE", options.parameter_file,
                 "Parameter file, opened as given (asked for on the console when omitted)");
  app.add_option("--seed", options.seed, "Start the random generator from N instead of the clock")
      ->type_name("N")
      ->check(CLI::Range(1, 2147483646));
  app.add_option("--max-moves", options.max_moves, "End the fit after N moves made by this run, with a final save")
      ->type_name("N")
      ->transform(yosta::whole_number(0, std::numeric_limits<std::int64_t>::max()));
  app.add_option("--plot-device", options.plot_device,
                 "Graphics device for the live plots (for example /png or /null); default: two windows")
      ->type_name("DEVICE");
  app.add_option("--names", options.names,
                 "Names of the basis functions for the plots, one per basis function: for example O-O,O-H,H-H")
      ->type_name("A,B,...");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 1;
  }

  yosta::Console console(std::cout, std::cin);
  try {
    return yosta::run_program(options, console);
  } catch (const yosta::Stop& stop) {
    for (const std::string& line : stop.lines) console.line(line);
    console.flush();
    return stop.status;
  } catch (const std::exception& e) {
    console.flush();
    std::cerr << "yosta: " << e.what() << '\n';
    return 1;
  }
}
