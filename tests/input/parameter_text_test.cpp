// The parameter file written back from RunParameters reads as the same
// parameters, for every kind of record the file can hold.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/stop.h"
#include "input/parameter_text.h"
#include "input/parameters.h"
#include "text/free_reader.h"

namespace yosta {
namespace {

RunParameters read_text(const std::string& name, const std::string& text) {
  std::istringstream in(text);
  text::FreeReader reader(name, in);
  return read_parameters(reader);
}

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every field the file holds, compared one by one (a writer that drops or
// misplaces a value shows here even when its output reads back without error).
void expect_same(const RunParameters& a, const RunParameters& b) {
  EXPECT_EQ(a.title, b.title);
  EXPECT_EQ(a.start_from_file, b.start_from_file);
  EXPECT_EQ(a.live_plot, b.live_plot);
  EXPECT_EQ(a.plot_interval, b.plot_interval);
  EXPECT_EQ(a.density, b.density);
  EXPECT_EQ(a.qdep_coefficients, b.qdep_coefficients);
  EXPECT_EQ(a.nbasis, b.nbasis);
  ASSERT_EQ(a.zero.size(), b.zero.size());
  for (std::size_t i = 0; i < a.zero.size(); ++i) {
    EXPECT_EQ(a.zero[i].partial, b.zero[i].partial);
    EXPECT_EQ(a.zero[i].r_from, b.zero[i].r_from);
    EXPECT_EQ(a.zero[i].r_to, b.zero[i].r_to);
  }
  EXPECT_EQ(a.max_change, b.max_change);
  EXPECT_EQ(a.Mr, b.Mr);
  EXPECT_EQ(a.rmax, b.rmax);
  EXPECT_EQ(a.save_targets, b.save_targets);
  EXPECT_EQ(a.nsave, b.nsave);
  EXPECT_EQ(a.improved_only, b.improved_only);
  ASSERT_EQ(a.positivity.size(), b.positivity.size());
  for (std::size_t i = 0; i < a.positivity.size(); ++i) {
    EXPECT_EQ(a.positivity[i].partial, b.positivity[i].partial);
    EXPECT_EQ(a.positivity[i].r_from, b.positivity[i].r_from);
    EXPECT_EQ(a.positivity[i].r_to, b.positivity[i].r_to);
  }
  ASSERT_EQ(a.coordination.size(), b.coordination.size());
  for (std::size_t i = 0; i < a.coordination.size(); ++i) {
    const CoordinationConstraint &x = a.coordination[i], &y = b.coordination[i];
    EXPECT_EQ(x.partial, y.partial);
    EXPECT_EQ(x.r_from, y.r_from);
    EXPECT_EQ(x.r_to, y.r_to);
    EXPECT_EQ(x.concentration, y.concentration);
    EXPECT_EQ(x.basis_weight, y.basis_weight);
    EXPECT_EQ(x.coordination, y.coordination);
    EXPECT_EQ(x.weighting, y.weighting);
  }
  EXPECT_EQ(a.smoothing_on, b.smoothing_on);
  EXPECT_EQ(a.smoothing_type, b.smoothing_type);
  EXPECT_EQ(a.smoothing_weight, b.smoothing_weight);
  EXPECT_EQ(a.smoothing_exponent, b.smoothing_exponent);
  EXPECT_EQ(a.smoothing_cutoff, b.smoothing_cutoff);
  EXPECT_EQ(a.nranges, b.nranges);
  for (int i = 0; i < a.nranges; ++i) {
    EXPECT_EQ(a.ranges[static_cast<std::size_t>(i)].width, b.ranges[static_cast<std::size_t>(i)].width);
    EXPECT_EQ(a.ranges[static_cast<std::size_t>(i)].rch, b.ranges[static_cast<std::size_t>(i)].rch);
  }
  EXPECT_EQ(a.resolution_on, b.resolution_on);
  EXPECT_EQ(a.report_interval, b.report_interval);
  EXPECT_EQ(a.run_time, b.run_time);
  EXPECT_EQ(a.save_interval, b.save_interval);
  EXPECT_EQ(a.nsets_fixed, b.nsets_fixed);
  EXPECT_EQ(a.nsets_qdep, b.nsets_qdep);
  for (int s = 0; s < a.nsets; ++s) {
    const DataSetSettings &x = a.sets[static_cast<std::size_t>(s)], &y = b.sets[static_cast<std::size_t>(s)];
    SCOPED_TRACE("data set " + std::to_string(s + 1));
    EXPECT_EQ(x.qdep, y.qdep);
    EXPECT_EQ(x.data_file, y.data_file);
    EXPECT_EQ(x.q_first, y.q_first);
    EXPECT_EQ(x.q_last, y.q_last);
    EXPECT_EQ(x.fq_offset, y.fq_offset);
    EXPECT_EQ(x.coefficients, y.coefficients);
    EXPECT_EQ(x.sigma, y.sigma);
    EXPECT_EQ(x.wavelength, y.wavelength);
    EXPECT_EQ(x.res_u, y.res_u);
    EXPECT_EQ(x.res_v, y.res_v);
    EXPECT_EQ(x.res_w, y.res_w);
    EXPECT_EQ(x.target_chi2, y.target_chi2);
    EXPECT_EQ(x.renormalise, y.renormalise);
    EXPECT_EQ(x.rezero, y.rezero);
    EXPECT_EQ(x.linear_correction, y.linear_correction);
    EXPECT_EQ(x.quadratic_correction, y.quadratic_correction);
    EXPECT_EQ(x.background_column, y.background_column);
  }
  EXPECT_EQ(a.root, b.root);
  EXPECT_EQ(a.root_length, b.root_length);
}

// Parameter files with every optional record: live plotting, target saving,
// coordination constraints, Gaussian moves, resolution, fixed and
// Q-dependent sets together, values that need all nine digits.
const char* const kVariants[] = {
    // Live plot, target saving, coordination, curvature smoothing, one fixed set.
    "Argon with every option\nT\nT\n250\n0.0212500006\nF\n1\n1\n1 0.0 3.1\n0.01\n4 20.0\nT\n5\nT\n1\n1 0 20\n"
    "1\n1 3.0 4.5 1.0 1.0 12.0 0.5\nT\n1\n1.5 0.1234567 0.7\nF\n100\n60.0 10.0\n1 0\nargon.dat\n2 400\n0.1\n"
    "1.0\n0.01\n0.35\nT\nF\nT\nF\nT\nargon_out\n",
    // Gaussian moves, resolution, mixed fixed and Q-dependent sets, a blank title.
    "\nF\nF\n0.1\nT\n2\n0\n0.05\n2 10.0\nF\nF\n0\n0\nT\n3\n3\n0.46 3.0\n0.5 7.5\n0.7 10.0\nT\n1000\n"
    "1e-2 1e-3\n1 1\nfixed one.dat\n1 300\n0.0\n0.25 0.75\n0.003\n0.7 0.2 0.0 0.3\nF\nT\nT\nT\nF\n"
    "  qdep.dat\n5 200\n-0.01\n0.002\n1.0 0.1 0.1 0.1\nF\nF\nF\nF\nF\nsub/dir root\n",
    // Smoothing of another type (no further records), four sets.
    "Four sets\nF\nF\n0.05\nF\n1\n0\n0.1\n1 12\nF\nF\n0\n0\nT\n7\nF\n1\n1 1\n4 0\na\n1 2\n0\n1\n0.01\nF\nF\nF\nF\nF\n"
    "b\n1 2\n0\n2\n0.02\nF\nF\nF\nF\nF\nc\n1 2\n0\n3\n0.03\nF\nF\nF\nF\nF\nd\n1 2\n0\n4\n0.04\nF\nF\nF\nF\nF\nr\n",
};

TEST(ParameterText, WrittenFileReadsAsTheSameParameters) {
  std::vector<std::pair<std::string, std::string>> cases;
  for (const char* name : {"examples/binary.dat", "examples/binary_fixed.dat", "examples/water/water_3sets.dat",
                           "examples/water/water_4sets.dat", "examples/benzene/benzene_3sets.dat"}) {
    const std::string text = file_text(std::string(YOSTA_SOURCE_DIR) + "/" + name);
    ASSERT_FALSE(text.empty()) << name;
    cases.emplace_back(name, text);
  }
  for (const char* text : kVariants) cases.emplace_back("variant", text);
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    const RunParameters first = read_text(name, text);
    const std::string written = parameter_file_text(first);
    RunParameters again;
    try {
      again = read_text("written", written);
    } catch (const Stop& stop) {
      FAIL() << stop.lines.front() << "\n" << written;
    }
    expect_same(first, again);
    EXPECT_EQ(parameter_file_text(again), written);
  }
}

// A changed value reads back changed, and a value the file refuses is
// refused with the file's own message when the text is read.
TEST(ParameterText, EditedValuesAndRefusedValues) {
  RunParameters p = read_text("a", kVariants[0]);
  p.sets[0].sigma = 0.005f;
  p.rmax = 10.0f;
  p.sets[0].data_file = "other name.dat";
  const RunParameters q = read_text("edited", parameter_file_text(p));
  EXPECT_EQ(q.sets[0].sigma, 0.005f);
  EXPECT_EQ(q.rmax, 10.0f);
  EXPECT_EQ(q.sets[0].data_file.substr(0, 14), "other name.dat");

  p.density = -1.0f;
  try {
    read_text("edited", parameter_file_text(p));
    FAIL() << "a negative density was read";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.lines.front(), "Number density must be positive, found -1 (file \"edited\", line 5)");
  }
}

}  // namespace
}  // namespace yosta
