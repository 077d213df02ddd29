// The extras of the real program. Peers.* need the serial line and the stock
// server of peers.py (run through peers_test.sh); the others need nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

using Peers = ProgramTest;
using Desktop = ProgramTest;

const char* peer(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// The settings of a run against the stock server on this port.
std::string stock_ini(const char* port, const std::string& more = "") {
  return "[Options]\r\nStatusWindow=0\r\nStockServer=127.0.0.1:" + std::string(port) + "\r\n" +
         more;
}

// Runs the program in a folder of its own (the fetched files land there).
class Folder {
 public:
  Folder() : dir_(temp_dir()) {
    GetCurrentDirectoryA(sizeof before_, before_);
    SetCurrentDirectoryA(dir_.c_str());
  }
  ~Folder() { SetCurrentDirectoryA(before_); }
  std::string operator/(const std::string& name) const { return dir_ + "\\" + name; }

 private:
  std::string dir_;
  char before_[MAX_PATH] = {};
};

TEST_F(Peers, DialSendsTheCommandToTheModemOnItsPort) {
  const char* log = peer("KESTRIN_PEER_SERIAL_LOG");
  if (!log) GTEST_SKIP() << "needs peers_test.sh";
  auto run = start("[Options]\r\nModemComPort=5\r\n");
  ASSERT_TRUE(run);
  copy("Call (555) 123-4567 today");
  run->post(WM_COMMAND, IDM_DIAL);
  HWND ask = run->wait_for_window("About to dial");
  ASSERT_NE(ask, nullptr);
  press_button(ask, IDOK);
  HWND sent = run->wait_for_window("Sent to modem; Pick up your handset and press OK to talk.");
  ASSERT_NE(sent, nullptr);
  EXPECT_TRUE(becomes([&] { return read_file(log); },
                      std::optional<std::string>("ATDT(555)123-4567\r")));
  press_button(sent, IDOK);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(sent); }));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Peers, PortThatCannotOpenSaysSoOnStandardOutput) {
  if (!peer("KESTRIN_PEER_SERIAL_LOG")) GTEST_SKIP() << "needs peers_test.sh";
  const std::string out = temp_dir() + "\\stdout.txt";
  write_file(windows_ini_path(), "[Options]\r\nModemComPort=0\r\n");
  ASSERT_TRUE(set_clipboard_text("555"));
  auto run = Kestrin::start({.output_file = out});
  ASSERT_TRUE(run && run->window());
  run->post(WM_COMMAND, IDM_DIAL);
  HWND ask = run->wait_for_window("About to dial");
  ASSERT_NE(ask, nullptr);
  press_button(ask, IDOK);
  EXPECT_TRUE(becomes([&] { return read_file(out).value_or("").rfind("Could not open 'COM0:' - Error = ", 0); },
                      std::size_t{0}));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Peers, TickersAreFetchedLastFirstWithTheExactRequests) {
  const char* port = peer("KESTRIN_PEER_PORT");
  const char* requests = peer("KESTRIN_PEER_REQUEST_LOG");
  if (!port || !requests) GTEST_SKIP() << "needs peers_test.sh";
  Folder folder;
  remove_file(requests);
  auto run = start(stock_ini(port));
  ASSERT_TRUE(run);
  copy("IBM, MSFT and T.");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  ASSERT_TRUE(becomes([&] { return window_text(run->window()); },
                      std::string("Information retrieval completed."), 20000));
  const std::string unset = "a=4294967295&b=0&c=0&d=4294967295&e=0&f=0";
  EXPECT_EQ(read_file(requests), "GET /table.csv?" + unset + "&s=T&y=0&g=d&ignore=.csv\n"
                                 "GET /table.csv?" + unset + "&s=MSFT&y=0&g=d&ignore=.csv\n"
                                 "GET /table.csv?" + unset + "&s=IBM&y=0&g=d&ignore=.csv\n");
  EXPECT_EQ(read_file(folder / "MSFT.csv"), "Date,Open\r\nMSFT,1\r\n");

  // An answer larger than the receive buffer arrives whole, translated.
  copy("BIG");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  ASSERT_TRUE(becomes([&] { return window_text(run->window()); },
                      std::string("Information retrieval completed."), 20000));
  const std::string row = "2026-12-07,123.45,125.00,122.10,124.80,1000000\r\n";
  const std::string got = read_file(folder / "BIG.csv").value_or("");
  EXPECT_GT(got.size(), 200u * 1024);
  EXPECT_EQ(got.size() % row.size(), 0u);
  EXPECT_EQ(got.substr(0, row.size()), row);
  EXPECT_EQ(got.substr(got.size() - row.size()), row);
  EXPECT_EQ(run->close(), 0u);
}

