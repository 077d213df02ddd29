// The extras' rules on plain data: the dial command, the ticker scan, the
// request path, the server setting and the answer's text.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "extras/desktop.h"
#include "extras/modem.h"
#include "extras/stock.h"
#include "stock_queue.h"
#include "extras/web.h"

namespace kestrin {
namespace {

TEST(Modem, DialCommandKeepsTheDiallingCharacters) {
  EXPECT_EQ(dial_command("Call (555) 123-4567 today", 26), "ATDT(555)123-4567\r");
  EXPECT_EQ(dial_command("555-1234 or 555-9876", 21), "ATDT555-1234555-9876\r");
  EXPECT_EQ(dial_command("9,,555", 7), "ATDT9,,555\r");
  EXPECT_EQ(dial_command("no digits", 10), "ATDT\r");
  EXPECT_EQ(dial_command(std::string(124, '5'), 124).value().size(), 4u + 124 + 1);
  EXPECT_EQ(dial_command(std::string(200, '5'), 201), std::nullopt);
  EXPECT_EQ(dial_command("5", 125), std::nullopt);  // the block, not the text, counts
}

std::vector<std::string> symbols(std::string_view text) {
  std::vector<std::string> out;
  for (const FoundTicker& t : scan_tickers(text)) out.push_back(t.symbol);
  return out;
}

TEST(Stock, TickerScanOnTheExamples) {
  using S = std::vector<std::string>;
  EXPECT_EQ(symbols("IBM, MSFT and T."), (S{"IBM", "MSFT", "T"}));
  EXPECT_EQ(scan_tickers("IBM, MSFT and T.")[1].offset, 5u);
  EXPECT_EQ(symbols("Hello World"), S{});
  EXPECT_EQ(symbols("ABCDEFGH."), (S{"CDEFGH"}));
  EXPECT_EQ(symbols("we live in the USA"), (S{"USA"}));
  EXPECT_EQ(symbols("GOOGLEx ABCDEFGHIJ9 A1B"), (S{"EFGHIJ", "A", "B"}));
  EXPECT_EQ(symbols(""), S{});
}

TEST(Stock, RequestPathServerSettingAndAnswerText) {
  EXPECT_EQ(request_path({}, "IBM"),
            "/table.csv?a=4294967295&b=0&c=0&d=4294967295&e=0&f=0&s=IBM&y=0&g=d&ignore=.csv");
  EXPECT_EQ(request_path({2024, 1, 15, 2026, 12, 7}, "T"),
            "/table.csv?a=0&b=15&c=2024&d=11&e=7&f=2026&s=T&y=0&g=d&ignore=.csv");

  EXPECT_EQ(parse_stock_server(""), std::nullopt);
  EXPECT_EQ(parse_stock_server("quotes.example.org")->port, 80);
  const auto server = parse_stock_server(" 127.0.0.1:8123 ");
  ASSERT_TRUE(server);
  EXPECT_EQ(server->host, "127.0.0.1");
  EXPECT_EQ(server->port, 8123);
  for (const char* bad : {"host:", "host:0", "host:65536", "host:8x", ":80"}) {
    EXPECT_EQ(parse_stock_server(bad), std::nullopt) << bad;
  }

  // Piece by piece as on the whole: LF to CR LF across the pieces, a CR LF
  // becomes CR CR LF, nothing from the first zero byte on.
  const std::string answer = "Date,Open\nline\r\n2\n\n";
  for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
    AnswerText text;
    std::string out;
    text.take(answer.substr(0, cut), out);
    text.take(answer.substr(cut), out);
    EXPECT_EQ(out, "Date,Open\r\nline\r\r\n2\r\n\r\n") << cut;
  }
  AnswerText text;
  std::string out;
  text.take(std::string("ab\0cd", 5), out);
  text.take("ef", out);
  EXPECT_EQ(out, "ab");
  EXPECT_TRUE(text.ended());
}

TEST(Stock, SlicedScanFindsWhatTheWholeScanFindsAndFilesAvoidDevices) {
  const std::string text = "IBM, MSFT and T. ABCDEFGHIJ GOOGLEx A1B USA";
  const std::vector<FoundTicker> whole = scan_tickers(text);
  for (std::size_t slice = 1; slice <= text.size(); ++slice) {
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    while (at < text.size()) {
      at = scan_tickers(text, at, at + slice,
                        [&](std::string_view, std::size_t offset) { offsets.push_back(offset); });
    }
    ASSERT_EQ(offsets.size(), whole.size()) << slice;
    for (std::size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(offsets[i], whole[i].offset);
  }
  EXPECT_EQ(ticker_file_name("IBM"), "IBM.csv");
  for (const char* device : {"CON", "AUX", "NUL", "PRN"}) {
    EXPECT_EQ(ticker_file_name(device), "_" + std::string(device) + ".csv");
  }
}

struct Target {
  int window = 0;
};

// A ticker named twice in one text is fetched once; the worker's last look,
// with nothing queued, still carries the latest command's request.
TEST(StockQueue, LastInFirstOutOnceEachAndTheRequestAtEveryLook) {
  StockQueue<Target> queue;
  queue.set_request({7});
  EXPECT_EQ(queue.push(std::vector<std::string>{"IBM", "MSFT", "IBM", "T"}), 3u);
  EXPECT_TRUE(queue.claim_worker());
  EXPECT_FALSE(queue.claim_worker());  // one runs already
  std::vector<std::string> order;
  for (auto look = queue.next(false); look.symbol; look = queue.next(false)) {
    EXPECT_EQ(look.request.window, 7);
    EXPECT_EQ(look.remain, 3u - order.size());
    order.push_back(*look.symbol);
    queue.fetched();
  }
  EXPECT_EQ(order, (std::vector<std::string>{"T", "MSFT", "IBM"}));
  EXPECT_FALSE(queue.worker_running());

  StockQueue<Target> empty;  // a text with no ticker
  empty.set_request({9});
  EXPECT_TRUE(empty.claim_worker());
  const auto last = empty.next(false);
  EXPECT_FALSE(last.symbol);
  EXPECT_EQ(last.request.window, 9);
  EXPECT_FALSE(empty.worker_running());
}

// Commands on many threads queue while workers drain: every ticker is fetched
// exactly once, none is left waiting without a worker, and the count ends at 0.
TEST(StockQueue, ConcurrentCommandsAndWorkersLeaveNothingBehind) {
  StockQueue<Target> queue;
  std::mutex fetched_lock;
  std::multiset<std::string> fetched;
  std::mutex workers_lock;
  std::vector<std::thread> workers;
  auto worker = [&] {
    for (auto look = queue.next(false); look.symbol; look = queue.next(false)) {
      {
        std::lock_guard hold(fetched_lock);
        fetched.insert(*look.symbol);
      }
      queue.fetched();
    }
  };
  constexpr int kCommands = 8, kTickers = 400;
  std::vector<std::thread> commands;
  for (int c = 0; c < kCommands; ++c) {
    commands.emplace_back([&, c] {
      for (int i = 0; i < kTickers; ++i) {
        queue.set_request({c});
        queue.push(std::vector<std::string>{std::to_string(c) + "-" + std::to_string(i)});
        if (queue.claim_worker()) {
          std::lock_guard hold(workers_lock);
          workers.emplace_back(worker);
        }
      }
    });
  }
  for (std::thread& t : commands) t.join();
  for (std::size_t i = 0;; ++i) {
    std::thread t;
    {
      std::lock_guard hold(workers_lock);
      if (i == workers.size()) break;
      t = std::move(workers[i]);
    }
    t.join();
  }
  EXPECT_EQ(fetched.size(), static_cast<std::size_t>(kCommands * kTickers));
  EXPECT_EQ(std::set<std::string>(fetched.begin(), fetched.end()).size(), fetched.size());
  EXPECT_EQ(queue.queued(), 0u);
  EXPECT_FALSE(queue.worker_running());
}

TEST(Desktop, FilterAndSwaps) {
  EXPECT_TRUE(placement_filter(kStyleVisible));
  EXPECT_FALSE(placement_filter(kStyleVisible | kStylePopup));
  EXPECT_FALSE(placement_filter(0));
  EXPECT_EQ(swapped_state(kShowNormal, kShowNormal, kShowMinimized), kShowMinimized);
  EXPECT_EQ(swapped_state(kShowMinimized, kShowNormal, kShowMinimized), kShowNormal);
  EXPECT_EQ(swapped_state(kShowMaximized, kShowNormal, kShowMinimized), kShowMaximized);
}

TEST(Web, FakeAddressesAreReservedAndHostsAreAddedOnce) {
  const std::string html = fake_email_html(7, 5);
  EXPECT_EQ(html, fake_email_html(7, 5));  // one seed, one text
  std::size_t links = 0;
  for (std::size_t at = 0; (at = html.find("<a href=\"mailto:", at)) != std::string::npos; ++at) {
    ++links;
    const std::size_t end = html.find('"', at + 16);
    const std::string address = html.substr(at + 16, end - at - 16);
    EXPECT_EQ(address.substr(address.size() - 8), ".invalid") << address;
    EXPECT_EQ(address.find_first_not_of("abcdefghijklmnopqrstuvwxyz@."), std::string::npos);
  }
  EXPECT_EQ(links, 5u);

  using H = std::vector<std::string>;
  EXPECT_EQ(ad_server_hosts("ads.example.com http://Track.Example.net/pixel?x=1\r\n"
                            "10.0.0.1 localhost bad_host.com -x.com a..b user@mail.example.org, "
                            "ads.example.com https://cdn.example.net:8443/"),
            (H{"ads.example.com", "track.example.net", "mail.example.org", "cdn.example.net"}));
  EXPECT_EQ(ad_server_hosts("a.com b.com c.com", 2), (H{"a.com", "b.com"}));
  EXPECT_EQ(ad_server_hosts("line\r\n0.0.0.0 evil.com\r\nx"), (H{"evil.com"}));

  const std::string existing = "127.0.0.1 localhost\r\n0.0.0.0 ads.example.com # old\r\n# a.com";
  EXPECT_EQ(hosts_file_addition(existing, {"ads.example.com", "a.com", "b.org"}),
            "\r\n0.0.0.0 a.com\r\n0.0.0.0 b.org\r\n");
  EXPECT_EQ(hosts_file_addition("", {"x.org", "x.org"}), "0.0.0.0 x.org\r\n");
  EXPECT_EQ(hosts_file_addition(existing, {"localhost.example"}), "\r\n0.0.0.0 localhost.example\r\n");
  EXPECT_EQ(hosts_file_addition(existing, {"ads.example.com"}), "");
}

}  // namespace
}  // namespace kestrin
