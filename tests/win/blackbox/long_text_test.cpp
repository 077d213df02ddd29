// Text commands on a 256 MiB clipboard: the window answers all through, the
// status bar shows how far the command has come, Escape and Close stop it with
// the clipboard as it was, and a command run to its end gives the bytes that
// kestrin-text gives.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

constexpr std::size_t kTextBytes = std::size_t{256} << 20;
constexpr UINT kAnswerMs = 2000;  // a round trip's bound, generous for this machine
// While 256 MiB go through Wine's server (into the clipboard, or out of it),
// every program's messages wait for the server: the round trip is bounded by
// that transfer, not by the program.
constexpr UINT kTransferMs = 10000;

class LongText : public ProgramTest {
 protected:
  // Lines of words in both cases, with the odd tab: 256 MiB.
  static const std::string& text() {
    static const std::string made = [] {
      const std::string line = "The quick Brown fox\tjumps over 13 lazy dogs; ZEBRA crossing.\r\n";
      std::string t;
      t.reserve(kTextBytes);
      while (t.size() + line.size() <= kTextBytes) t += line;
      t.append(kTextBytes - t.size(), 'x');
      return t;
    }();
    return made;
  }

  // The program with its status bar, holding the long text handled.
  std::unique_ptr<Kestrin> start_with_text() {
    auto run = start();
    EXPECT_TRUE(run->command(IDM_STATUS_BAR));
    // A write of 256 MiB can fail for a moment on a loaded machine: tried again.
    EXPECT_TRUE(wait_until([] { return set_clipboard_text(text()); }, 60000));
    EXPECT_TRUE(becomes([&] { return window_text(run->window()).find(", 268435456 bytes,") != std::string::npos; },
                        true, 60000));
    return run;
  }

  static std::string status_text(const Kestrin& run) {
    HWND bar = FindWindowExA(run.window(), nullptr, STATUSCLASSNAMEA, nullptr);
    char text[512] = {};
    // WM_GETTEXT gives part 0 and crosses processes (SB_GETTEXT's buffer would not).
    if (bar) SendMessageTimeoutA(bar, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, kAnswerMs, nullptr);
    return text;
  }

  // Until `done`, every WM_NULL round trip is answered within the bound; the
  // round trips that went unanswered.
  static int unanswered_until(const Kestrin& run, const std::function<bool()>& done, DWORD timeout_ms,
                              UINT bound_ms = kAnswerMs) {
    int missed = 0;
    const ULONGLONG until = GetTickCount64() + timeout_ms;
    while (!done() && GetTickCount64() < until) {
      if (!run.send(WM_NULL, 0, 0, bound_ms)) ++missed;
      Sleep(20);
    }
    return missed;
  }

  static bool clipboard_is_the_text() {
    const std::optional<std::string> now = clipboard_text();
    return now && *now == text();
  }
};

TEST_F(LongText, EscapeStopsACommandWithTheClipboardAsItWas) {
  auto run = start_with_text();
  const DWORD sequence = GetClipboardSequenceNumber();
  PROCESS_MEMORY_COUNTERS before{};
  ASSERT_TRUE(GetProcessMemoryInfo(run->process(), &before, sizeof before));
  run->post(WM_COMMAND, IDM_CLEANUP_WORD_PER_LINE);
  // From half a second on, the bar says how far it has come.
  std::string progress;
  EXPECT_EQ(unanswered_until(*run, [&] { return (progress = status_text(*run)).find('%') != std::string::npos; },
                             30000),
            0);
  EXPECT_NE(progress.find("one line per word"), std::string::npos) << progress;
  EXPECT_NE(progress.find("MB/s"), std::string::npos) << progress;
  run->post(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(becomes([&] { return status_text(*run).find("stopped") != std::string::npos; }, true, 500 + kAnswerMs));
  EXPECT_EQ(unanswered_until(*run, [] { return false; }, 1500), 0);
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
  EXPECT_TRUE(clipboard_is_the_text());
  // Escape stopped the command and ran no stamp.
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(LongText, UpperCaseRunToItsEndGivesWhatKestrinTextGives) {
  auto run = start_with_text();
  PROCESS_MEMORY_COUNTERS before{};
  ASSERT_TRUE(GetProcessMemoryInfo(run->process(), &before, sizeof before));
  const DWORD sequence = GetClipboardSequenceNumber();
  run->post(WM_COMMAND, IDM_UPPER_CASE);
  std::string status;
  EXPECT_EQ(unanswered_until(*run, [&] { return (status = status_text(*run)).find("writing") != std::string::npos ||
                                                status.find("done") != std::string::npos; },
                             60000),
            0);
  EXPECT_EQ(unanswered_until(*run, [&] { return status_text(*run).find("done") != std::string::npos; }, 60000,
                             kTransferMs),
            0);
  // A second command while it ran would have been refused with a beep; now
  // the written text's change is handled.
  EXPECT_TRUE(becomes([&] { return GetClipboardSequenceNumber() != sequence; }, true));
  EXPECT_TRUE(becomes([&] { return window_text(run->window()).find(", 268435456 bytes,") != std::string::npos; },
                      true, 60000));
  PROCESS_MEMORY_COUNTERS after{};
  ASSERT_TRUE(GetProcessMemoryInfo(run->process(), &after, sizeof after));
  DWORD code = 999;
  const std::string expected = run_console(beside_kestrin("kestrin-text.exe"), "upper-case", text(), code);
  EXPECT_EQ(code, 0u);
  const std::optional<std::string> written = clipboard_text();
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == expected) << "the clipboard differs from kestrin-text's result";
  // Beside the text it held before (Wine keeps its own copy of a copy made in
  // another program, and the program its text), the command adds its result
  // once, and a few MiB.
  std::printf("working set before the command %zu MiB, peak %zu MiB\n", before.WorkingSetSize >> 20,
              after.PeakWorkingSetSize >> 20);
  EXPECT_LT(after.PeakWorkingSetSize, before.WorkingSetSize + kTextBytes * 12 / 10)
      << "before " << (before.WorkingSetSize >> 20) << " MiB, peak " << (after.PeakWorkingSetSize >> 20) << " MiB";
  EXPECT_EQ(run->close(), 0u);
}

// The read and the analysis of a long copy run off the window's thread: the
// window answers throughout (bounded by Wine's own transfer of the copy).
TEST_F(LongText, ALongCopyArrivingKeepsTheWindowAnswering) {
  auto run = start();
  ASSERT_TRUE(wait_until([] { return set_clipboard_text(text()); }, 60000));
  EXPECT_EQ(unanswered_until(*run, [&] { return window_text(run->window()).find(", 268435456 bytes,") !=
                                                std::string::npos; },
                             60000, kTransferMs),
            0);
  EXPECT_NE(window_text(run->window()).find(", 268435456 bytes,"), std::string::npos);
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(LongText, CloseDuringACommandEndsTheProgramAndLeavesTheClipboard) {
  auto run = start_with_text();
  const DWORD sequence = GetClipboardSequenceNumber();
  run->post(WM_COMMAND, IDM_CLEANUP_WORD_PER_LINE);
  EXPECT_TRUE(becomes([&] { return status_text(*run).find('%') != std::string::npos; }, true, 30000));
  run->post(WM_CLOSE);
  EXPECT_EQ(run->wait_exit(5000), std::optional<DWORD>(0));
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
  EXPECT_TRUE(clipboard_is_the_text());
}

}  // namespace
}  // namespace kestrin::test
