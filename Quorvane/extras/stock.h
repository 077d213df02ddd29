// The stock history fetch on plain data: the tickers in a text, the request of
// one ticker, the server setting, and the text file the answer becomes.
// Platform-free: stock_win.cpp has the queue, the worker and the socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

struct FoundTicker {
  std::string symbol;  // 1 to 6 capitals
  std::size_t offset;  // where its run starts in the text
};

// Runs of capitals A to Z shorter than 7 and not followed by a lower-case
// letter; a run that does not qualify is tried again from its next letter.
std::vector<FoundTicker> scan_tickers(std::string_view text);

// The same scan in slices: looks at the positions from `from` up to `until`
// (a run starting before `until` is measured whole), calls `found` with each
// ticker and its offset, and returns where the next slice starts.
template <class Found>
std::size_t scan_tickers(std::string_view text, std::size_t from, std::size_t until,
                         Found&& found) {
  auto capital = [](char c) { return c >= 'A' && c <= 'Z'; };
  std::size_t at = from;
  until = until < text.size() ? until : text.size();
  while (at < until) {
    if (!capital(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && capital(text[end])) ++end;
    const bool followed_by_small = end < text.size() && text[end] >= 'a' && text[end] <= 'z';
    if (end - at < 7 && !followed_by_small) {
      found(text.substr(at, end - at), at);
      at = end;
    } else {
      ++at;
    }
  }
  return at;
}

// The file a ticker's history is written to: "<symbol>.csv", with a leading
// '_' for a symbol Windows takes for a device (CON, AUX, NUL, PRN).
std::string ticker_file_name(std::string_view symbol);

struct DateRange {
  uint32_t year_start = 0, month_start = 0, day_start = 0;
  uint32_t year_end = 0, month_end = 0, day_end = 0;
};

// "/table.csv?a=..&b=..&c=..&d=..&e=..&f=..&s=SYMBOL&y=0&g=d&ignore=.csv", the
// months less one as unsigned numbers (an unset month is 4294967295).
std::string request_path(const DateRange& dates, std::string_view symbol);

struct StockServer {
  std::string host;
  uint16_t port = 80;
};
// "host" or "host:port"; nothing for an empty setting or a port that is not a
// number from 1 to 65535.
std::optional<StockServer> parse_stock_server(std::string_view setting);

// Turns received bytes into the text file's bytes: every LF becomes CR LF, and
// everything from the first zero byte on is dropped. Fed piece by piece, it
// gives the same bytes as on the whole answer.
class AnswerText {
 public:
  // Appends the text of `piece` to `out`.
  void take(std::string_view piece, std::string& out);
  bool ended() const { return ended_; }

 private:
  bool ended_ = false;
};

}  // namespace kestrin
