// A text command on a long text, inside the program: stopped at any point of
// its work the clipboard is as it was; a close while it runs or writes leaves
// nothing half done.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "clipboard/monitor_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "transform/long_command_win.h"
#include "transform/rules.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

constexpr std::size_t kBytes = std::size_t{24} << 20;

std::string long_text(std::mt19937& random) {
  std::string text;
  text.reserve(kBytes);
  while (text.size() < kBytes) {
    text += "some Words  and MORE words\t";
    text += static_cast<char>('a' + random() % 26);
    if (random() % 4 == 0) text += "\r\n";
  }
  return text;
}

class LongCommand : public WindowFixture {
 protected:
  void copy(const std::string& text) {
    ASSERT_TRUE(test::set_clipboard_text(text));
    ASSERT_TRUE(test::wait_until([&] {
      pump();
      return title().find(", " + std::to_string(text.size()) + " bytes,") != std::string::npos;
    }, 30000));
  }
  // Pumps until no command runs.
  bool wait_ended() {
    return test::wait_until([&] {
      pump();
      return !long_command_state(app_);
    }, 60000);
  }
};

// Stopped at a random tenth of its work (property over random cut points):
// the clipboard is byte for byte what it was, or, when the stop came after its
// write had begun, it holds the whole result; never anything else.
TEST_F(LongCommand, AStopAtAnyPointLeavesTheClipboardAsItWas) {
  create();
  std::mt19937 random(5);
  const std::string text = long_text(random);
  copy(text);
  std::string upper = text;
  apply_text_command(IDM_UPPER_CASE, upper, LocalTime{});
  int stopped = 0;
  for (int round = 0; round < 8; ++round) {
    const uint64_t tenth = random() % 10;
    const DWORD sequence = GetClipboardSequenceNumber();
    run_command(app_.main_window, round % 2 ? IDM_UPPER_CASE : IDM_CLEANUP_SINGLE_LINE);
    ASSERT_TRUE(long_command_state(app_)) << "a long text runs on the worker";
    // A second command meanwhile is refused: it does not run, nor wait.
    run_command(app_.main_window, IDM_LOWER_CASE);
    std::optional<LongCommandState> state;
    while ((state = long_command_state(app_)) && !state->writing && state->done * 10 < state->total * tenth) {
      Sleep(0);
    }
    if (state && cancel_long_command(app_)) {
      ++stopped;
      pump();
      EXPECT_EQ(GetClipboardSequenceNumber(), sequence) << round;
      EXPECT_TRUE(test::clipboard_text() == text) << round;
    } else {
      // Too late to stop: it ends with its whole result, which is put back.
      ASSERT_TRUE(wait_ended());
      const std::optional<std::string> now = test::clipboard_text();
      ASSERT_TRUE(now);
      if (round % 2) {
        EXPECT_TRUE(*now == upper) << round;
      }
      copy(text);
    }
    ASSERT_TRUE(wait_ended());
  }
  EXPECT_GT(stopped, 0);
}

// The automatic cleanup of a long copy runs on the worker once: its own
// write is not cleaned up again (as when the write is handled inside it).
TEST_F(LongCommand, TheAutomaticCleanupOfALongCopyRunsOnce) {
  create("[Options]\r\nAutoCleanup=1\r\nAutoCleanupCommand=40064\r\n");  // trailing white space
  std::string text;
  while (text.size() < kBytes) text += "code();   \r\n";
  std::string cleaned = text;
  apply_text_command(IDM_CLEANUP_SOURCE_CODE, cleaned, LocalTime{});
  ASSERT_TRUE(test::set_clipboard_text(text));
  ASSERT_TRUE(test::wait_until([&] {
    pump();
    return !long_command_state(app_) && test::clipboard_text() == cleaned;
  }, 60000));
  const DWORD sequence = GetClipboardSequenceNumber();
  for (int i = 0; i < 20; ++i) {  // what a second cleanup would start
    pump();
    EXPECT_FALSE(long_command_state(app_));
    Sleep(50);
  }
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

// Another program's long copy is read and analysed on the reader's thread:
// the notice returns before it is handled, and the handling that follows has
// the text's figures; a short copy is handled at once, as it always was.
TEST_F(LongCommand, ALongCopyIsHandledWhenItsReadArrives) {
  create();
  std::string text(std::size_t{256} << 20, 'x');
  for (std::size_t i = 100; i < text.size(); i += 100) text[i] = '\n';
  const std::string size = ", " + std::to_string(text.size()) + " bytes,";
  ASSERT_TRUE(test::set_clipboard_text(text));  // its notice comes inside this write
  EXPECT_EQ(title().find(size), std::string::npos) << "read on the window's thread";
  ASSERT_TRUE(test::wait_until([&] {
    pump();
    return title().find(size) != std::string::npos;
  }, 60000));
  EXPECT_EQ(app_.monitor->analysis.line_count, std::count(text.begin(), text.end(), '\n') + 1u);
  EXPECT_TRUE(app_.monitor->analysis.has_line_table());
  copy("short");
}

// Closed while the worker computes, the program's state goes at once and the
// worker ends on its own without touching it; closed while it writes, the
// close waits for the write, which lands whole.
TEST_F(LongCommand, ACloseWhileItRunsOrWritesLeavesNothingHalfDone) {
  std::mt19937 random(9);
  const std::string text = long_text(random);
  std::string upper = text;
  apply_text_command(IDM_UPPER_CASE, upper, LocalTime{});
  for (bool while_writing : {false, true}) {
    auto app = std::make_unique<App>();
    app->instance = app_.instance;
    app->settings_location = app_.settings_location;
    ASSERT_NE(create_main_window(*app), nullptr);
    ASSERT_TRUE(test::set_clipboard_text(text));
    ASSERT_TRUE(test::wait_until([&] {
      pump();
      char t[512] = {};
      GetWindowTextA(app->main_window, t, sizeof t);
      return std::string(t).find(", " + std::to_string(text.size()) + " bytes,") != std::string::npos;
    }, 30000));
    const DWORD sequence = GetClipboardSequenceNumber();
    run_command(app->main_window, IDM_UPPER_CASE);
    ASSERT_TRUE(long_command_state(*app));
    if (while_writing) {
      ASSERT_TRUE(test::wait_until([&] {
        const std::optional<LongCommandState> state = long_command_state(*app);
        return !state || state->writing;
      }, 30000));
    }
    const bool writing = long_command_state(*app) && long_command_state(*app)->writing;
    DestroyWindow(app->main_window);
    app.reset();  // what the worker must never touch again
    Sleep(300);   // time for a worker that was not stopped to come to its end
    const std::optional<std::string> now = test::clipboard_text();
    ASSERT_TRUE(now);
    if (writing) {
      EXPECT_TRUE(*now == upper);
    } else if (!while_writing) {
      EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
      EXPECT_TRUE(*now == text);
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
}

}  // namespace
}  // namespace kestrin
