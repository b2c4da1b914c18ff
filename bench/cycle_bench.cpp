// Moves per second of the move cycle on the synthetic cases: the cycle as
// the program runs it (r-space evaluation where its tables fit), the same
// cycle with the Q-space passes (the evaluation before the r-space tables,
// also with each instruction set), the straightforward cycle, and the whole
// program on the medium cases, with and without plots; and the Gram row
// update by itself.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/straightforward_cycle.h"
#include "support/bench_cases.h"
#include "fit/cycle.h"
#include "model/corrections.h"
#include "fit/run.h"
#include "base/console.h"
#include "fit/build.h"
#include "fit/kernels.h"
#include "app/program.h"

namespace {

using yosta::bench::CaseSize;

enum class Cycle { best, q_space, literal };

// Runs the real cycle with the given evaluation, or the straightforward one;
// `isa` picks the vector version of the Q-space passes (-1: the best one).
void run_case(benchmark::State& state, const CaseSize& size, Cycle cycle, int isa = -1) {
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
  std::unique_ptr<yosta::Run> run = yosta::build_run(param, yosta::BuildOptions{.seed = 12345}, console);
  if (cycle != Cycle::best) yosta::prepare_evaluation(*run, yosta::EvaluationPath::q_space);
  // Warm up past the first accepted moves.
  for (int i = 0; i < 1000; ++i) yosta::one_move(*run, console);
  const std::int32_t accepted = run->control.accepted;
  if (cycle == Cycle::literal) {
    for (auto _ : state) yosta::bench::baseline_move(*run);
  } else {
    for (auto _ : state) yosta::one_move(*run, console);
  }
  state.counters["moves_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["nr"] = run->model.r.nr;
  state.counters["rspace"] = yosta::rspace_in_use(*run) ? 1 : 0;
  const auto* tables = std::get_if<yosta::RSpaceEvaluator>(&run->kept.evaluator);
  state.counters["table_MB"] = tables != nullptr ? static_cast<double>(tables->bytes) / 1.0e6 : 0.0;
  if (cycle != Cycle::literal && state.iterations() > 0)
    state.counters["accepted_pct"] =
        100.0 * (run->control.accepted - accepted) / static_cast<double>(state.iterations());
  std::filesystem::remove_all(folder);
  yosta::force_vector_path(-1);
}

void BM_cycle(benchmark::State& state, const CaseSize& size) { run_case(state, size, Cycle::best); }
void BM_qspace(benchmark::State& state, const CaseSize& size) { run_case(state, size, Cycle::q_space); }
void BM_straightforward(benchmark::State& state, const CaseSize& size) { run_case(state, size, Cycle::literal); }
void BM_qspace_sse2(benchmark::State& state, const CaseSize& size) { run_case(state, size, Cycle::q_space, 0); }
void BM_qspace_avx2(benchmark::State& state, const CaseSize& size) { run_case(state, size, Cycle::q_space, 1); }

// CPU seconds (user and system) of the finished child processes so far.
double children_cpu() {
  rusage use{};
  getrusage(RUSAGE_CHILDREN, &use);
  return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec);
}

// The program timed: YOSTA_BENCH_PROGRAM names another build of it (an
// earlier one, timed alternately with this one by tools/program_timing.sh),
// otherwise this build's.
std::string program() {
  const char* other = std::getenv("YOSTA_BENCH_PROGRAM");
  return other != nullptr && *other != '\0' ? other : YOSTA_BINARY;
}

// The whole program (the yosta executable) on a case: a run of
// --max-moves moves (the first argument) less a run of one move (start-up,
// set-up and the final save), with no progress lines after the first. With a
// second argument N > 0 the parameter file asks for live plotting every N
// accepted moves (the start prompt is answered), drawn on `device`; a device
// alone draws at the default interval. The time is the CPU time of the
// program, as the cycle benchmarks count theirs (the machine is shared);
// wall_per_s gives the wall-clock rate beside it.
void BM_program(benchmark::State& state, const CaseSize& size, const char* device) {
  CaseSize plotted = size;
  plotted.plot_interval = static_cast<int>(state.range(1));
  const auto folder = std::filesystem::temp_directory_path() / ("yosta_bench_program_" + std::string(size.name));
  std::filesystem::create_directories(folder);
  const std::string param = yosta::bench::write_case(plotted, folder.string());
  const std::string answer = (folder / "answer").string();
  std::ofstream(answer) << "Y\n";
  const std::int64_t moves = state.range(0);
  struct Times {
    double cpu = -1.0, wall = -1.0;
  };
  auto run = [&](std::int64_t n) {
    std::string command = program() + " " + param + " --seed 12345 --max-moves " + std::to_string(n);
    if (*device != '\0') command += std::string(" --plot-device ") + device;
    command += " < " + answer + " > " + (folder / "transcript").string() + " 2>&1";
    const double cpu = children_cpu();
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto end = std::chrono::steady_clock::now();
    Times t;
    if (status != -1 && WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 10)) {
      t.cpu = children_cpu() - cpu;
      t.wall = std::chrono::duration<double>(end - start).count();
    }
    return t;
  };
  double wall = 0.0;
  for (auto _ : state) {
    const Times setup = run(1);
    const Times total = run(moves);
    if (setup.cpu < 0.0 || total.cpu < 0.0) {
      state.SkipWithError("the program failed");
      break;
    }
    state.SetIterationTime(total.cpu - setup.cpu);
    wall += total.wall - setup.wall;
  }
  const double made = static_cast<double>(moves - 1) * static_cast<double>(state.iterations());
  state.counters["moves_per_s"] = benchmark::Counter(made, benchmark::Counter::kIsRate);
  if (wall > 0.0) state.counters["wall_per_s"] = made / wall;
  std::filesystem::remove_all(folder);
}

