// kestrin-text against the standard tools on the same 64 MiB text, whole
// processes side by side: each reads the file and writes /dev/null.
#include <cstdio>
#include <string>

#include "bench_util.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  const std::size_t bytes = argc > 1 ? std::stoul(argv[1]) : (64u << 20);
  const std::string path = "/tmp/kestrin-bench-text.txt";
  bench::write_file(path, bench::sample_text(bytes));
  const std::string cli = KESTRIN_TEXT_CLI;
  const int runs = 7;

  struct Pair {
    const char* command;
    const char* tool;
    double aim;
  };
  const Pair pairs[] = {
      {"upper-case", "tr a-z A-Z", 0.5},
      {"remove-cr", "tr -d '\\r'", 0.5},
      {"excess-spaces", "tr -s ' '", 0.75},
      {"trailing-white-space", "sed -E 's/[ \\t]+$//'", 0.15},
  };
  std::printf("%zu bytes, best of %d runs each\n", bytes, runs);
  for (const Pair& p : pairs) {
    const double theirs = bench::best_command_time(runs, std::string(p.tool) + " < " + path);
    const double ours = bench::best_command_time(runs, cli + " " + p.command + " < " + path);
    bench::report(p.command, ours, p.tool, theirs, p.aim);
  }
  std::remove(path.c_str());
  return 0;
}
