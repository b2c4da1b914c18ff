// The parameter file, read record by record in its fixed order. Every record
// is one free-format read that starts on a new line; nothing is named by
// keyword, so the meaning of a value follows from its position alone.
#include "input/parameters.h"

#include <cmath>
#include <string>
#include <string_view>

#include "base/stop.h"
#include "text/free_writer.h"

namespace yosta {

namespace {

using text::FreeReader;

// A record of one value. A slash or a null value leaves `value` as it was.
template <class T>
void read_one(FreeReader& in, T& value, std::string_view what) {
  in.begin(what);
  in.get(value, what);
  in.end();
}

// The guards this program adds to the file's own checks: a stop at the record
// that holds the bad value, naming the value and where it was read.
[[noreturn]] void reject(const FreeReader& in, const std::string& message) {
  throw Stop(message + " (file \"" + in.name() + "\", line " + std::to_string(in.line_number()) + ")");
}

std::string text_of(std::int32_t value) { return std::to_string(value); }
std::string text_of(float value) { return text::real_text(value); }

// A limit of the file: the program's own message, then a line with the value,
// the limit and where the value was read.
[[noreturn]] void over_limit(const FreeReader& in, const std::string& message, const std::string& detail) {
  throw Stop({message, detail + " (file \"" + in.name() + "\", line " + std::to_string(in.line_number()) + ")"}, 1);
}

void require_at_least_1(const FreeReader& in, std::int32_t value, const char* name) {
  if (value < 1) reject(in, std::string(name) + " must be at least 1, found " + text_of(value));
}

void require_partial(const FreeReader& in, std::int32_t partial, std::int32_t nbasis, const std::string& owner) {
  if (partial < 1 || partial > nbasis)
    reject(in, owner + ": basis function must be between 1 and " + text_of(nbasis) + ", found " + text_of(partial));
}

void require_nonzero(const FreeReader& in, float value, const std::string& owner, const char* name) {
  if (value == 0.0f) reject(in, owner + ": " + name + " must not be zero, found " + text_of(value));
}

// One zero or positivity constraint: partial, r_from, r_to.
template <class Constraint>
Constraint read_range_constraint(FreeReader& in, std::int32_t nbasis, const char* kind, int index) {
  const std::string owner = std::string(kind) + " constraint " + std::to_string(index);
  Constraint c;
  in.begin(owner);
  in.get(c.partial, owner + " basis function (integer)");
  in.get(c.r_from, owner + " r from (real)");
  in.get(c.r_to, owner + " r to (real)");
  in.end();
  require_partial(in, c.partial, nbasis, owner);
  return c;
}

// The seven values of one coordination constraint.
CoordinationConstraint read_coordination(FreeReader& in, std::int32_t nbasis, int index) {
  const std::string owner = "Coordination constraint " + std::to_string(index);
  CoordinationConstraint c;
  in.begin(owner);
  in.get(c.partial, owner + " basis function (integer)");
  in.get(c.r_from, owner + " r from (real)");
  in.get(c.r_to, owner + " r to (real)");
  in.get(c.concentration, owner + " concentration (real)");
  in.get(c.basis_weight, owner + " basis weight (real)");
  in.get(c.coordination, owner + " coordination number (real)");
  in.get(c.weighting, owner + " weighting (real)");
  in.end();
  require_partial(in, c.partial, nbasis, owner);
  // Both divide the coordination penalty and the coordination number.
  require_nonzero(in, c.basis_weight, owner, "basis weight");
  require_nonzero(in, c.weighting, owner, "weighting");
  return c;
}

// The block of one data set. The block of a Q-dependent set has no
// coefficients record: those come per point from the data file.
void read_data_set_block(FreeReader& in, const RunParameters& p, DataSetSettings& set, int index, bool qdep) {
  const std::string owner = "Data set " + std::to_string(index);
  const std::string of_set = " of data set " + std::to_string(index);
  set.qdep = qdep;

  set.data_file = in.read_name("data file name" + of_set + " (text)");
  if (set.data_file.find_first_not_of(' ') == std::string::npos) reject(in, owner + ": data file name is blank");

  in.begin("data point range" + of_set);
  in.get(set.q_first, "first data point" + of_set + " (integer)");
  in.get(set.q_last, "last data point" + of_set + " (integer)");
  in.end();
  if (set.q_first < 1 || set.q_first > set.q_last)
    reject(in, owner + ": first and last data points must satisfy 1 <= first <= last, found " + text_of(set.q_first) +
                   " and " + text_of(set.q_last));

  read_one(in, set.fq_offset, "F(Q) offset" + of_set + " (real)");
  if (std::fabs(set.fq_offset) > max_data_value)
    reject(in, owner + ": F(Q) offset must be at most " + text_of(max_data_value) + " in size, found " +
                   text_of(set.fq_offset));

  if (!qdep) {
    in.begin("coefficients" + of_set);
    for (int b = 0; b < p.nbasis; ++b)
      in.get(set.coefficients[static_cast<std::size_t>(b)],
             "coefficient " + std::to_string(b + 1) + of_set + " (real)");
    in.end();
    for (int b = 0; b < p.nbasis; ++b) {
      const float c = set.coefficients[static_cast<std::size_t>(b)];
      if (std::fabs(c) > max_data_value)
        reject(in, owner + ": coefficient " + std::to_string(b + 1) + " must be at most " + text_of(max_data_value) +
                       " in size, found " + text_of(c));
    }
  }

  const std::string sigma_what = "standard deviation" + of_set + " (real)";
  in.begin(sigma_what);
  // An error of 0 is refused later by the fit with its own message.
  if (in.get(set.sigma, sigma_what) && in.last_is_nonzero() && inverse_square_overflows(set.sigma))
    in.refuse_last(sigma_what, "is so small that 1/error^2 overflows");
  in.end();
  if (std::fabs(set.sigma) > max_error)
    reject(in, owner + ": standard deviation must be at most " + text_of(max_error) + " in size, found " +
                   text_of(set.sigma));

  if (p.resolution_on) {
    in.begin("resolution" + of_set);
    in.get(set.wavelength, "wavelength" + of_set + " (real)");
    in.get(set.res_u, "resolution U" + of_set + " (real)");
    in.get(set.res_v, "resolution V" + of_set + " (real)");
    in.get(set.res_w, "resolution W" + of_set + " (real)");
    in.end();
  }
  if (p.save_targets) read_one(in, set.target_chi2, "target chi-squared" + of_set + " (real)");

  read_one(in, set.renormalise, "renormalise" + of_set + " (logical)");
  read_one(in, set.rezero, "rezero" + of_set + " (logical)");
  read_one(in, set.linear_correction, "linear correction" + of_set + " (logical)");
  read_one(in, set.quadratic_correction, "quadratic correction" + of_set + " (logical)");
  read_one(in, set.background_column, "background column" + of_set + " (logical)");
}

}  // namespace

RunParameters read_parameters(FreeReader& in) {
  RunParameters p;
  p.parameter_file = in.name();

  p.title = in.read_text("title (text)");
  read_one(in, p.start_from_file, "start from file (logical)");
  read_one(in, p.live_plot, "live plotting (logical)");
  if (p.live_plot) {
    read_one(in, p.plot_interval, "plot interval (integer)");
    require_at_least_1(in, p.plot_interval, "Plot interval");
  } else {
    p.plot_interval = 100;
  }
  read_one(in, p.density, "number density (real)");
  // Also when a slash or a null value leaves it at 0.
  if (!(p.density > 0.0f)) reject(in, "Number density must be positive, found " + text_of(p.density));
  if (p.density > max_density)
    reject(in, "Number density " + text_of(p.density) + " atoms per cubic Angstrom is more than " +
                   text_of(max_density) + ", denser than any matter (water holds 0.1)");
  read_one(in, p.qdep_coefficients, "Q-dependent coefficients (logical)");

  read_one(in, p.nbasis, "number of basis functions (integer)");
  if (p.nbasis > max_basis) {
    over_limit(in, "Too many partials", "nbasis is " + text_of(p.nbasis) + "; at most " + text_of(max_basis));
  }
  require_at_least_1(in, p.nbasis, "Number of basis functions");

  // A count of zero or less means that no constraint records follow.
  std::int32_t count = 0;
  read_one(in, count, "number of zero constraints (integer)");
  if (count > max_constraints) {
    over_limit(in, "Too many zero constraints",
               text_of(count) + " zero constraints; at most " + text_of(max_constraints));
  }
  for (int i = 1; i <= count; ++i) p.zero.push_back(read_range_constraint<ZeroConstraint>(in, p.nbasis, "Zero", i));

  read_one(in, p.max_change, "maximum change of a g(r) value (real)");
  // A walk whose steps are all zero never moves.
  if (p.max_change == 0.0f) reject(in, "Maximum change of a g(r) value must not be zero");
  if (p.max_change < 0.0f)
    reject(in, "Maximum change of a g(r) value must be positive, found " + text_of(p.max_change));
  if (p.max_change > max_max_change)
    reject(in, "Maximum change of a g(r) value must be at most " + text_of(max_max_change) +
                   " (g(r) is of order 1), found " + text_of(p.max_change));

  in.begin("Mr and rmax");
  in.get(p.Mr, "r-grid factor Mr (integer)");
  in.get(p.rmax, "largest r, rmax (real)");
  in.end();
  // QUIRK: "to large" is the program's own wording of this message.
  if (p.Mr > max_mr) {
    over_limit(in, "Mr to large, should be less than max_mr",
               "Mr is " + text_of(p.Mr) + "; at most " + text_of(max_mr));
  }
  require_at_least_1(in, p.Mr, "Mr");

  read_one(in, p.save_targets, "save at target chi-squared (logical)");
  if (p.save_targets) {
    read_one(in, p.nsave, "number of g(r) sets to save (integer)");
    require_at_least_1(in, p.nsave, "Number of g(r) sets to save");
  }
  read_one(in, p.improved_only, "only allow improved data sets (logical)");

  count = 0;
  read_one(in, count, "number of positivity constraints (integer)");
  if (count > max_constraints) {
    over_limit(in, "Too many positivity constraints",
               text_of(count) + " positivity constraints; at most " + text_of(max_constraints));
  }
  for (int i = 1; i <= count; ++i)
    p.positivity.push_back(read_range_constraint<PositivityConstraint>(in, p.nbasis, "Positivity", i));

  count = 0;
  read_one(in, count, "number of coordination constraints (integer)");
  if (count > max_constraints) {
    over_limit(in, "Too many coordination constraints",
               text_of(count) + " coordination constraints; at most " + text_of(max_constraints));
  }
  for (int i = 1; i <= count; ++i) p.coordination.push_back(read_coordination(in, p.nbasis, i));

  read_one(in, p.smoothing_on, "smoothing on (logical)");
  if (p.smoothing_on) {
    read_one(in, p.smoothing_type, "smoothing type (integer)");
    if (p.smoothing_type == 1 || p.smoothing_type == 2) {
      in.begin("smoothing settings");
      in.get(p.smoothing_weight, "smoothing weight (real)");
      in.get(p.smoothing_exponent, "smoothing exponent (real)");
      in.get(p.smoothing_cutoff, "smoothing cutoff (real)");
      in.end();
    } else if (p.smoothing_type == 3) {
      read_one(in, p.nranges, "number of r ranges for Gaussian moves (integer)");
      if (p.nranges > max_ranges) {
        over_limit(in, "Too many r ranges for Gaussian.",
                   text_of(p.nranges) + " r ranges; at most " + text_of(max_ranges));
      }
      // Every Gaussian move needs a range that holds its centre.
      require_at_least_1(in, p.nranges, "Number of r ranges for Gaussian moves");
      for (int i = 1; i <= p.nranges; ++i) {
        GaussianRange& range = p.ranges[static_cast<std::size_t>(i - 1)];
        const std::string of_range = " of Gaussian range " + std::to_string(i);
        in.begin("Gaussian range " + std::to_string(i));
        in.get(range.width, "width" + of_range + " (real)");
        in.get(range.rch, "upper r" + of_range + " (real)");
        in.end();
      }
    }
  } else {
    p.smoothing_weight = 0.0f;
    p.smoothing_exponent = 1.0f;
  }
  p.gaussian_moves = p.smoothing_on && p.smoothing_type == 3;

  read_one(in, p.resolution_on, "resolution on (logical)");
  read_one(in, p.report_interval, "report interval (integer)");
  require_at_least_1(in, p.report_interval, "Report interval");

  in.begin("run time and save interval");
  in.get(p.run_time, "run time in minutes (real)");
  in.get(p.save_interval, "save interval in minutes (real)");
  in.end();

  in.begin("numbers of data sets");
  in.get(p.nsets_fixed, "number of data sets with fixed coefficients (integer)");
  in.get(p.nsets_qdep, "number of data sets with Q-dependent coefficients (integer)");
  in.end();
  // Summed wide: two huge counts must not overflow into a small total.
  const std::int64_t nsets = static_cast<std::int64_t>(p.nsets_fixed) + p.nsets_qdep;
  const std::string counts =
      text_of(p.nsets_fixed) + " + " + text_of(p.nsets_qdep) + " = " + std::to_string(nsets) + " data sets";
  if (nsets < p.nbasis) {
    over_limit(in, "Not enough data sets",
               counts + " for " + text_of(p.nbasis) + " basis functions; every basis function needs a data set");
  }
  if (nsets > max_sets) over_limit(in, "Too many total F(Q)s", counts + "; at most " + text_of(max_sets));
  if (p.nsets_fixed < 0)
    reject(in, "Number of data sets with fixed coefficients must not be negative, found " + text_of(p.nsets_fixed));
  if (p.nsets_qdep < 0)
    reject(in,
           "Number of data sets with Q-dependent coefficients must not be negative, found " + text_of(p.nsets_qdep));
  p.nsets = static_cast<std::int32_t>(nsets);

  for (int s = 1; s <= p.nsets_fixed; ++s)
    read_data_set_block(in, p, p.sets[static_cast<std::size_t>(s - 1)], s, false);
  for (int s = p.nsets_fixed + 1; s <= p.nsets; ++s) {
    // Checked before anything of the first Q-dependent block is read.
    if (!p.qdep_coefficients) {
      throw Stop({"Incompatible" + std::string(33, ' ') + "coefficients and totals",
                  "Record 23 gives " + text_of(p.nsets_qdep) +
                      " data set(s) with Q-dependent coefficients, which need qdep_coefficients T (file \"" +
                      in.name() + "\", line " + std::to_string(in.line_number()) + ")"},
                 1);
    }
    read_data_set_block(in, p, p.sets[static_cast<std::size_t>(s - 1)], s, true);
  }

  p.root = in.read_name("output root name (text)");
  const std::size_t last = p.root.find_last_not_of(' ');
  if (last == std::string::npos) reject(in, "Output root name is blank");
  p.root_length = static_cast<std::int32_t>(last + 1);
  return p;
}

bool inverse_square_overflows(float error) { return !std::isfinite(1.0f / (error * error)); }

std::string root_file(const RunParameters& params, const char* extension) {
  return params.root.substr(0, static_cast<std::size_t>(params.root_length)) + extension;
}

}  // namespace yosta