// The Gram row update alone, as an accepted move runs it: rows of 301
// points at random r points, read from `arrays` T arrays of the length a
// 301-point grid gives (1: one shared block, in the first-level cache; 18:
// the three sets of six pairs of the medium Q-dependent case, which are
// not), added one at a time or `held` together. Seconds per row
// (`per_row`), in the processor's best version (`isa` -1) or a given one.
void BM_gram_rows(benchmark::State& state) {
  const int held = static_cast<int>(state.range(0)), arrays = static_cast<int>(state.range(1));
  const int isa = static_cast<int>(state.range(2));
  if (yosta::force_vector_path(isa) != isa && isa >= 0) {
    state.SkipWithError("this processor lacks the instruction set");
    yosta::force_vector_path(-1);
    return;
  }
  constexpr int nr = 301, length = 3 * nr + 2;
  std::vector<float> T(static_cast<std::size_t>(arrays) * length);
  for (std::size_t m = 0; m < T.size(); ++m) T[m] = 1.0f / static_cast<float>(1 + m % 977);
  std::vector<double> D(nr, 0.0);
  // The rows' places drawn beforehand, so that the loop times the update.
  constexpr int places = 4096;
  std::vector<yosta::kernels::GramRow> rows(places);
  std::uint32_t x = 12345;
  for (auto& row : rows) {
    x = x * 1664525u + 1013904223u;
    const int j = 1 + static_cast<int>((x >> 8) % nr);
    const int a = static_cast<int>((x >> 20) % static_cast<std::uint32_t>(arrays));
    const float* t = T.data() + static_cast<std::size_t>(a) * length + nr + 1;  // m = 0
    row = yosta::kernels::GramRow{t + 1 - j, t + 1 + j, 1e-6 * j};
  }
  const yosta::kernels::GramRowFn add = yosta::kernels::gram_row_version();
  std::size_t next = 0;
  for (auto _ : state) {
    add(D.data(), rows.data() + next, held, nr);
    next = (next + static_cast<std::size_t>(held)) % (places - yosta::kernels::max_gram_rows);
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(D.data());
  state.counters["per_row"] = benchmark::Counter(static_cast<double>(state.iterations()) * held,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  yosta::force_vector_path(-1);
}

BENCHMARK(BM_gram_rows)
    ->ArgNames({"held", "arrays", "isa"})
    ->Args({1, 1, -1})
    ->Args({8, 1, -1})
    ->Args({1, 18, -1})
    ->Args({8, 18, -1})
    ->Args({8, 1, 1})
    ->Args({8, 18, 1})
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_cycle, small, yosta::bench::small_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, medium, yosta::bench::medium_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, medium_qdep, yosta::bench::medium_qdep_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, large, yosta::bench::large_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_cycle, large_qdep, yosta::bench::large_qdep_case)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_program, medium, yosta::bench::medium_case, "")
    ->Args({4000000, 0})
    ->Args({16000000, 0})
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_program, medium_qdep, yosta::bench::medium_qdep_case, "")
    ->Args({4000000, 0})
    ->Args({16000000, 0})
    ->UseManualTime()
    ->Iterations(1);
// Plots: the same runs drawing on the null device and into PNG pictures, over
// 16 million moves (some seconds: the first drawings of a run, before the
// throttle has measured one, would weigh more in a run of a second).
BENCHMARK_CAPTURE(BM_program, medium_null, yosta::bench::medium_case, "/null")
    ->Args({16000000, 50})
    ->Args({16000000, 100})
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_program, medium_png, yosta::bench::medium_case, "/png")
    ->Args({16000000, 50})
    ->Args({16000000, 100})
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_program, medium_qdep_null, yosta::bench::medium_qdep_case, "/null")
    ->Args({16000000, 50})
    ->Args({16000000, 100})
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_program, medium_qdep_png, yosta::bench::medium_qdep_case, "/png")
    ->Args({16000000, 50})
    ->Args({16000000, 100})
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_qspace, small, yosta::bench::small_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace, medium_qdep, yosta::bench::medium_qdep_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace, large_qdep, yosta::bench::large_qdep_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace_sse2, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace_sse2, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace_avx2, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_qspace_avx2, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, small, yosta::bench::small_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, medium, yosta::bench::medium_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, medium_qdep, yosta::bench::medium_qdep_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, large, yosta::bench::large_case)->MinTime(1.0);
BENCHMARK_CAPTURE(BM_straightforward, large_qdep, yosta::bench::large_qdep_case)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
