// The content analysis of a 64 MiB clipboard text against `wc -l` on the same
// file, side by side in one run.
#include <cstdio>
#include <string>

#include "bench_util.h"
#include "clipboard/analysis.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  const std::size_t bytes = argc > 1 ? std::stoul(argv[1]) : (64u << 20);
  const std::string path = "/tmp/kestrin-bench-analysis.txt";
  bench::write_file(path, bench::sample_text(bytes));
  const int runs = 15;

  const double wc = bench::best_command_time(runs, "wc -l " + path);
  Analysis analysis;
  uint32_t lines = 0;
  const double full = bench::best_time(runs, [&] {
    const std::string text = bench::read_file(path);
    analysis.clear_counts();
    analyse_text(text, analysis);
    lines = analysis.line_count;
  });
  const std::string text = bench::read_file(path);
  const double in_memory = bench::best_time(runs, [&] {
    analysis.clear_counts();
    analyse_text(text, analysis);
  });

  std::printf("analysis of %zu bytes, %u lines\n", bytes, lines);
  bench::report("analysis (histogram, counts, lines)", in_memory, "wc -l", wc, 2.0);
  std::printf("  %.2f GB/s in memory; with the file read as well: %.1f ms\n",
              bytes / in_memory / 1e9, full * 1e3);
  std::remove(path.c_str());
  return 0;
}
