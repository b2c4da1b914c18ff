// Shared by the fuzz targets of the file readers: a private scratch folder for
// the readers that open files by name, and the check that ends a run with a
// crash report when a reader lets something through that it must not.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace yosta::fuzz {

// A folder of this process's own, in memory where the system has one.
inline const std::string& scratch_folder() {
  static const std::string folder = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/yosta-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  static const bool cleaned_at_exit = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
    return true;
  }();
  (void)cleaned_at_exit;
  return folder;
}

inline void write_whole_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

// A reader accepted input it should have refused.
inline void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

inline bool finite(float x) { return std::isfinite(x); }

}  // namespace yosta::fuzz
