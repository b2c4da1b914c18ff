// yosta-tools import of a measured file of a million rows: the reading, the
// averaging onto 1000 points, and the refusal that names the smallest
// averaging that fits when none is asked for.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "base/stop.h"
#include "tools/import.h"

namespace {

constexpr int million = 1000000;

// Q from 0.001 in steps of 0.001, a damped oscillation and its error.
const std::string& measured_file() {
  static const std::string path = [] {
    const auto folder = std::filesystem::temp_directory_path() / "yosta_bench_import";
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "million.txt").string();
    std::ofstream out(file);
    out << "# a million points\nQ F err\n";
    char line[96];
    for (int k = 1; k <= million; ++k) {
      const double q = 0.001 * k;
      std::snprintf(line, sizeof line, "%.6f %.8f %.3e\n", q, std::sin(q) * std::exp(-0.05 * q), 0.01);
      out << line;
    }
    return file;
  }();
  return path;
}

void import_million(benchmark::State& state, int rebin) {
  yosta::tools::ImportOptions o;
  o.input = measured_file();
  o.output = o.input + ".dat";
  o.rebin = rebin;
  std::ostringstream quiet;
  std::streambuf* const console = std::cout.rdbuf(quiet.rdbuf());
  for (auto _ : state) {
    try {
      yosta::tools::run_import(o);
    } catch (const yosta::Stop& stop) {
      // Without averaging the points are too many: the message names the
      // smallest --rebin that fits.
      if (rebin != 1 || stop.lines.front().find("the smallest that fits is --rebin") == std::string::npos) {
        state.SkipWithError(stop.lines.front().c_str());
        break;
      }
    }
    quiet.str("");
  }
  std::cout.rdbuf(console);
  state.SetItemsProcessed(state.iterations() * million);
}

void BM_ImportMillionRowsRebinned(benchmark::State& state) { import_million(state, 1000); }
void BM_ImportMillionRowsRefused(benchmark::State& state) { import_million(state, 1); }

BENCHMARK(BM_ImportMillionRowsRebinned)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportMillionRowsRefused)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
