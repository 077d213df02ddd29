// The history's core against the standard tools, side by side in one run:
// the search over 10,000 entries of 10 KB (100 MB) against `grep -ci` over the
// same texts as files, and the checks and replay of such a history file
// against `cat` of it.
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_util.h"
#include "history/history.h"
#include "history/history_file.h"
#include "history/history_search.h"

int main() {
  using namespace kestrin;
  const std::string corpus = bench::sample_text(16u << 20);
  History history(HistoryLimits{20000, 16u << 20});
  const std::filesystem::path folder = "/tmp/kestrin-bench-history";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::vector<HistoryRecord> log;
  for (int i = 0; i < 10000; ++i) {
    std::string text = std::to_string(i) + " " +
                       corpus.substr((static_cast<std::size_t>(i) * 7919) % (corpus.size() - 10000), 10000);
    bench::write_file((folder / std::to_string(i)).string(), text);
    for (HistoryRecord& r : history.add(EntryKind::AnsiText, share_bytes(std::move(text)), 10000, 1)) {
      log.push_back(std::move(r));
    }
  }
  const int runs = 5;
  std::size_t found = 0;
  for (const char* query : {"zqx", "(NOTES) THE", "LINES OF"}) {
    const double ours = bench::best_time(runs, [&] {
      TextSearch search(query, std::string(query), ascii_fold());
      found = 0;
      for (const HistoryEntry* e : history.shown()) found += search.matches(*e) ? 1 : 0;
    });
    const double grep = bench::best_command_time(
        runs, "(cd " + folder.string() + " && grep -ciF '" + query + "' -r . | grep -vc ':0$' || true)");
    char what[64];
    std::snprintf(what, sizeof what, "search \"%s\" (%zu found)", query, found);
    bench::report(what, ours, "grep -ci over the files", grep, 1.0);
  }

  // The core's part of a start: the checks and the replay, on the file's bytes
  // as the program maps them (the entries view them; nothing is copied). The
  // whole start, under Wine, is in kestrin_bench_history.exe.
  const std::string path = "/tmp/kestrin-bench-history.dat";
  bench::write_file(path, encode_history(log));
  const double cat = bench::best_command_time(runs, "cat " + path);
  const auto file = std::make_shared<const std::string>(bench::read_file(path));
  std::size_t entries = 0;
  const double load = bench::best_time(runs, [&] {
    const HistoryLoad read = read_history(*file, file);
    History replayed(HistoryLimits{20000, 16u << 20});
    replayed.replay(read.records);
    entries = replayed.entries().size();
  });
  char what[64];
  std::snprintf(what, sizeof what, "checks and replay of %zu entries", entries);
  bench::report(what, load, "cat of the file", cat, 10.0);
  std::filesystem::remove_all(folder);
  std::remove(path.c_str());
  return 0;
}
