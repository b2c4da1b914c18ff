// Moves per second of the move cycle on the three synthetic cases.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "baseline.h"
#include "cases.h"
#include "fit/cycle.h"
#include "model/corrections.h"
#include "fit/run.h"
#include "base/console.h"
#include "app/program.h"

namespace {

using yosta::bench::CaseSize;

// Runs the real cycle, or the straightforward one when `literal` is set;
// `isa` picks the vector version of the move passes (-1: the best one).
void run_case(benchmark::State& state, const CaseSize& size, bool literal, int isa = -1) {
  if (yosta::force_vector_path(isa) != isa && isa >= 0) {
    state.SkipWithError("this processor lacks the instruction set");
    yosta::force_vector_path(-1);
    return;
  }
  const auto folder = std::filesystem::temp_directory_path() / ("yosta_bench_" + std::string(size.name));
  std::filesystem::create_directories(folder);
  const std::string param = yosta::bench::write_case(size, folder.string());
  std::ostringstream sink;
  std::istringstream none;
  yosta::Console console(sink, none);
  std::unique_ptr<yosta::Run> run = yosta::set_up_run(param, console, 12345);
  // Warm up past the first accepted moves.
  for (int i = 0; i < 1000; ++i) yosta::one_move(*run, console);
  if (literal) {
    for (auto _ : state) yosta::bench::baseline_move(*run);
  } else {
    for (auto _ : state) yosta::one_move(*run, console);
  }
  state.counters["moves_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["nr"] = run->model.r.nr;
  std::filesystem::remove_all(folder);
  yosta::force_vector_path(-1);
}

void BM_cycle(benchmark::State& state, const CaseSize& size) { run_case(state, size, false); }
void BM_straightforward(benchmark::State& state, const CaseSize& size) { run_case(state, size, true); }

BENCHMARK_CAPTURE(BM_cycle, small, yosta::bench::small_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, medium, yosta::bench::medium_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, large, yosta::bench::large_case)->MinTime(2.0);
// The same cycle with the baseline (SSE2) and AVX2 versions of the passes.
void BM_cycle_sse2(benchmark::State& state, const CaseSize& size) { run_case(state, size, false, 0); }
void BM_cycle_avx2(benchmark::State& state, const CaseSize& size) { run_case(state, size, false, 1); }
BENCHMARK_CAPTURE(BM_cycle_sse2, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_cycle_sse2, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_cycle_avx2, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_cycle_avx2, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, small, yosta::bench::small_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, large, yosta::bench::large_case)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
