// Throughput of each family of text rules in memory, so that regressions show.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_util.h"
#include "res/resource.h"
#include "transform/rules.h"

namespace {

const std::string& sample() {
  static const std::string text = kestrin::bench::sample_text(16u << 20);
  return text;
}

void run_rule(benchmark::State& state, unsigned id) {
  std::string work;
  for (auto _ : state) {
    state.PauseTiming();
    work = sample();
    state.ResumeTiming();
    kestrin::apply_text_command(id, work, kestrin::LocalTime{});
    benchmark::DoNotOptimize(work.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(sample().size()));
}

}  // namespace

BENCHMARK_CAPTURE(run_rule, case_map, IDM_UPPER_CASE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, byte_swap, IDM_CR_TO_LF)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, phone_number, IDM_PHONE_NUMBER)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, chess, IDM_CHESS_BOTH)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, delete_byte, IDM_REMOVE_CR)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, squeeze, IDM_EXCESS_SPACES)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, new_line_runs, IDM_EXCESS_NEW_LINES)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, trailing_white, IDM_TRAILING_WHITE_SPACE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, leading_white, IDM_LEADING_WHITE_SPACE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, brackets, IDM_REMOVE_PARENTHESES)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, expansion, IDM_SPACES_TO_NEW_LINES)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, add, IDM_ADD_NEW_LINES)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run_rule, recipe, IDM_CLEANUP_SINGLE_SPACED)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
