#include "input/parameter_text.h"

#include <cstdint>
#include <string_view>

#include "text/free_writer.h"

namespace yosta {
namespace {

std::string logical(bool b) { return b ? "T" : "F"; }
std::string real(float x) { return text::real_text(x); }
std::string integer(std::int32_t i) { return std::to_string(i); }

// Values, then the label after a few blanks (a free-format read ignores the
// rest of the line after the values it takes).
void record(std::string& out, const std::string& values, std::string_view label) {
  out += values;
  if (!label.empty()) {
    out += std::string(values.size() < 24 ? 24 - values.size() : 2, ' ');
    out += label;
  }
  out += '\n';
}

// A title record is read as the whole line, blank-padded: no label after it.
std::string trimmed_right(const std::string& s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// The block's kind follows from its place: the sets after nsets_fixed are
// Q-dependent.
void data_set_block(std::string& out, const RunParameters& p, const DataSetSettings& set, bool qdep) {
  out += set.data_file + '\n';
  record(out, integer(set.q_first) + " " + integer(set.q_last), "q_first, q_last");
  record(out, real(set.fq_offset), "fq_offset");
  if (!qdep) {
    std::string values;
    for (int b = 0; b < p.nbasis; ++b) {
      if (b > 0) values += ' ';
      values += real(set.coefficients[static_cast<std::size_t>(b)]);
    }
    record(out, values, "coefficients");
  }
  record(out, real(set.sigma), "sigma");
  if (p.resolution_on)
    record(out, real(set.wavelength) + " " + real(set.res_u) + " " + real(set.res_v) + " " + real(set.res_w),
           "wavelength, U, V, W");
  if (p.save_targets) record(out, real(set.target_chi2), "target chi-squared");
  record(out, logical(set.renormalise), "renormalise");
  record(out, logical(set.rezero), "rezero");
  record(out, logical(set.linear_correction), "linear_correction");
  record(out, logical(set.quadratic_correction), "quadratic_correction");
  record(out, logical(set.background_column), "background_column");
}

template <class Range>
void range_constraints(std::string& out, const std::vector<Range>& list, std::string_view label) {
  record(out, integer(static_cast<std::int32_t>(list.size())), label);
  for (const Range& c : list) record(out, integer(c.partial) + " " + real(c.r_from) + " " + real(c.r_to), "");
}

}  // namespace

std::string parameter_file_text(const RunParameters& p) {
  std::string out;
  out += trimmed_right(p.title) + '\n';
  record(out, logical(p.start_from_file), "start_from_file");
  record(out, logical(p.live_plot), "live_plot");
  if (p.live_plot) record(out, integer(p.plot_interval), "plot_interval");
  record(out, real(p.density), "density");
  record(out, logical(p.qdep_coefficients), "qdep_coefficients");
  record(out, integer(p.nbasis), "nbasis");
  range_constraints(out, p.zero, "number of zero constraints");
  record(out, real(p.max_change), "max_change");
  record(out, integer(p.Mr) + " " + real(p.rmax), "Mr, rmax");
  record(out, logical(p.save_targets), "save_targets");
  if (p.save_targets) record(out, integer(p.nsave), "nsave");
  record(out, logical(p.improved_only), "improved_only");
  range_constraints(out, p.positivity, "number of positivity constraints");
  record(out, integer(static_cast<std::int32_t>(p.coordination.size())), "number of coordination constraints");
  for (const CoordinationConstraint& c : p.coordination)
    record(out,
           integer(c.partial) + " " + real(c.r_from) + " " + real(c.r_to) + " " + real(c.concentration) + " " +
               real(c.basis_weight) + " " + real(c.coordination) + " " + real(c.weighting),
           "");
  record(out, logical(p.smoothing_on), "smoothing_on");
  if (p.smoothing_on) {
    record(out, integer(p.smoothing_type), "smoothing_type");
    if (p.smoothing_type == 1 || p.smoothing_type == 2) {
      record(out, real(p.smoothing_weight) + " " + real(p.smoothing_exponent) + " " + real(p.smoothing_cutoff),
             "smoothing weight, exponent, cut-off");
    } else if (p.smoothing_type == 3) {
      record(out, integer(p.nranges), "number of r ranges for Gaussian moves");
      for (int i = 0; i < p.nranges && i < max_ranges; ++i) {
        const GaussianRange& range = p.ranges[static_cast<std::size_t>(i)];
        record(out, real(range.width) + " " + real(range.rch), "");
      }
    }
  }
  record(out, logical(p.resolution_on), "resolution_on");
  record(out, integer(p.report_interval), "report_interval");
  record(out, real(p.run_time) + " " + real(p.save_interval), "run_time, save_interval (minutes)");
  record(out, integer(p.nsets_fixed) + " " + integer(p.nsets_qdep), "nsets_fixed, nsets_qdep");
  const int nsets = p.nsets_fixed + p.nsets_qdep;
  for (int s = 0; s < nsets && s < max_sets; ++s)
    data_set_block(out, p, p.sets[static_cast<std::size_t>(s)], s >= p.nsets_fixed);
  out += p.root.substr(0, static_cast<std::size_t>(p.root_length)) + '\n';
  return out;
}

}  // namespace yosta