// A text without a ticker still ends with its report; a ticker named three
// times is fetched once; a device name gets a file of its own; a server that
// answers nothing leaves the last good file as it was.
TEST_F(Peers, EveryFetchEndsAndNoFetchLosesAFile) {
  const char* port = peer("KESTRIN_PEER_PORT");
  const char* requests = peer("KESTRIN_PEER_REQUEST_LOG");
  if (!port || !requests) GTEST_SKIP() << "needs peers_test.sh";
  Folder folder;
  remove_file(requests);
  auto run = start(stock_ini(port));
  ASSERT_TRUE(run);
  auto fetched = [&] {
    return becomes([&] { return window_text(run->window()); },
                   std::string("Information retrieval completed."), 20000);
  };
  copy("nothing to fetch here");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  EXPECT_TRUE(fetched());

  copy("IBM and CON, IBM, IBM.");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  EXPECT_TRUE(fetched());
  const std::string unset = "a=4294967295&b=0&c=0&d=4294967295&e=0&f=0";
  EXPECT_EQ(read_file(requests), "GET /table.csv?" + unset + "&s=CON&y=0&g=d&ignore=.csv\n"
                                 "GET /table.csv?" + unset + "&s=IBM&y=0&g=d&ignore=.csv\n");
  EXPECT_EQ(read_file(folder / "_CON.csv"), "Date,Open\r\nCON,1\r\n");

  write_file(folder / "CLOSED.csv", "a good earlier answer\r\n");
  copy("CLOSED");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  HWND box = run->wait_for_window("Error");
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  EXPECT_TRUE(fetched());
  EXPECT_EQ(read_file(folder / "CLOSED.csv"), "a good earlier answer\r\n");
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder / "*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);  // nothing of the failed answer stays
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Peers, SilentServerFailsAfterItsTimeOutAndASlowOneDoesNotHoldTheExit) {
  const char* port = peer("KESTRIN_PEER_PORT");
  if (!port) GTEST_SKIP() << "needs peers_test.sh";
  Folder folder;
  auto run = start(stock_ini(port, "StockSilenceSeconds=2\r\n"));
  ASSERT_TRUE(run);
  copy("SILENT");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  HWND box = run->wait_for_window("Error", 15000);  // 2 s of silence
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  EXPECT_TRUE(becomes([&] { return read_file(folder / "SILENT.csv"); },
                      std::optional<std::string>("")));
  ASSERT_TRUE(becomes([&] { return window_text(run->window()); },
                      std::string("Information retrieval completed."), 10000));

  copy("SLOW");
  ASSERT_TRUE(run->command(IDM_FETCH_CSV));
  ASSERT_TRUE(becomes([&] { return read_file(folder / "SLOW.csv"); },
                      std::optional<std::string>("Date,Open\r\n")));
  EXPECT_EQ(run->close(), 0u);  // within the close's own bound, while the fetch waits
}

// A long text full of capitals: the clipboard is free at once, the window
// answers all through the scan, every ticker is queued once, and Close works
// while the worker waits in a failed fetch's box.
TEST_F(Desktop, LongTickerScanKeepsTheWindowAnswering) {
  std::string text;
  text.reserve(10 * 1024 * 1024);
  for (std::size_t i = 0; text.size() < 10 * 1024 * 1024; ++i) {
    const std::size_t n = i % (26 * 26 * 26);
    text += static_cast<char>('A' + n / 676);
    text += static_cast<char>('A' + n / 26 % 26);
    text += static_cast<char>('A' + n % 26);
    text += ' ';
  }
  Folder folder;
  // Nothing listens on the discard port: each fetch fails with a box.
  auto run = start(stock_ini("9"));
  ASSERT_TRUE(run);
  copy(text);
  run->post(WM_COMMAND, IDM_FETCH_CSV);
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(run->send(WM_NULL, 0, 0, 2000).has_value()) << i;
    EXPECT_TRUE(wait_until([] {  // another program can open the clipboard
      if (!OpenClipboard(nullptr)) return false;
      CloseClipboard();
      return true;
    }, 2000)) << i;
  }
  // Last in, first out: the first fetched is the last new ticker of the text,
  // with all 17,576 different ones still counted.
  EXPECT_TRUE(becomes([&] { return window_text(run->window()); },
                      std::string("Getting information for ZZZ, 17576 remain"), 20000));
  EXPECT_NE(run->wait_for_window("Error"), nullptr);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Desktop, WithNoServerSetTheFetchSaysSo) {
  auto run = start();
  ASSERT_TRUE(run);
  copy("IBM");
  run->post(WM_COMMAND, IDM_FETCH_CSV);
  HWND box = run->wait_for_window("Fetch CSV values");
  ASSERT_NE(box, nullptr);
  press_button(box, IDOK);
  ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }));
  EXPECT_EQ(run->close(), 0u);
}

LRESULT CALLBACK plain_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

UINT show_state(HWND window) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);
  return placement.showCmd;
}

