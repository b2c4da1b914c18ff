// The ".gsv" saved-sums reader on arbitrary bytes.
#include "fuzz_start.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  yosta::fuzz::fuzz_start_file(data, size, true);
  return 0;
}
