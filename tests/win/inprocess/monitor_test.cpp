// The change handling and the viewer on the real main window, in this process.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "clipboard/change.h"
#include "res/resource.h"
#include "text_format.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Monitor = WindowFixture;

TEST_F(Monitor, OwnWriteIsNotJoinedAndTheNextCopyJoinsOntoIt) {
  ASSERT_TRUE(test::set_clipboard_text("a"));
  HWND window = create("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n");
  pump();
  {
    SelfChangeScope own(app_);
    ASSERT_TRUE(write_clipboard_text(window, "A"));  // as a transformation would
  }
  pump();
  EXPECT_EQ(test::clipboard_text(), "A");
  // A write without the counter is a copy like any other (Open, Recall).
  ASSERT_TRUE(write_clipboard_text(window, "b"));
  pump();
  EXPECT_EQ(test::clipboard_text(), "A b");
  EXPECT_EQ(app_.self_change, 0);
  EXPECT_EQ(app_.change_depth, 0);
}

TEST_F(Monitor, LineTableBeyondItsLimitFallsBackToTheWholeText) {
  HWND window = create();
  app_.line_table_limit = 2;
  ASSERT_TRUE(write_clipboard_text(window, "one\r\ntwo\r\nthree"));
  pump();
  EXPECT_FALSE(app_.analysis.has_line_table());
  EXPECT_EQ(app_.analysis.line_count, 3u);
  EXPECT_EQ(title().rfind("Text: 3 lines, ", 0), 0u) << title();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(app_.analysis.size, 15u);  // the paint measured the text again
}

TEST_F(Monitor, TextBlockWithoutNulEndsAtTheBlock) {
  HWND window = create();
  ASSERT_TRUE(test::set_clipboard_data(CF_TEXT, "abcde"));  // five bytes, no NUL
  pump();
  SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  EXPECT_LE(app_.analysis.size, 5u + 16u);  // never past the block
  EXPECT_EQ(app_.analysis.line_count, 1u);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(Monitor, DebugDisplayListsTheFormats) {
  HWND window = create("[Options]\r\nDebugClipboardTypes=1\r\n");
  ASSERT_TRUE(test::set_clipboard_text("listed"));
  SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

  // The paint formats each line into the status text: the last one stays.
  ASSERT_TRUE(OpenClipboard(nullptr));
  const int count = CountClipboardFormats();
  UINT format = 0;
  for (int i = 0; i < count; ++i) format = EnumClipboardFormats(format);
  char name[256] = {};
  const char* known = standard_format_name(format);
  if (!known && GetClipboardFormatNameA(format, name, sizeof name) > 0) known = name;
  CloseClipboard();
  char expected[512];
  format_listing_line(expected, sizeof expected, count - 1, format, known);
  EXPECT_STREQ(app_.status_text.data(), expected);
  EXPECT_EQ(app_.analysis.size, 0u);  // the debug display draws no text

  SendMessageA(window, WM_COMMAND, IDM_DEBUG_DISPLAY, 0);  // back to the contents
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW);
  EXPECT_EQ(app_.analysis.size, 6u);
}

TEST_F(Monitor, TrayAnimationFollowsAppendAndShortTail) {
  HWND window = create();
  struct Case {
    const char* text;
    bool append;
    std::size_t icons;
  };
  const std::string long_text(5000, 'x');
  for (const Case& c : {Case{long_text.c_str(), false, 1}, Case{"short", false, 2},
                        Case{long_text.c_str(), true, 3}, Case{"short", true, 4}}) {
    app_.settings.Append = c.append ? 1 : 0;
    ASSERT_TRUE(write_clipboard_text(window, c.text));
    pump();
    EXPECT_EQ(app_.tray_icon_count, c.icons) << c.text << " " << c.append;
    EXPECT_EQ(app_.tray_icons[0], LoadIconA(app_.instance, MAKEINTRESOURCEA(IDI_PROGRAM)));
    if (c.icons == 2 || c.icons == 4) {
      EXPECT_EQ(app_.tray_icons[1], LoadIconA(app_.instance, MAKEINTRESOURCEA(IDI_SHORT_TAIL)));
    }
    if (c.append) {
      EXPECT_EQ(app_.tray_icons[c.icons - 1],
                LoadIconA(app_.instance, MAKEINTRESOURCEA(IDI_APPEND_2)));
    }
    app_.settings.Append = 0;
    app_.snapshot = GlobalBlock();
  }
}

std::string status_part(HWND bar, int part) {
  char text[256] = {};
  SendMessageA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
  return text;
}