// The placement another program asks for reaches this thread's windows as
// messages: they are handled while the state is awaited.
::testing::AssertionResult state_becomes(HWND window, UINT expected) {
  return becomes(
      [&] {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        return show_state(window);
      },
      expected, 5000);
}

// The window operations on windows of this test: each in its state, a hidden
// one and a popup that are never touched.
TEST_F(Desktop, WindowOperationsFollowTheirStatesAndFilter) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = plain_proc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "KestrinTestWindow";
  RegisterClassA(&cls);
  auto make = [&](DWORD style, int show) {
    HWND w = CreateWindowA("KestrinTestWindow", "test", style, 10, 10, 200, 100, nullptr, nullptr,
                           cls.hInstance, nullptr);
    ShowWindow(w, show);
    return w;
  };
  HWND normal = make(WS_OVERLAPPEDWINDOW, SW_SHOWNORMAL);
  HWND minimised = make(WS_OVERLAPPEDWINDOW, SW_SHOWMINIMIZED);
  HWND maximised = make(WS_OVERLAPPEDWINDOW, SW_SHOWMAXIMIZED);
  HWND hidden = make(WS_OVERLAPPEDWINDOW, SW_HIDE);
  HWND popup = make(WS_POPUP, SW_SHOWNORMAL);
  auto run = start();
  ASSERT_TRUE(run);

  ASSERT_TRUE(run->command(IDM_SWAP_MINIMIZED_RESTORED));
  EXPECT_TRUE(state_becomes(normal, SW_SHOWMINIMIZED));
  EXPECT_TRUE(state_becomes(minimised, SW_SHOWNORMAL));
  EXPECT_TRUE(state_becomes(maximised, SW_SHOWMAXIMIZED));  // the third state stays
  EXPECT_TRUE(state_becomes(run->window(), SW_SHOWNORMAL));  // its own window is left alone
  ASSERT_TRUE(run->command(IDM_SWAP_MINIMIZED_MAXIMIZED));
  EXPECT_TRUE(state_becomes(normal, SW_SHOWMAXIMIZED));
  EXPECT_TRUE(state_becomes(maximised, SW_SHOWMINIMIZED));
  EXPECT_TRUE(state_becomes(minimised, SW_SHOWNORMAL));
  ASSERT_TRUE(run->command(IDM_MINIMIZE_ALL));
  for (HWND w : {normal, minimised, maximised, run->window()}) {
    EXPECT_TRUE(state_becomes(w, SW_SHOWMINIMIZED));
  }
  EXPECT_FALSE(IsWindowVisible(hidden));
  EXPECT_FALSE(IsIconic(popup));
  ASSERT_TRUE(run->command(IDM_RESTORE_ALL));
  EXPECT_TRUE(state_becomes(minimised, SW_SHOWNORMAL));  // it was normal before the minimise
  EXPECT_TRUE(state_becomes(run->window(), SW_SHOWNORMAL));
  EXPECT_FALSE(IsWindowVisible(hidden));
  for (HWND w : {normal, minimised, maximised, hidden, popup}) DestroyWindow(w);
  EXPECT_EQ(run->close(), 0u);
}

// The CD Swap countdown, driven tick by tick: its caption, the pause, the close
// at the end. The CD, screen-saver and monitor commands run where the machine
// has none of them.
TEST_F(Desktop, CdSwapCountsDownPausesAndCloses) {
  auto run = start();
  ASSERT_TRUE(run);
  ASSERT_TRUE(run->command(IDM_CD_TRAY));
  ASSERT_TRUE(run->command(IDM_CD_TRAY));
  ASSERT_TRUE(run->command(IDM_SCREEN_SAVER));
  ASSERT_TRUE(run->command(IDM_MONITOR_LOW_POWER));
  ASSERT_TRUE(run->command(IDM_MONITOR_OFF));

  run->post(WM_COMMAND, IDM_CD_SWAP);
  HWND swap = run->wait_for_window("CD Swap");
  ASSERT_NE(swap, nullptr);
  auto remaining = [&] {
    const std::string caption = window_text(swap);
    const std::string head = "Auto-closing CD in ";
    return caption.rfind(head, 0) == 0 ? std::atoi(caption.c_str() + head.size()) : 15;
  };
  auto tick = [&] { SendMessageA(swap, WM_TIMER, 0, 0); };
  tick();
  const int first = remaining();
  EXPECT_LE(first, 14);
  SendMessageA(swap, WM_COMMAND, IDCANCEL, 0);  // Pause
  const int paused = remaining();
  tick();
  tick();
  EXPECT_EQ(remaining(), paused);  // the count stands still
  SendMessageA(swap, WM_COMMAND, IDCANCEL, 0);  // and goes on
  tick();
  EXPECT_LT(remaining(), paused);
  for (int i = 0; i < 15 && IsWindow(swap); ++i) tick();
  EXPECT_TRUE(wait_until([&] { return !IsWindow(swap); }));  // closed by the countdown
  EXPECT_TRUE(run->sync());
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
