#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "display/plots.h"
#include "fit/build.h"
#include "fit/run.h"
#include "model/datasets.h"
#include "text/free_reader.h"
#include "tools/outputs.h"
#include "tools/picture.h"
#include "formats/result_files.h"
#include "tools/subcommands.h"

namespace yosta::tools {
namespace {

// Colours of the basis functions: the first blue as in the live G(r) window.
const int basis_colour[6] = {4, 2, 3, 8, 6, 5};

// What the parameter file adds to a run's .out file: the standard deviation
// of every fitted point, read from the data files it names, and the names of
// those files (both empty without a parameter file).
struct RunInputs {
  std::vector<std::vector<float>> errors;
  std::vector<std::string> files;
};

RunInputs run_inputs(const std::string& parameter_file, const formats::OutFile& out) {
  RunInputs inputs;
  if (parameter_file.empty()) return inputs;
  const RunParameters params = read_parameter_file(parameter_file);
  if (params.nsets != static_cast<int>(out.sets.size()))
    throw Stop("\"" + parameter_file + "\" has " + std::to_string(params.nsets) + " data sets, \"" + out.path + "\" " +
               std::to_string(out.sets.size()));
  // The data files only; their warnings belong to the fit, not to a picture.
  std::ostringstream ignored;
  std::istringstream no_input;
  Console quiet(ignored, no_input);
  BuildOptions build;
  build.stage = BuildStage::data;
  const std::unique_ptr<Run> run = build_run(params, build, quiet);
  for (int s = 1; s <= run->params.nsets; ++s) {
    const DataSet& set = run->model.sets[static_cast<std::size_t>(s)];
    const auto& graph = out.sets[static_cast<std::size_t>(s - 1)];
    if (set.settings.q_last - set.settings.q_first + 1 != static_cast<int>(graph.Q.size()))
      throw Stop("Data set " + std::to_string(s) + " of \"" + parameter_file + "\" fits " +
                 std::to_string(set.settings.q_last - set.settings.q_first + 1) + " points, \"" + out.path +
                 "\" holds " + std::to_string(graph.Q.size()));
    std::vector<float> e;
    for (int k = set.settings.q_first; k <= set.settings.q_last; ++k)
      e.push_back(std::fabs(set.err[static_cast<std::size_t>(k)]));
    inputs.errors.push_back(std::move(e));
    inputs.files.push_back(set.settings.data_file);
  }
  return inputs;
}

}  // namespace

std::vector<PicturePanel> out_panels(const formats::OutFile& out, const std::vector<std::vector<float>>& errors,
                                     const std::vector<std::string>& files, const std::vector<std::string>& names) {
  std::vector<PicturePanel> panels;
  for (std::size_t s = 0; s < out.sets.size(); ++s) {
    const formats::OutFile::DataSetGraph& g = out.sets[s];
    const std::vector<float>& fit = g.ncurves == 4 ? g.broadened : g.model;
    const bool has_errors = s < errors.size() && errors[s].size() == g.Q.size();
    PicturePanel main;
    const std::string set = "data set " + std::to_string(s + 1);
    main.title = s < files.size() ? files[s] + " (" + set + ")" : "Data set " + std::to_string(s + 1);
    if (s == 0 && !out.title.empty()) main.title = out.title + ": " + main.title;
    main.y_label = "F(Q)";  // the residual below carries the Q axis label
    PictureCurve data{g.Q, g.data, {}, 3, true, "data (corrected)"};
    PictureCurve model{g.Q, fit, {}, 4, false, g.ncurves == 4 ? "fit (broadened)" : "fit"};
    PictureCurve background{g.Q, g.background, {}, 7, false, "background"};
    main.curves = {data, model, background};
    // The residual as a line over the band of the data's errors.
    PicturePanel residual;
    residual.x_label = "Q/A-1";
    residual.y_label = "data - fit";
    residual.height = 0.55f;
    if (has_errors) {
      PictureBand band{g.Q, {}, {}, 3, "+-1 sd of the data"};
      for (std::size_t k = 0; k < g.Q.size(); ++k) {
        band.lo.push_back(-errors[s][k]);
        band.hi.push_back(errors[s][k]);
      }
      residual.bands.push_back(std::move(band));
    }
    PictureCurve diff{g.Q, {}, {}, 1, false, has_errors ? "data - fit" : ""};
    for (std::size_t k = 0; k < g.Q.size(); ++k) diff.y.push_back(g.data[k] - fit[k]);
    PictureCurve zero{{g.Q.front(), g.Q.back()}, {0.0f, 0.0f}, {}, 15, false, ""};
    residual.curves = {zero, diff};
    panels.push_back(std::move(main));
    panels.push_back(std::move(residual));
  }
  // In Q-dependent-coefficient mode (the only one with partial structure
  // factors) the file holds g(r); otherwise the basis functions as fitted.
  const bool partials = !out.Q_partial.empty();
  auto family = [&names](const std::vector<float>& x, const formats::Columns& t, const char* x_label,
                         const char* y_label, const std::string& title) {
    PicturePanel p;
    p.x_label = x_label;
    p.y_label = y_label;
    p.title = title;
    for (std::size_t b = 0; b < t.size(); ++b)
      p.curves.push_back({x, t[b], {}, basis_colour[b % 6], false, basis_name(names, b)});
    return p;
  };
  panels.push_back(family(out.r, out.g, "r/A", partials ? "g(r)" : "G(r) as fitted",
                          partials ? "Partial pair-distribution functions g(r)" : "Basis functions"));
  // The partial structure factors are the transforms of g(r) - 1: they tend
  // to 0 at high Q, so the axis says S(Q) - 1.
  if (partials)
    panels.push_back(family(out.Q_partial, out.partial_sq, "Q/A-1", "S(Q) - 1", "Partial structure factors S(Q) - 1"));
  return panels;
}

namespace {}  // namespace

void add_plot(CLI::App& app) {
  struct Options {
    std::string out, picture, parameters, names;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "plot",
      "Draw a run's .out file: every data set with its fit and residual, the basis functions, the partial S(Q)s");
  sub->add_option("OUT", options->out, "The curve file of a run (root.out)")->required();
  sub->add_option("-o,--output", options->picture, "The picture (.png, .svg or .pdf)")->required()->type_name("FILE");
  sub->add_option(
         "-p,--parameters", options->parameters,
         "The run's parameter file: panel titles from its data files' names, and their errors as a band around the"
         " residual (the .out file holds neither)")
      ->type_name("FILE");
  sub->add_option("--names", options->names,
                  "Names of the basis functions for titles and legends, one per basis function: e.g. O-O,O-H,H-H")
      ->type_name("A,B,...");
  sub->footer("Example:\n  yosta-tools plot binary.out -o binary.png -p binary.dat --names AA,AB,BB");
  sub->callback([options] {
    std::vector<std::string> inputs{options->out};
    if (!options->parameters.empty()) inputs.push_back(options->parameters);
    check_outputs({{options->picture, "-o", true}}, inputs);
    const formats::OutFile out = formats::read_out_file(options->out);
    const std::vector<std::string> names = options->names.empty()
                                               ? std::vector<std::string>{}
                                               : basis_names(options->names, static_cast<int>(out.g.size()));
    const RunInputs run = run_inputs(options->parameters, out);
    draw_picture(options->picture, out_panels(out, run.errors, run.files, names), 1);
    std::cout << "Wrote " << options->picture << ": " << out.sets.size()
              << " data set(s) with fit and residual, the basis functions"
              << (out.Q_partial.empty() ? "" : ", the partial structure factors") << "\n";
  });
}

}  // namespace yosta::tools
