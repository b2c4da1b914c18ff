// The ".g" start-file reader on arbitrary bytes.
#include "fuzz_start.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  yosta::fuzz::fuzz_start_file(data, size, false);
  return 0;
}
