// The fit and the ensemble's resampling read a data file alike: a record
// that runs onto further lines, repeats (n*) and commas give the same values
// to both, and the resampled file, one point to a line, reads back in the
// fit as the file it came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fit/run.h"
#include "model/datasets.h"
#include "support/test_support.h"
#include "tools/ensemble.h"

namespace yosta {
namespace {

using testing::TempDir;
using testing::write_file;

std::size_t u(int i) { return static_cast<std::size_t>(i); }

struct Layout {
  const char* name;
  bool qdep, background;
  float sigma;
  int nbasis;
  std::vector<std::string> rows;  // the point records, as lines
  std::vector<float> Q, F;        // the values they hold
};

// The arrays one read of one data file gives.
struct Read {
  std::vector<float> Q, F, err, background;
  std::vector<std::vector<float>> coef;
};

Read read_with_the_fit(const std::string& file, const Layout& c) {
  auto run = make_run();
  RunParameters& p = run->params;
  p.nbasis = c.nbasis;
  p.nsets_fixed = c.qdep ? 0 : 1;
  p.nsets_qdep = c.qdep ? 1 : 0;
  p.nsets = 1;
  DataSetSettings& s = p.sets[0];
  s.qdep = c.qdep;
  s.background_column = c.background;
  s.sigma = c.sigma;
  s.data_file = file;
  s.q_first = 1;
  s.q_last = 2000;
  for (int b = 0; b < c.nbasis; ++b) s.coefficients[u(b)] = 0.5f;
  read_data_sets(p, run->model);
  Read r;
  const DataSet& set = run->model.sets[1];
  for (int k = 1; k <= run->model.q.nq; ++k) {
    r.Q.push_back(run->model.q.Q[k]);
    r.F.push_back(set.F[k]);
    r.err.push_back(set.err[k]);
    r.background.push_back(set.background[k]);
    std::vector<float> coefficients;
    for (int b = 1; b <= c.nbasis; ++b) coefficients.push_back(set.coef[b][k]);
    r.coef.push_back(coefficients);
  }
  return r;
}

TEST(DataFileReaders, FitAndResamplingReadEveryLayoutAlike) {
  const Layout cases[] = {
      {"Q and F over two lines, a repeat",
       false,
       false,
       0.1f,
       1,
       {"0.5", "1.25", "1.0, 2*2.5", "1.5 3.0 9"},
       {0.5f, 1.0f, 1.5f},
       {1.25f, 2.5f, 3.0f}},
      {"error column, tabs and commas",
       false,
       false,
       -1.0f,
       2,
       {"0.5\t1.0,\t0.125", "1.0 2.0", " 0.25", "1.5,3.0,0.5"},
       {0.5f, 1.0f, 1.5f},
       {1.0f, 2.0f, 3.0f}},
      {"background column over three lines",
       false,
       true,
       -0.5f,
       1,
       {"0.5", "1.0", "7", "1.0 2.0 8", "1.5 3*3.0"},
       {0.5f, 1.0f, 1.5f},
       {1.0f, 2.0f, 3.0f}},
      {"per-point coefficients and background",
       true,
       true,
       0.25f,
       3,
       {"0.5 1.0", " 0.1 0.2", "0.3, 4.0", "1.0 2.0 3*0.5 5.0", "1.5 3.0 0.7 0.8 0.9 6.0"},
       {0.5f, 1.0f, 1.5f},
       {1.0f, 2.0f, 3.0f}},
  };
  for (const Layout& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string text = "3 points\nQ F(Q) heading\n";
    for (const std::string& row : c.rows) text += row + "\n";
    write_file(dir.file("measured.dat"), text);
    const Read original = read_with_the_fit(dir.file("measured"), c);
    ASSERT_EQ(original.Q, c.Q);
    EXPECT_EQ(original.F, c.F);

    // No point fitted: the resampling writes the values it read, unchanged.
    DataSetSettings settings;
    settings.qdep = c.qdep;
    settings.background_column = c.background;
    settings.sigma = c.sigma;
    settings.q_first = 1;
    settings.q_last = 0;
    std::int32_t seed = 5;
    const std::string resampled = tools::resampled_data("measured.dat", text, settings, c.nbasis, seed);
    EXPECT_EQ(resampled.substr(0, 24), "3 points\nQ F(Q) heading\n");
    EXPECT_EQ(std::count(resampled.begin(), resampled.end(), '\n'), 5) << "one line per point:\n" << resampled;
    write_file(dir.file("resampled.dat"), resampled);
    const Read again = read_with_the_fit(dir.file("resampled"), c);
    EXPECT_EQ(again.Q, original.Q);
    EXPECT_EQ(again.F, original.F);
    EXPECT_EQ(again.err, original.err);
    EXPECT_EQ(again.background, original.background);
    EXPECT_EQ(again.coef, original.coef);
  }
}

}  // namespace
}  // namespace yosta
