// The run report: the echo of the whole set-up on the console, written once
// before the fit starts. Each block is one layout template as it stands, so a
// line can be checked by eye against its template.
#include "output/report.h"

#include <cstdint>
#include <string>
#include <vector>

#include "text/free_writer.h"
#include "text/layout.h"

namespace yosta {
namespace {

using text::layout;

// The version text of the report, an A field of exactly 20 characters.
// QUIRK: the report has always said "Windows" whatever the platform; stored
// transcripts compare against it.
std::string version_text() {
  std::string version = "3.0 Windows";
  version.resize(20, ' ');
  return version;
}

std::int32_t count(std::size_t n) { return static_cast<std::int32_t>(n); }

void write_heading(const Run& run, Console& console) {
  const RunParameters& p = run.params;
  console.write(
      layout("(/,' YOSTA version ',A,/,' ====',/,/,1X,I2,' basis functions fitting to',/,1X,I2,"
             "' total F(Q)''s',/,/,' Cut offs in basis functions are at:')",
             {version_text(), p.nbasis, p.nsets}));
}

// QUIRK: the zero-constraint and positivity lines start in the first column
// ("Partial") while the coordination line starts with a blank, and the two
// print their ranges in different widths (F6.2, F8.2); the report has always
// looked this way and users compare reports across runs.
void write_zero_constraints(const Run& run, Console& console) {
  const auto& zero = run.params.zero;
  console.write(layout("(/,/,' There are ',I2,' zero constraints ')", {count(zero.size())}));
  for (const ZeroConstraint& c : zero) {
    console.write(layout("('Partial ',I2,' is zero between ',F6.2,' and ',F6.2)", {c.partial, c.r_from, c.r_to}));
  }
}

// One "Total" line per data set: the coefficients at the first Q point as
// they stand after set-up (the floor-value rewrite of set 1 included).
void write_coefficients(const Run& run, Console& console) {
  const RunParameters& p = run.params;
  console.write(layout("(/,/,' Coefficients of basis functions at minimum Q are:')"));
  for (int s = 1; s <= p.nsets; ++s) {
    const DataSet& set = run.model.sets[s];
    std::vector<text::Value> values;
    values.emplace_back(static_cast<std::int32_t>(s));
    for (int b = 1; b <= p.nbasis; ++b) {
      values.emplace_back(set.coef[b][1]);
    }
    console.write(layout("('     Total ',I2,2X,100(5X,F7.4))", values));
  }
}

void write_data_set(const Run& run, int s, Console& console) {
  const DataSet& set = run.model.sets[s];
  const DataSetSettings& d = set.settings;
  const std::int32_t n = d.q_last - d.q_first + 1;
  const float q_from = run.model.q.Q[d.q_first];
  const float q_to = run.model.q.Q[d.q_last];
  // sigma as stored: a Q-dependent set keeps the sign it was given, so a
  // negative one prints (F7.5 then drops the leading zero: "-.00500").
  console.write(
      layout("(/,' Experimental data set ',I2,' is given at ',I4,' Q points from ',F5.2,' to ',F5.2,/,"
             "' Standard deviation           is ',F7.5)",
             {static_cast<std::int32_t>(s), n, q_from, q_to, d.sigma}));
  if (run.params.resolution_on) {
    console.write(layout("(' Resolution parameters (u,v,w) are ',3(F6.2,2X))", {d.res_u, d.res_v, d.res_w}));
  } else {
    console.write(layout("(' Not convoluting with experimental resolution function')"));
  }
  if (d.renormalise) console.write(layout("(' Renormalising experimental data')"));
  if (d.rezero) console.write(layout("(' Rezeroing experimental data')"));
  if (d.linear_correction) console.write(layout("(' Linear correction to the expt. data')"));
  if (d.quadratic_correction) {
    console.write(layout("(' Quadratic correction to the expt. data')"));
  }
}

void write_grid(const Run& run, Console& console) {
  const float rlast = static_cast<float>(run.model.r.nr) * run.model.r.dr;
  console.write(
      layout("(/,' Using ',I5,' r points spaced at ',F5.3,'A up to ',F8.3,'A',/,"
             "' Maximum change in rg(r) is ',F6.4,/)",
             {run.model.r.nr, run.model.r.dr, rlast, run.params.max_change}));
  if (run.params.improved_only) console.write(layout("(' Only allowing improved data sets',/)"));
}

void write_positivity_and_coordination(const Run& run, Console& console) {
  const RunParameters& p = run.params;
  console.write(layout("(/,' There are ',I2,' positivity constraints ')", {count(p.positivity.size())}));
  for (const PositivityConstraint& c : p.positivity) {
    console.write(layout("('Partial ',I2,' is positive between ',F8.2,' and ',F8.2)", {c.partial, c.r_from, c.r_to}));
  }
  console.write(layout("(/,' There are ',I2,' coordination constraints ')", {count(p.coordination.size())}));
  for (std::size_t i = 0; i < p.coordination.size(); ++i) {
    const CoordinationConstraint& c = p.coordination[i];
    console.write(
        layout("(' Partial ',I2,' is constrained to have a coordination of ',1X,F6.2,' between ',"
               "F6.2,' and ',F6.2,' A with weighting ',F9.5)",
               {c.partial, c.coordination, c.r_from, c.r_to, c.weighting}));
    console.write(layout("(' Starting coordination is ',F6.2)", {run.model.Nc[i + 1]}));
  }
}

void write_targets_and_smoothing(const Run& run, Console& console) {
  const RunParameters& p = run.params;
  if (p.save_targets) {
    // The template offers ten target fields; with at most four data sets the
    // line ends after the last target and its closing slash is never reached.
    std::vector<text::Value> values;
    values.emplace_back(p.nsave);
    for (int s = 1; s <= p.nsets; ++s) {
      values.emplace_back(run.model.sets[s].settings.target_chi2);
    }
    console.write(layout("(' Saving ',I5,' g(r)s with target chi**2 ',10F5.1,/)", values));
  }
  if (p.smoothing_on && (p.smoothing_type == 1 || p.smoothing_type == 2)) {
    console.write(layout("(/,' Smoothing weight ',F10.2,', exponent ',F6.2,'A and cut-off ',F6.2,/)",
                         {p.smoothing_weight, p.smoothing_exponent, p.smoothing_cutoff}));
  }
}

// The Gaussian-move table, free format: one pair of records per r range.
void write_gaussian_moves(const Run& run, Console& console) {
  const RunParameters& p = run.params;
  if (!p.gaussian_moves) return;
  console.write(text::free_record({}));
  console.write(text::free_record({std::string(" Applying Gaussian moves.... ")}));
  console.write(text::free_record({}));
  for (int i = 1; i <= p.nranges; ++i) {
    const auto k = static_cast<std::size_t>(i);
    console.write(text::free_record(
        {std::string(" Up to "), p.ranges[k - 1].rch, std::string("A, sigma is : "), run.model.gauss.sigma[k]}));
    console.write(text::free_record(
        {std::string("   (with "), 2 * run.model.gauss.ngauss[k] + 1, std::string(" points in a Gaussian)")}));
  }
  console.write(text::free_record({}));
  console.write(text::free_record({}));
}

}  // namespace

void write_report(const Run& run, Console& console) {
  write_heading(run, console);
  write_zero_constraints(run, console);
  write_coefficients(run, console);
  console.write(layout("(/,/,' Number density is ',F6.4,' atoms per cubic Angstrom',/,/)", {run.params.density}));
  for (int s = 1; s <= run.params.nsets; ++s) write_data_set(run, s, console);
  write_grid(run, console);
  write_positivity_and_coordination(run, console);
  write_targets_and_smoothing(run, console);
  write_gaussian_moves(run, console);
  // The heading of the progress rows written during the fit.
  console.write(layout("(/,'  beta         a0        a1        a2     Chi-squared')"));
}

}  // namespace yosta
