// The parameter file: every setting of a run, read once in its fixed record
// order into RunParameters and never changed afterwards. Set-up keeps what it
// derives in the model: each data set's settings as adjusted (q_last lowered
// to the number of points, sigma's absolute value) and the Gaussian widths as
// standard deviations.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "input/capacities.h"
#include "text/free_reader.h"

namespace yosta {

struct ZeroConstraint {
  std::int32_t partial = 0;    // basis function 1..nbasis
  float r_from = 0, r_to = 0;  // Angstrom
};

struct PositivityConstraint {
  std::int32_t partial = 0;
  float r_from = 0, r_to = 0;  // Angstrom
};

struct CoordinationConstraint {
  std::int32_t partial = 0;
  float r_from = 0, r_to = 0;  // Angstrom
  float concentration = 0;
  float basis_weight = 1;
  float coordination = 0;  // the target
  float weighting = 1;
};

struct GaussianRange {
  float width = 0;  // FWHM in Angstrom, as read (the model keeps the standard deviation)
  float rch = 0;    // upper r limit of the range, Angstrom
};

// The settings of one data set from its block of the parameter file.
struct DataSetSettings {
  bool qdep = false;                     // block B: coefficients come from the data file
  std::string data_file;                 // the whole name, blank-padded to 80 characters
  std::int32_t q_first = 1, q_last = 1;  // fitted point range, 1-based
  float fq_offset = 0;
  std::array<float, max_basis> coefficients{};  // block A only
  float sigma = 0;
  float wavelength = 0, res_u = 0, res_v = 0, res_w = 0;  // only with resolution_on
  float target_chi2 = 0;                                  // only with save_targets
  bool renormalise = false, rezero = false, linear_correction = false, quadratic_correction = false,
       background_column = false;
};

struct RunParameters {
  std::string title;  // 80 characters, blank-padded
  bool start_from_file = false;
  bool live_plot = false;
  std::int32_t plot_interval = 100;
  float density = 0;  // atoms per cubic Angstrom
  bool qdep_coefficients = false;
  std::int32_t nbasis = 0;
  std::vector<ZeroConstraint> zero;
  float max_change = 0;
  std::int32_t Mr = 0;
  float rmax = 0;  // Angstrom
  bool save_targets = false;
  std::int32_t nsave = 0;
  bool improved_only = false;
  std::vector<PositivityConstraint> positivity;
  std::vector<CoordinationConstraint> coordination;
  bool smoothing_on = false;
  std::int32_t smoothing_type = 0;
  float smoothing_weight = 0.0f;
  float smoothing_exponent = 1.0f;  // a length L in Angstrom
  float smoothing_cutoff = 0.0f;    // Angstrom
  bool gaussian_moves = false;      // smoothing_on and smoothing_type == 3
  std::int32_t nranges = 0;
  std::array<GaussianRange, max_ranges> ranges{};
  bool resolution_on = false;
  std::int32_t report_interval = 1;
  float run_time = 0, save_interval = 0;  // minutes
  std::int32_t nsets_fixed = 0, nsets_qdep = 0, nsets = 0;
  std::array<DataSetSettings, max_sets> sets{};
  std::string root;              // the whole name, blank-padded to 80 characters
  std::int32_t root_length = 0;  // without trailing blanks
  std::string parameter_file;    // the file these were read from, for messages
};

// True when 1/error^2 of this error is beyond the single-precision range,
// also when the error reads as zero.
bool inverse_square_overflows(float error);

// Reads every record in order and applies the file's checks; a failed check
// throws Stop with its message and no later record is read.
RunParameters read_parameters(text::FreeReader& in);

// root(1..root_length) + extension: result and start files always get their
// extension, also when the root holds a point.
std::string root_file(const RunParameters& params, const char* extension);

}  // namespace yosta
