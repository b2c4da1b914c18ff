// yosta-tools import of the measured water and benzene files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "support/programs.h"
#include "tools/tools_fixture.h"

namespace yosta::testing {
namespace {

// The measured water and benzene files against the converted copies in the
// measured-data folder.
void compare_with_converted(const std::string& mine, const std::string& theirs) {
  const auto a = data_rows(mine);
  const auto b = data_rows(theirs);
  ASSERT_EQ(a.size(), b.size()) << theirs;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_GE(b[i].size(), 3u);
    EXPECT_NEAR(a[i][0], b[i][0], 1e-6 * std::fabs(b[i][0])) << theirs << " point " << i + 1;
    EXPECT_NEAR(a[i][1], b[i][1], 1e-6 * std::fabs(b[i][1]) + 1e-12) << theirs << " point " << i + 1;
    EXPECT_NEAR(a[i][2], b[i][2], 1e-4 * std::fabs(b[i][2])) << theirs << " point " << i + 1;
  }
}

TEST(ImportMeasured, WaterAndBenzeneReproduceTheConvertedFiles) {
  const std::string data = realdata_folder();
  if (data.empty()) GTEST_SKIP() << "measured data not found (set YOSTA_REALDATA)";
  TempDir dir;
  const char* water[][2] = {{"SLS18498-H2O", "H2O"}, {"SLS18502-D2O", "D2O"}, {"SLS18500-HDO5050", "HDO"}};
  for (const auto& w : water) {
    const CommandResult r =
        run_tools(dir, "import '" + data + "/water/neutron/" + w[0] + ".mint01' -o " + w[1] + ".dat");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("left out 1 trailing row(s) of zeros"), std::string::npos) << r.output;
    compare_with_converted(dir.file(std::string(w[1]) + ".dat"), data + "/water/yosta/" + w[1] + ".dat");
  }
  for (const char* b : {"C6H6", "C6D6", "5050"}) {
    const std::string in = "'" + data + "/benzene/neutron/" + b + ".mint01'";
    const CommandResult refused = run_tools(dir, "import " + in + " -o " + b + ".dat");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("--rebin 5"), std::string::npos) << refused.output;
    ASSERT_EQ(run_tools(dir, "import " + in + " --rebin 5 -o " + b + ".dat").status, 0);
    compare_with_converted(dir.file(std::string(b) + ".dat"), data + "/benzene/yosta/" + b + ".dat");
  }
}

}  // namespace
}  // namespace yosta::testing
