#include "support/small_run.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace yosta::testing {

std::string small_parameters(const SmallRun& run) {
  std::string text = run.title + "\nF\n" + run.live + "\n";
  if (run.live == "T") text += "50\n";
  text += "0.02\nF\n" + run.nbasis + "\n1\n1 0.0 1.5\n0.05\n4 10.0\n";
  text += run.nsave > 0 ? "T\n" + std::to_string(run.nsave) + "\n" : std::string("F\n");
  text += "F\n" + run.positivity + "\n0\nF\nF\n100\n" + run.times + "\n" + run.nsets + "\n" + run.data +
          "\n1 100\n0.0\n1.0\n0.01\n";
  if (run.nsave > 0) text += "1e30\n";
  return text + "F\nF\nF\nF\nF\n" + run.root + "\n";
}

std::string damped_data() {
  std::string text = "100  points\nQ  F(Q)\n";
  char line[64];
  for (int k = 1; k <= 100; ++k) {
    const double q = 0.1 * k;
    std::snprintf(line, sizeof line, "%.4f %.6f\n", q, 0.8 * std::sin(3.0 * q) * std::exp(-0.3 * q));
    text += line;
  }
  return text;
}

void write_small_run(const TempDir& dir, const SmallRun& run, const std::string& parameter_file) {
  write_file(dir.file(parameter_file), small_parameters(run));
  // A name without an extension is read with ".dat" added.
  const bool bare = !std::filesystem::path(run.data).has_extension();
  write_file(dir.file(bare ? run.data + ".dat" : run.data), damped_data());
}

void copy_binary_example(const TempDir& dir) {
  for (const char* name : {"binary.dat", "binary_F1.dat", "binary_F2.dat", "binary_F3.dat"})
    write_file(dir.file(name), read_file(std::string(YOSTA_SOURCE_DIR) + "/examples/" + name));
}

std::string start_in_background(const std::string& args, const std::string& log) {
  return "'" + yosta_binary() + "' " + args + " > " + log + " 2>&1 &\npid=$!\n";
}

std::string wait_for(const std::string& pattern, const std::string& log) {
  return "for i in $(seq 1 600); do grep -q '" + pattern + "' " + log + " && break; sleep 0.05; done\n";
}

}  // namespace yosta::testing
