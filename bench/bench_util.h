// Helpers of the side-by-side benchmarks: a sample text, timing of a standard
// tool run as its own process, and timing of our own work.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace kestrin::bench {

// Text of about `bytes` bytes: words, spaces, tabs, CR LF line ends, some
// non-ASCII bytes and a form feed now and then, like a long pasted document.
inline std::string sample_text(std::size_t bytes) {
  static const char* const words[] = {"the", "clipboard", "holds", "text", "of", "many",
                                      "lines", "caf\xE9", "and", "(notes)", "path\\to",
                                      "a/b", "x"};
  std::string text;
  text.reserve(bytes + 64);
  uint32_t state = 2463534242u;
  std::size_t line = 0;
  while (text.size() < bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    text += words[state % (sizeof words / sizeof *words)];
    line += 1;
    if (state % 11 == 0) {
      text += "\r\n";
      if (state % 397 == 0) text += "\x0C";
    } else {
      text += (state % 7 == 0) ? '\t' : ' ';
    }
  }
  text.resize(bytes);
  return text;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
  }
  return bytes;
}

// Best of `runs` wall-clock times of `work`, in seconds.
inline double best_time(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

// Best time of a shell command (a whole process, output discarded).
inline double best_command_time(int runs, const std::string& command) {
  return best_time(runs, [&] {
    if (std::system((command + " >/dev/null").c_str()) != 0) std::abort();
  });
}

inline void report(const char* what, double ours, const char* tool, double theirs,
                   double aim) {
  std::printf("%-34s %8.1f ms   %-26s %8.1f ms   ratio %.2f (aim <= %.2f) %s\n", what,
              ours * 1e3, tool, theirs * 1e3, ours / theirs, aim,
              ours / theirs <= aim ? "ok" : "MISSED");
}

}  // namespace kestrin::bench
