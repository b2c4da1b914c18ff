// The measured-file reader and the preparation of `yosta-tools import` on
// arbitrary bytes. The first byte chooses the options (bit 0: --shift, bit 1:
// --qdep, bit 2: --sq, bits 3-5: --rebin 1 to 8, bit 6: --error 0.01, bit 7:
// a Q range); the rest is the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/stop.h"
#include "fuzz_support.h"
#include "tools/columns.h"
#include "tools/import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using yosta::fuzz::require;
  if (size < 1) return 0;
  static const std::string path = yosta::fuzz::scratch_folder() + "/measured.txt";
  const std::uint8_t flags = data[0];
  yosta::fuzz::write_whole_file(path, data + 1, size - 1);

  yosta::tools::ImportOptions o;
  o.input = path;
  o.shift = (flags & 1) != 0;
  o.qdep = (flags & 2) != 0;
  o.sq = (flags & 4) != 0;
  o.rebin = 1 + ((flags >> 3) & 7);
  o.has_error = (flags & 64) != 0 && !o.qdep;
  o.error = 0.01;
  if ((flags & 128) != 0) o.q_range = {0.5, 10.0};
  try {
    const yosta::tools::Table table = yosta::tools::read_table(path);
    require(table.rows.size() >= 2, "at least two rows");
    for (const auto& row : table.rows) {
      require(row.size() == table.width() && row.size() >= 2, "rows of one width");
      for (double x : row) require(std::isfinite(x), "finite values");
    }
    std::vector<std::string> steps;
    const yosta::tools::Series s = yosta::tools::prepare_import(table, o, steps);
    require(s.dq > 0.0 && std::isfinite(s.dq), "a positive step");
    require(!s.rows.empty(), "points");
    for (const auto& row : s.rows) {
      for (double x : row) require(std::isfinite(x), "finite results");
      if (s.has_error) require(row.size() >= 2 && row[1] >= 0.0, "errors not negative");
    }
  } catch (const yosta::Stop&) {
  }
  return 0;
}
