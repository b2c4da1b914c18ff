// yosta-tools: the subcommands. Each one adds itself to the program with its
// options and help (an example in the footer) and sets its callback; a
// callback reports bad input by throwing Stop (file, line, item and value),
// which main prints and turns into exit status 1.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace yosta::tools {

// One entry per subcommand, in the order `yosta-tools --help` lists them.
void add_version(CLI::App& app);
void add_import(CLI::App& app);
void add_weights(CLI::App& app);
// Adds `weights xray` under the weights subcommand.
void add_weights_xray(CLI::App& weights);
void add_errors(CLI::App& app);
void add_merge(CLI::App& app);
void add_ensemble(CLI::App& app);
void add_plot(CLI::App& app);
// The misfit of each data set of a finished fit (root.out).
void add_misfit(CLI::App& app);
// Removal of the back-transform of a data set's part below a cut-off distance.
void add_background(CLI::App& app);
// The check of a parameter file and its data files before a fit.
void add_check(CLI::App& app);

// The transform G(r) = 1/(2 pi^2 rho r) int Q F(Q) sin(Qr) dQ of the points q (a
// regular grid) with values f, taken up to q_max, at the distances r (all above 0):
// F is held at its first value from Q = 0 to the first point. With `lorch` each
// value is damped by sin(x)/x, x = pi Q / q_max, which smooths the ripples of the
// cut-off at q_max. Where every g(r) is 0 it equals the floor times the sum of the
// weights (-sum w for F(Q) = sum w (S - 1)).
std::vector<double> short_distance_transform(const std::vector<double>& q, const std::vector<double>& f,
                                             const std::vector<double>& r, double density, double q_max, bool lorch);

// A coefficient record of the parameter file: the weights, then the names of
// their pairs in the same order and the contrast in parentheses. The reader of
// the parameter file takes one number per basis function from the record and
// ignores the rest of its line, so the names cost nothing; with fewer weights
// than basis functions the first name is read, and refused, as a number.
std::string coefficient_record(const std::vector<double>& weights, const std::vector<std::string>& pairs,
                               const std::string& contrast);

// B(Q) of `yosta-tools background` on the points q (a regular grid) with values f:
// the back-transform of the transform's excess over -sum_weights below r_cut.
std::vector<double> low_r_background(const std::vector<double>& q, const std::vector<double>& f, double r_cut,
                                     double sum_weights, double density, double q_max, double step);

}  // namespace yosta::tools
