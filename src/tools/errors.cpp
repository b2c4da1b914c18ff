#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/stop.h"
#include "display/plots.h"

#include "tools/outputs.h"
#include "tools/statistics.h"
#include "tools/subcommands.h"

namespace yosta::tools {

void add_errors(CLI::App& app) {
  struct Options {
    std::vector<std::string> inputs;
    std::string table, picture, names;
    bool add_one = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub =
      app.add_subcommand("errors", "Mean, standard deviation and standard error of the g(r) sets saved in a .gsv file");
  sub->add_option("FILES", options->inputs,
                  "The saved-set sums of a run (root.gsv) or a merged file; or the .g files of several runs,"
                  " each taken as one set")
      ->required();
  sub->add_option("-o,--output", options->table, "Write the table to FILE (default: the console)")->type_name("FILE");
  sub->add_option("--plot", options->picture,
                  "Draw every basis function with its +-2 sd band into FILE (.png, .svg or .pdf)")
      ->type_name("FILE");
  sub->add_option("--names", options->names,
                  "Names of the basis functions for the picture's titles, one per basis function: e.g. O-O,O-H,H-H")
      ->type_name("A,B,...");
  sub->add_flag("--add-one", options->add_one,
                "Add 1 to the means: the stored values are g(r) - 1 (Q-dependent coefficients)");
  sub->footer(
      "Example:\n  yosta-tools errors water.gsv -o water_errors.txt --plot water_errors.png\n"
      "  yosta-tools errors run1/water.g run2/water.g run3/water.g --add-one");
  sub->callback([options] {
    // Every output is checked before any input is read or any file written.
    check_outputs({{options->table, "-o", false}, {options->picture, "--plot", true}}, options->inputs);
    formats::GsvFile sums;
    if (options->inputs.size() == 1) {
      const std::string& path = options->inputs.front();
      if (path.size() >= 2 && path.compare(path.size() - 2, 2, ".g") == 0)
        throw Stop("\"" + path +
                   "\" is one .g file, the g(r)s of one run: a spread needs at least 2 sets. Give the .g files of"
                   " 2 or more runs (yosta-tools errors run1/root.g run2/root.g ...), or the .gsv file of a run"
                   " that saved several sets");
      sums = formats::read_gsv_file(path);
    } else {
      std::vector<formats::GFile> states;
      for (const std::string& path : options->inputs) {
        if (path.size() < 2 || path.compare(path.size() - 2, 2, ".g") != 0)
          throw Stop("Several files are taken as the .g files of independent runs: \"" + path +
                     "\" does not end in .g");
        states.push_back(formats::read_g_file(path));
      }
      sums = gsv_of_states(states);
      sums.path = std::to_string(states.size()) + " .g files (" + options->inputs.front() + ", ...)";
    }
    const Spread spread = spread_of(sums);
    const float shift = options->add_one ? 1.0f : 0.0f;
    const std::string table = spread_table(spread, shift);
    // What was written is said on the console; beside a table printed there,
    // on the error stream, so that the table can be redirected alone.
    std::ostream& said = options->table.empty() ? std::cerr : std::cout;
    const std::vector<std::string> names = options->names.empty()
                                               ? std::vector<std::string>{}
                                               : basis_names(options->names, static_cast<int>(spread.mean.size()));
    // The picture and the table are both made before either replaces a file.
    std::optional<StagedPicture> picture;
    if (!options->picture.empty())
      picture.emplace(stage_spread_picture(spread, shift, options->picture, names,
                                           options->add_one ? "g(r)" : "g(r) - 1 as stored"));
    if (options->table.empty()) {
      std::cout << table;
    } else {
      formats::write_whole(options->table, table);
      said << "Wrote " << options->table << ": mean, standard deviation and standard error of " << spread.mean.size()
           << " basis functions over " << spread.nsets << " sets\n";
    }
    if (picture) {
      picture->commit();
      said << "Wrote " << options->picture << ": every basis function's mean with its +-2 sd band\n";
    }
  });
}

}  // namespace yosta::tools
