#include "extras/stock.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "file_names.h"

namespace kestrin {

std::vector<FoundTicker> scan_tickers(std::string_view text) {
  std::vector<FoundTicker> found;
  scan_tickers(text, 0, text.size(), [&found](std::string_view symbol, std::size_t offset) {
    found.push_back({std::string(symbol), offset});
  });
  return found;
}

std::string ticker_file_name(std::string_view symbol) {
  std::string name = is_device_name(symbol) ? "_" : "";
  name += symbol;
  return name + ".csv";
}

std::string request_path(const DateRange& d, std::string_view symbol) {
  char path[1024];
  std::snprintf(path, sizeof path,
                "/table.csv?a=%u&b=%u&c=%u&d=%u&e=%u&f=%u&s=%.*s&y=0&g=d&ignore=.csv",
                d.month_start - 1u, d.day_start, d.year_start, d.month_end - 1u, d.day_end,
                d.year_end, static_cast<int>(std::min<std::size_t>(symbol.size(), 64)),
                symbol.data());
  return path;
}

std::optional<StockServer> parse_stock_server(std::string_view setting) {
  while (!setting.empty() && setting.front() == ' ') setting.remove_prefix(1);
  while (!setting.empty() && setting.back() == ' ') setting.remove_suffix(1);
  if (setting.empty()) return std::nullopt;
  StockServer server;
  const std::size_t colon = setting.rfind(':');
  if (colon == std::string_view::npos) {
    server.host = std::string(setting);
    return server;
  }
  const std::string_view port = setting.substr(colon + 1);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (colon == 0 || error != std::errc() || end != port.data() + port.size() || value == 0 ||
      value > 65535) {
    return std::nullopt;
  }
  server.host = std::string(setting.substr(0, colon));
  server.port = static_cast<uint16_t>(value);
  return server;
}

void AnswerText::take(std::string_view piece, std::string& out) {
  if (ended_) return;
  for (char c : piece) {
    if (c == '\0') {
      ended_ = true;
      return;
    }
    if (c == '\n') out += '\r';
    out += c;
  }
}

}  // namespace kestrin
