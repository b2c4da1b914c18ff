// Moves per second of the move cycle on the three synthetic cases.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "cases.h"
#include "fit/cycle.h"
#include "model/run.h"
#include "run/console.h"
#include "run/program.h"

namespace {

using yosta::bench::CaseSize;

void BM_cycle(benchmark::State& state, const CaseSize& size) {
  const auto folder = std::filesystem::temp_directory_path() / ("yosta_bench_" + std::string(size.name));
  std::filesystem::create_directories(folder);
  const std::string param = yosta::bench::write_case(size, folder.string());
  std::ostringstream sink;
  std::istringstream none;
  yosta::Console console(sink, none);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::unique_ptr<yosta::Run> run = yosta::set_up_run(param, console, 12345);
  // Warm up past the first accepted moves.
  for (int i = 0; i < 1000; ++i) yosta::one_move(*run, console);
  for (auto _ : state) {
    yosta::one_move(*run, console);
  }
  std::filesystem::current_path(cwd);
  state.counters["moves_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["nr"] = run->r.nr;
  std::filesystem::remove_all(folder);
}

BENCHMARK_CAPTURE(BM_cycle, small, yosta::bench::small_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, medium, yosta::bench::medium_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, large, yosta::bench::large_case)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
