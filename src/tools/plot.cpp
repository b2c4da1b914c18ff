#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/stop.h"
#include "fit/run.h"
#include "model/datasets.h"
#include "text/free_reader.h"
#include "tools/picture.h"
#include "formats/result_files.h"
#include "tools/subcommands.h"

namespace yosta::tools {
namespace {

// Colours of the basis functions: the first blue as in the live G(r) window.
const int basis_colour[6] = {4, 2, 3, 8, 6, 5};

// Standard deviations of the fitted points of every data set, read from the
// data files that the parameter file names (empty when none is given).
std::vector<std::vector<float>> data_errors(const std::string& parameter_file, const formats::OutFile& out) {
  std::vector<std::vector<float>> errors;
  if (parameter_file.empty()) return errors;
  text::FreeReader reader = text::FreeReader::open(parameter_file);
  std::unique_ptr<Run> run = make_run();
  run->params = read_parameters(reader);
  if (run->params.nsets != static_cast<int>(out.sets.size()))
    throw Stop("\"" + parameter_file + "\" has " + std::to_string(run->params.nsets) + " data sets, \"" + out.path +
               "\" " + std::to_string(out.sets.size()));
  for (int s = 1; s <= run->params.nsets; ++s)
    run->model.sets[static_cast<std::size_t>(s)].settings = run->params.sets[static_cast<std::size_t>(s - 1)];
  read_data_sets(run->params, run->model);
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
    errors.push_back(std::move(e));
  }
  return errors;
}

std::vector<PicturePanel> out_panels(const formats::OutFile& out, const std::vector<std::vector<float>>& errors) {
  std::vector<PicturePanel> panels;
  for (std::size_t s = 0; s < out.sets.size(); ++s) {
    const formats::OutFile::DataSetGraph& g = out.sets[s];
    const std::vector<float>& fit = g.ncurves == 4 ? g.broadened : g.model;
    PicturePanel main;
    main.title = (s == 0 && !out.title.empty() ? out.title + ": data set " : "Data set ") + std::to_string(s + 1);
    main.y_label = "F(Q)";  // the residual below carries the Q axis label
    PictureCurve data{g.Q, g.data, errors.empty() ? std::vector<float>{} : errors[s],
                      3,   true,   errors.empty() ? "data" : "data +-1 sd"};
    PictureCurve model{g.Q, fit, {}, 4, false, g.ncurves == 4 ? "fit (broadened)" : "fit"};
    PictureCurve background{g.Q, g.background, {}, 7, false, "background"};
    main.curves = {data, model, background};
    PicturePanel residual;
    residual.x_label = "Q/A-1";
    residual.y_label = "data - fit";
    residual.height = 0.55f;
    PictureCurve diff{g.Q, {}, data.error, 3, true, ""};
    for (std::size_t k = 0; k < g.Q.size(); ++k) diff.y.push_back(g.data[k] - fit[k]);
    PictureCurve zero{{g.Q.front(), g.Q.back()}, {0.0f, 0.0f}, {}, 1, false, ""};
    residual.curves = {zero, diff};
    panels.push_back(std::move(main));
    panels.push_back(std::move(residual));
  }
  auto family = [](const std::vector<float>& x, const formats::Columns& t, const char* x_label, const char* y_label,
                   const char* title, const char* name) {
    PicturePanel p;
    p.x_label = x_label;
    p.y_label = y_label;
    p.title = title;
    for (std::size_t b = 0; b < t.size(); ++b)
      p.curves.push_back({x, t[b], {}, basis_colour[b % 6], false, std::string(name) + " " + std::to_string(b + 1)});
    return p;
  };
  panels.push_back(family(out.r, out.g, "r/A", "g(r)", "Basis functions", "basis"));
  if (!out.Q_partial.empty())
    panels.push_back(family(out.Q_partial, out.partial_sq, "Q/A-1", "S(Q)", "Partial structure factors", "partial"));
  return panels;
}

}  // namespace

void add_plot(CLI::App& app) {
  struct Options {
    std::string out, picture, parameters;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "plot",
      "Draw a run's .out file: every data set with its fit and residual, the basis functions, the partial S(Q)s");
  sub->add_option("OUT", options->out, "The curve file of a run (root.out)")->required();
  sub->add_option("-o,--output", options->picture, "The picture (.png, .svg or .pdf)")->required()->type_name("FILE");
  sub->add_option("-p,--parameters", options->parameters,
                  "The run's parameter file: error bars from its data files (the .out file holds none)")
      ->type_name("FILE");
  sub->footer("Example:\n  yosta-tools plot binary.out -o binary.png -p binary.dat");
  sub->callback([options] {
    const formats::OutFile out = formats::read_out_file(options->out);
    draw_picture(options->picture, out_panels(out, data_errors(options->parameters, out)), 1);
    std::cout << "Wrote " << options->picture << ": " << out.sets.size()
              << " data set(s) with fit and residual, the basis functions"
              << (out.Q_partial.empty() ? "" : ", the partial structure factors") << "\n";
  });
}

}  // namespace yosta::tools
