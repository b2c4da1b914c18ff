// Finite data whose weighted sums overflow single precision are refused at
// set-up: a chi-squared formed from them would not be a number.
#include <gtest/gtest.h>

#include <string>

#include "model/corrections.h"
#include "model_fixture.h"

namespace yosta {
namespace {

using model_test::u;

TEST(NonFiniteSums, OverflowingDataSumsAreRefused) {
  struct Case {
    const char* name;
    float F;      // at every point
    float error;  // at every point
    bool refused;
  };
  const Case cases[] = {
      {"F(Q)^2 overflows", 1.0e30f, 0.01f, true},
      {"1/error^2 summed overflows", 1.0f, 1.0e-19f, true},
      {"large but representable", 1.0e10f, 0.01f, false},
  };
  for (const Case& c : cases) {
    auto run = model_test::grid_run(50, 0.2f, 0.2f);
    DataSet& set = run->model.sets[1];
    for (int k = 1; k <= 50; ++k) {
      set.F[u(k)] = c.F;
      set.err[u(k)] = c.error;
      set.coef[1][u(k)] = 1.0f;
    }
    const std::string line = model_test::first_line([&] { prepare_data(run->params, run->model); });
    if (c.refused) {
      EXPECT_EQ(line,
                "Data set 1: the weighted sums of its data over the fitted range exceed the single-precision "
                "range (F(Q), Q or 1/error^2 too large); chi-squared cannot be formed")
          << c.name;
    } else {
      EXPECT_EQ(line, "<no stop>") << c.name;
    }
  }
}

}  // namespace
}  // namespace yosta
