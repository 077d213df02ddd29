// The Palm DOC compressor: MB/s of the fast one and of its plain transcription
// on prose and on random bytes, and kestrin-pdb against txt2pdbdoc on the same
// 5 MB text, whole processes side by side.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "palm_doc.h"
#include "palm_doc_plain.h"

namespace {

using namespace kestrin;

// MB/s of compressing `text` record by record on `threads` threads, each
// taking its share of the records, as the database writer does.
template <typename Compress>
double rate(const std::string& text, Compress compress, unsigned threads = 1) {
  std::vector<std::size_t> sink(threads);
  const std::size_t records = (text.size() + palm::kRecordSize - 1) / palm::kRecordSize;
  auto work = [&](unsigned t) {
    for (std::size_t r = t; r < records; r += threads) {
      const std::size_t at = r * palm::kRecordSize;
      const std::size_t n = std::min(palm::kRecordSize, text.size() - at);
      sink[t] += compress({reinterpret_cast<const uint8_t*>(text.data()) + at, n}).size();
    }
  };
  const double seconds = bench::best_time(3, [&] {
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& th : pool) th.join();
  });
  if (sink[0] == 0) std::abort();
  return static_cast<double>(text.size()) / 1e6 / seconds;
}

}  // namespace

int main() {
  const std::string prose = bench::sample_text(64u << 20);
  std::string noise_text(64u << 20, '\0');
  std::mt19937 random(3);
  for (char& c : noise_text) c = static_cast<char>(random());
  const std::string& noise = noise_text;
  // The plain transcription is slow: it gets the first 2 MiB of each.
  const std::string prose_part = prose.substr(0, 2u << 20), noise_part = noise.substr(0, 2u << 20);
  for (const auto& [name, text, part] :
       {std::tuple{"prose", &prose, &prose_part}, std::tuple{"random bytes", &noise, &noise_part}}) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const double fast = rate(*text, palm::compress);
    const double all = rate(*text, palm::compress, cores);
    const double plain = rate(*part, palm::plain::compress);
    std::printf("compress %-13s fast %6.1f MB/s, on %u cores %6.1f MB/s   plain %5.2f MB/s   "
                "%.0fx and %.0fx the plain one (aim: at least 50 MB/s on prose, 30x)\n",
                name, fast, cores, all, plain, fast / plain, all / plain);
  }

  const std::string path = "/tmp/kestrin-bench-book.txt";
  bench::write_file(path, prose.substr(0, 5u << 20));
  const double theirs =
      bench::best_command_time(3, "txt2pdbdoc Book " + path + " /tmp/kestrin-bench-t2p.pdb");
  const double ours = bench::best_command_time(3, std::string(KESTRIN_PDB_CLI) + " " + path);
  bench::report("kestrin-pdb, 5 MB text", ours, "txt2pdbdoc", theirs, 1.0 / 30);
  std::remove(path.c_str());
  std::remove("/tmp/kestrin-bench-book_txt.pdb");
  std::remove("/tmp/kestrin-bench-t2p.pdb");
  return 0;
}
