// yosta-tools weights: neutron tables, contrasts, refusals, x-ray normalisations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// The weight tables of the measured-data notes (Sears 1992 lengths); the
// embedded table is newer and differs in the fourth digit.
struct WeightCase {
  const char* composition;
  const char* isotopes;  // one contrast
  double w[4];           // three pair weights and their sum
};

const WeightCase weight_cases[] = {
    {"O:1 H:2", "", {0.037416, -0.096433, 0.062134, 0.003117}},
    {"O:1 H:2", "--isotope H:D=1", {0.037416, 0.172053, 0.197788, 0.407257}},
    {"O:1 H:2", "--isotope H:D=0.5,H=0.5", {0.037416, 0.037810, 0.009552, 0.084778}},
    {"C:6 H:6", "", {0.110423, -0.124247, 0.034950, 0.021127}},
    {"C:1 D:1", "", {0.110423, 0.221677, 0.111256, 0.443356}},
    {"C:0.5 H:0.5", "--isotope \"H:2H=0.5,H=0.5\"", {0.110423, 0.048715, 0.005373, 0.164511}},
};

TEST(WeightsNeutron, ReproducesTheWaterAndBenzeneTablesWithinThreePerMille) {
  TempDir dir;
  for (const WeightCase& c : weight_cases) {
    const CommandResult r =
        run_tools(dir, std::string("weights neutron --paste --composition \"") + c.composition + "\" " + c.isotopes);
    ASSERT_EQ(r.status, 0) << c.composition << " " << c.isotopes << "\n" << r.output;
    const std::vector<double> w = numbers(r.output);
    ASSERT_EQ(w.size(), 3u) << r.output;
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(w[k], c.w[k], 0.003 * std::fabs(c.w[k])) << c.composition << " " << c.isotopes << " pair " << k;
      sum += w[k];
    }
    EXPECT_NEAR(sum, c.w[3], 0.003 * std::fabs(c.w[3])) << c.composition << " " << c.isotopes;
  }
}

TEST(WeightsNeutron, ContrastsGiveTheMatrixConditioning) {
  TempDir dir;
  const CommandResult r = run_tools(dir,
                                    "weights neutron --composition \"O:1 H:2\" --contrast H2O --contrast D2O:H:D=1 "
                                    "--contrast \"HDO:H:D=0.5,H=0.5\"");
  ASSERT_EQ(r.status, 0) << r.output;
  // Singular values 0.268, 0.120, 0.038 barn; condition number about 7.
  const auto at = r.output.find("singular values (barn):");
  ASSERT_NE(at, std::string::npos) << r.output;
  const std::vector<double> s = numbers(r.output.substr(at + 23, r.output.find('\n', at) - at - 23));
  ASSERT_EQ(s.size(), 3u) << r.output;
  EXPECT_NEAR(s[0], 0.268, 0.002);
  EXPECT_NEAR(s[1], 0.120, 0.002);
  EXPECT_NEAR(s[2], 0.038, 0.001);
  EXPECT_NE(r.output.find("condition number 7.1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("basis function 1..3: O-O O-H H-H"), std::string::npos) << r.output;

  // Two contrasts cannot fix three partials.
  const CommandResult two =
      run_tools(dir, "weights neutron --composition \"O:1 H:2\" --contrast H2O --contrast D2O:H:D=1");
  ASSERT_EQ(two.status, 0) << two.output;
  EXPECT_NE(two.output.find("condition number: infinite; 2 contrasts cannot determine 3 partials"), std::string::npos)
      << two.output;
}

struct BadCase {
  const char* args;
  const char* message;
};

TEST(WeightsNeutron, RefusesBadCompositionsWithTheValue) {
  const BadCase cases[] = {
      {"--composition \"O:1 Xx:2\"", "'Xx' is not a known element"},
      {"--composition \"O:1 H:2\" --isotope H:D=0.6,H=0.5", "the fractions sum to 1.1, not 1"},
      {"--composition \"O:-1 H:2\"", "the amount of O is negative (-1)"},
      {"--composition \"O:1 H:two\"", "the amount of H must be a finite number, not 'two'"},
      {"--composition \"O:1 H:nan\"", "not 'nan'"},
      {"--composition \"O:0 H:0\"", "the amounts sum to zero"},
      {"--composition \"O:1 H:2 H:1\"", "element H appears twice"},
      {"--composition \"O:1 H:2\" --isotope H:13C=1", "13C is not an isotope of H"},
      {"--composition \"O:1 H:2\" --isotope C:13C=1", "element C is not in the composition"},
      {"--composition \"O:1 H:2\" --isotope H:D=-0.5,H=1.5", "the fraction of D is negative"},
      {"--composition \"O:1 H:2\" --isotope H:7H=1", "'7H' is an isotope without"},
      {"--composition \"O1 H2\"", "'O1' is not of the form ELEMENT:AMOUNT"},
  };
  TempDir dir;
  // Amounts are ratios: huge ones whose sum overflows give the fractions of
  // their ratios.
  const CommandResult huge = run_tools(dir, "weights neutron --composition \"O:1e308 H:1e308\"");
  EXPECT_EQ(huge.status, 0) << huge.output;
  const CommandResult plain = run_tools(dir, "weights neutron --composition \"O:1 H:1\"");
  EXPECT_EQ(huge.output, plain.output);
  for (const BadCase& c : cases) {
    const CommandResult r = run_tools(dir, std::string("weights neutron ") + c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
  }
}

// Over <f>^2 the weights sum to 1 at every Q; over <f^2> to <f>^2/<f^2> < 1,
// and the two differ by that factor.
TEST(WeightsXray, NormalisationsDifferByTheRatioOfMeans) {
  TempDir dir;
  write_file(dir.file("q.txt"), "0.5 1\n1.0 2\n8.0 3\n20.0 4\n");
  ASSERT_EQ(run_tools(dir, "weights xray --composition \"Si:1 O:2\" --q-from q.txt -o a.dat").status, 0);
  ASSERT_EQ(run_tools(dir, "weights xray --composition \"Si:1 O:2\" --q-from q.txt --normalise fmean2 -o b.dat").status,
            0);
  const auto a = data_rows(dir.file("a.dat"));
  const auto b = data_rows(dir.file("b.dat"));
  ASSERT_EQ(a.size(), 4u);
  ASSERT_EQ(b.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(a[i].size(), 5u);
    double sa = 0.0, sb = 0.0;
    for (int c = 2; c < 5; ++c) {
      sa += a[i][c];
      sb += b[i][c];
    }
    EXPECT_NEAR(sb, 1.0, 1e-6) << i;
    EXPECT_LT(sa, 1.0) << i;
    EXPECT_GT(sa, 0.5) << i;
    for (int c = 2; c < 5; ++c) EXPECT_NEAR(a[i][c] / b[i][c], sa, 1e-6) << i;
  }
  const CommandResult bad =
      run_tools(dir, "weights xray --composition \"O:1 H:2\" --q-from q.txt --normalise f2 -o c.dat");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("--normalise 'f2'"), std::string::npos) << bad.output;
}

}  // namespace
}  // namespace yosta::testing
