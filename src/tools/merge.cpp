#include <memory>
#include <string>
#include <vector>

#include "base/stop.h"
#include "tools/outputs.h"
#include "tools/statistics.h"
#include "tools/subcommands.h"

namespace yosta::tools {

void add_merge(CLI::App& app) {
  struct Options {
    std::vector<std::string> inputs;
    std::string output;
    bool mean = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "merge", "Add the saved-set sums of .gsv files, or average .g files (--mean) into a start file");
  sub->add_option("FILES", options->inputs, "The .gsv files (or .g files with --mean); all on one r grid")->required();
  sub->add_option("-o,--output", options->output, "The merged file")->required()->type_name("FILE");
  sub->add_flag("--mean", options->mean, "Average the basis functions of .g files: the result can start a further run");
  sub->footer(
      "Examples:\n  yosta-tools merge run1/water.gsv run2/water.gsv -o all.gsv\n"
      "  yosta-tools merge --mean run1/water.g run2/water.g -o water.g");
  sub->callback([options] {
    // Every input is read (and checked) before the output is written. The
    // output may be one of the inputs: sums gathered into one file.
    check_outputs({{options->output, "-o", false}}, {});
    if (options->mean) {
      std::vector<formats::GFile> files;
      for (const std::string& path : options->inputs) files.push_back(formats::read_g_file(path));
      formats::write_whole(options->output, formats::g_text(mean_g(files)));
    } else {
      std::vector<formats::GsvFile> files;
      for (const std::string& path : options->inputs) {
        if (path.size() >= 2 && path.compare(path.size() - 2, 2, ".g") == 0)
          throw Stop("\"" + path + "\" is a .g file: .g files are averaged with --mean");
        files.push_back(formats::read_gsv_file(path));
      }
      formats::write_whole(options->output, formats::gsv_text(merge_gsv(files)));
    }
  });
}

}  // namespace yosta::tools