TEST_F(Monitor, AppendToggleTellsTheStatusBarAndSeparatorsMoveTheirMark) {
  HWND window = create("[Options]\r\nStatusWindow=1\r\nDisplayMainMenu=1\r\n");
  ASSERT_NE(app_.status_bar, nullptr);
  SendMessageA(window, WM_COMMAND, IDM_APPEND, 0);
  EXPECT_EQ(status_part(app_.status_bar, 0), "Append mode enabled");
  SendMessageA(window, WM_COMMAND, IDM_APPEND_OPTIONS, 0);
  EXPECT_EQ(status_part(app_.status_bar, 0), "Append mode disabled");

  SendMessageA(window, WM_COMMAND, IDM_APPEND_SPACE, 0);
  SendMessageA(window, WM_COMMAND, IDM_APPEND_FORM_FEED, 0);
  for (HMENU menu : {app_.main_menu, app_.tray_menu}) {
    EXPECT_FALSE(GetMenuState(menu, IDM_APPEND_SPACE, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(menu, IDM_APPEND_FORM_FEED, MF_BYCOMMAND) & MF_CHECKED);
  }
  EXPECT_EQ(app_.settings.AppendWith, IDM_APPEND_FORM_FEED);
}

TEST_F(Monitor, DeleteWritesItsDebugRecordsIntoTheStatusText) {
  HWND window = create("[Options]\r\nDebugLogging=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "gone"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_DELETE, 0);
  EXPECT_EQ(test::clipboard_text(), std::nullopt);
  EXPECT_EQ(std::string(app_.status_text.data()).rfind("Deleted; the buffer is ", 0), 0u)
      << app_.status_text.data();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(app_.clipboard_empty);
}

TEST_F(Monitor, AutoScrollGoesToTheEnd) {
  HWND window = create("[Options]\r\nAutoScrollClipboard=1\r\n");
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line\r\n";
  ASSERT_TRUE(write_clipboard_text(window, text));
  pump();
  SCROLLINFO bar{};
  bar.cbSize = sizeof bar;
  bar.fMask = SIF_ALL;
  GetScrollInfo(window, SB_VERT, &bar);
  EXPECT_EQ(bar.nMax, 501);
  EXPECT_GT(bar.nPos, 0);
  EXPECT_EQ(static_cast<UINT>(bar.nPos), 501 - bar.nPage);  // SB_BOTTOM: max - page
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

// Format 49862 is a registered format: the system numbers registrations in
// turn, so the test registers names until it reaches that number.
UINT register_until(UINT wanted) {
  for (int i = 0; i < 0x4000; ++i) {
    const std::string name = "kestrin-format-" + std::to_string(i);
    const UINT got = RegisterClipboardFormatA(name.c_str());
    if (got == wanted || got == 0 || got > wanted) return got;
  }
  return 0;
}

TEST_F(Monitor, NeroFormatIsReportedInTheStatusBarOnly) {
  if (register_until(kNeroFormat) != kNeroFormat) GTEST_SKIP() << "format 49862 not reachable";
  HWND window = create("[Options]\r\nStatusWindow=1\r\n");
  SetWindowTextA(window, "before");
  ASSERT_TRUE(test::set_clipboard_data(kNeroFormat, "tracks"));
  SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  EXPECT_EQ(status_part(app_.status_bar, 0), "Found Nero Audio Tracks, perhaps!");
  EXPECT_EQ(title(), "before");
  EXPECT_FALSE(app_.analysis.has_line_table());
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

TEST_F(Monitor, RecipeMovesItsCheckMarkInBothMenusAndBecomesTheAutomaticOne) {
  HWND window = create("[Options]\r\nDisplayMainMenu=1\r\nAutoCleanup=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "  x  \r\n"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_CLEANUP_SINGLE_SPACED, 0);
  SendMessageA(window, WM_COMMAND, IDM_CLEANUP_SOURCE_CODE, 0);
  for (HMENU menu : {app_.main_menu, app_.tray_menu}) {
    EXPECT_FALSE(GetMenuState(menu, IDM_CLEANUP_SINGLE_SPACED, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(menu, IDM_CLEANUP_SOURCE_CODE, MF_BYCOMMAND) & MF_CHECKED);
  }
  EXPECT_EQ(app_.settings.AutoCleanupCommand, IDM_CLEANUP_SOURCE_CODE);
  // The next copy is cleaned by "Source code" (trailing white space only).
  ASSERT_TRUE(write_clipboard_text(window, "  kept  \r\nx"));
  pump();
  EXPECT_EQ(test::clipboard_text(), "  kept\r\nx");
  EXPECT_EQ(app_.auto_clean_guard, 0);
  EXPECT_EQ(app_.self_change, 0);
}

TEST_F(Monitor, AutomaticCleanupToggleTwiceLeavesItAsItWas) {
  HWND window = create();
  const int32_t before = app_.settings.AutoCleanup;
  SendMessageA(window, WM_COMMAND, IDM_AUTO_CLEANUP, 0);
  EXPECT_NE(app_.settings.AutoCleanup, before);
  SendMessageA(window, WM_COMMAND, IDM_AUTO_CLEANUP, 0);
  EXPECT_EQ(app_.settings.AutoCleanup, before);
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

TEST_F(Monitor, OpeningAMenuAppliesItsStatesToBothMenus) {
  HWND window = create("[Options]\r\nAlwaysOnTop=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "f(x a/b"));
  pump();
  SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(app_.tray_menu), 0);
  for (HMENU menu : {app_.tray_menu, app_.main_menu}) {  // the bar is detached, and set too
    EXPECT_TRUE(GetMenuState(menu, IDM_REMOVE_PARENTHESES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(menu, IDM_FORWARD_TO_REVERSE_SLASHES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, IDM_REVERSE_TO_FORWARD_SLASHES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(menu, IDM_DELETE, MF_BYCOMMAND) & MF_GRAYED);
  }
  SendMessageA(window, WM_COMMAND, IDM_WINDOW_TO_BOTTOM, 0);
  SendMessageA(window, WM_INITMENU, reinterpret_cast<WPARAM>(app_.main_menu), 0);
  EXPECT_FALSE(GetMenuState(app_.main_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
}

}  // namespace
}  // namespace kestrin
