// The singular values behind the conditioning of a set of contrasts.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/composition.h"

namespace yosta::testing {
namespace {

TEST(WeightsNeutron, SingularValuesOfKnownMatrices) {
  using tools::singular_values;
  const std::vector<double> diag = singular_values({{3.0, 0.0}, {0.0, -4.0}});
  ASSERT_EQ(diag.size(), 2u);
  EXPECT_NEAR(diag[0], 4.0, 1e-12);
  EXPECT_NEAR(diag[1], 3.0, 1e-12);
  // Rank one: equal rows.
  const std::vector<double> rank1 = singular_values({{1.0, 2.0, 2.0}, {1.0, 2.0, 2.0}});
  EXPECT_NEAR(rank1[0], std::sqrt(18.0), 1e-12);
  EXPECT_NEAR(rank1[1], 0.0, 1e-7);
  // A tall matrix gives as many values as it has columns.
  const std::vector<double> tall = singular_values({{1.0, 1.0}, {1.0, -1.0}, {0.0, 0.0}});
  ASSERT_EQ(tall.size(), 2u);
  EXPECT_NEAR(tall[0], std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(tall[1], std::sqrt(2.0), 1e-12);
}

}  // namespace
}  // namespace yosta::testing
