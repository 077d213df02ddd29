// The change handling and the viewer on the real main window, in this process.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "clipboard/analysis_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"
#include "clipboard/change_win.h"
#include "res/resource.h"
#include "text_format.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Monitor = WindowFixture;

SCROLLINFO bar_of(HWND window, int bar) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window, bar, &info);
  return info;
}

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
  EXPECT_EQ(app_.monitor->self_change, 0);
  EXPECT_EQ(app_.monitor->change_depth, 0);
}

// A notice that finds the clipboard as the last handling left it (re-posted,
// queued behind a copy already handled, sent for rendering a format) is only
// passed on: handling it again joined the joined text onto itself.
TEST_F(Monitor, RepeatedNoticeOfOneChangeJoinsNothing) {
  ASSERT_TRUE(test::set_clipboard_text("a"));
  HWND window = create("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n");
  pump();
  ASSERT_TRUE(test::set_clipboard_text("b"));
  pump();
  EXPECT_EQ(test::clipboard_text(), "a b");
  for (int i = 0; i < 3; ++i) SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  PostMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  pump();
  EXPECT_EQ(test::clipboard_text(), "a b");
  ASSERT_TRUE(test::set_clipboard_text("b"));  // the same text again is a new copy
  pump();
  EXPECT_EQ(test::clipboard_text(), "a b b");
}

TEST_F(Monitor, LineTableBeyondItsLimitFallsBackToTheWholeText) {
  HWND window = create();
  app_.monitor->line_table_limit = 2;
  ASSERT_TRUE(write_clipboard_text(window, "one\r\ntwo\r\nthree"));
  pump();
  EXPECT_FALSE(app_.monitor->analysis.has_line_table());
  EXPECT_EQ(app_.monitor->analysis.line_count, 3u);
  EXPECT_EQ(title().rfind("Text: 3 lines, ", 0), 0u) << title();
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(app_.monitor->analysis.size, 15u);  // the paint measured the text again
}

TEST_F(Monitor, TextBlockWithoutNulEndsAtTheBlock) {
  HWND window = create();
  ASSERT_TRUE(test::set_clipboard_data(CF_TEXT, "abcde"));  // five bytes, no NUL
  pump();
  SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  EXPECT_LE(app_.monitor->analysis.size, 5u + 16u);  // never past the block
  EXPECT_EQ(app_.monitor->analysis.line_count, 1u);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(Monitor, DebugDisplayListsTheFormats) {
  HWND window = create("[Options]\r\nDebugClipboardTypes=1\r\n");
  ASSERT_TRUE(test::set_clipboard_text("listed"));
  SendMessageA(window, WM_DRAWCLIPBOARD, 0, 0);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

  // The paint lists every format; the status text keeps the change's line.
  const std::string status = app_.monitor->status_text.data();
  ASSERT_TRUE(OpenClipboard(nullptr));
  const std::vector<std::string> listing = format_listing();
  const int count = CountClipboardFormats();
  UINT format = 0;
  for (int i = 0; i < count; ++i) format = EnumClipboardFormats(format);
  char name[256] = {};
  const char* known = standard_format_name(format);
  if (!known && GetClipboardFormatNameA(format, name, sizeof name) > 0) known = name;
  CloseClipboard();
  char expected[512];
  format_listing_line(expected, sizeof expected, count - 1, format, known);
  ASSERT_EQ(listing.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(listing.back(), expected);
  EXPECT_EQ(listing.front().substr(0, 3), "  0");
  EXPECT_EQ(status.rfind("Text: 1 lines", 0), 0u) << status;
  EXPECT_EQ(app_.monitor->analysis.size, 0u);  // the debug display draws no text

  SendMessageA(window, WM_COMMAND, IDM_DEBUG_DISPLAY, 0);  // back to the contents
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW);
  EXPECT_EQ(app_.monitor->analysis.size, 6u);
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
    EXPECT_EQ(app_.frame.tray_icon_count, c.icons) << c.text << " " << c.append;
    // The icons at the size the tray asks for at the window's DPI.
    auto icon = [&](int id) { return app_.frame.tray_icon_set[static_cast<std::size_t>(id - IDI_PROGRAM)].get(); };
    EXPECT_EQ(app_.frame.tray_icons[0], icon(IDI_PROGRAM));
    if (c.icons == 2 || c.icons == 4) {
      EXPECT_EQ(app_.frame.tray_icons[1], icon(IDI_SHORT_TAIL));
    }
    if (c.append) {
      EXPECT_EQ(app_.frame.tray_icons[c.icons - 1], icon(IDI_APPEND_2));
    }
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(app_.frame.tray_icons[0], &info));
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, GetSystemMetrics(SM_CXSMICON));
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    app_.settings.Append = 0;
    app_.monitor->snapshot.reset();
  }
}

std::string status_part(HWND bar, int part) {
  char text[256] = {};
  SendMessageA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
  return text;
}

TEST_F(Monitor, AppendToggleTellsTheStatusBarAndSeparatorsMoveTheirMark) {
  HWND window = create("[Options]\r\nStatusWindow=1\r\nDisplayMainMenu=1\r\n");
  ASSERT_NE(app_.frame.status_bar, nullptr);
  SendMessageA(window, WM_COMMAND, IDM_APPEND, 0);
  EXPECT_EQ(status_part(app_.frame.status_bar, 0), "Append mode enabled");
  SendMessageA(window, WM_COMMAND, IDM_APPEND_OPTIONS, 0);
  EXPECT_EQ(status_part(app_.frame.status_bar, 0), "Append mode disabled");

  SendMessageA(window, WM_COMMAND, IDM_APPEND_SPACE, 0);
  SendMessageA(window, WM_COMMAND, IDM_APPEND_FORM_FEED, 0);
  for (HMENU menu : {app_.frame.main_menu, app_.frame.tray_menu}) {
    EXPECT_FALSE(GetMenuState(menu, IDM_APPEND_SPACE, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(menu, IDM_APPEND_FORM_FEED, MF_BYCOMMAND) & MF_CHECKED);
  }
  EXPECT_EQ(app_.settings.AppendWith, IDM_APPEND_FORM_FEED);
}

// The debug records of "&Delete" are formatted apart: the status text keeps
// what the change handling said of the emptied clipboard.
TEST_F(Monitor, DeleteWithDebugRecordsLeavesTheStatusTextToTheChange) {
  HWND window = create("[Options]\r\nDebugLogging=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "gone"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_DELETE, 0);
  EXPECT_EQ(test::clipboard_text(), std::nullopt);
  EXPECT_STREQ(app_.monitor->status_text.data(), "Clipboard is empty or contains unfamiliar format.");
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(app_.viewer.clipboard_empty);
}

TEST_F(Monitor, AutoScrollGoesToTheEnd) {
  HWND window = create("[Options]\r\nAutoScrollClipboard=1\r\n");
  std::string text;
  for (int i = 0; i < 500; ++i) text += "line\r\n";
  ASSERT_TRUE(write_clipboard_text(window, text));
  pump();
  const SCROLLINFO bar = bar_of(window, SB_VERT);
  EXPECT_EQ(bar.nMax, 501);
  EXPECT_GT(bar.nPos, 0);
  EXPECT_EQ(static_cast<UINT>(bar.nPos), 501 - bar.nPage);  // SB_BOTTOM: max - page
}


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
  EXPECT_EQ(status_part(app_.frame.status_bar, 0), "Found Nero Audio Tracks, perhaps!");
  EXPECT_EQ(title(), "before");
  EXPECT_FALSE(app_.monitor->analysis.has_line_table());
}


TEST_F(Monitor, RecipeMovesItsCheckMarkInBothMenusAndBecomesTheAutomaticOne) {
  HWND window = create("[Options]\r\nDisplayMainMenu=1\r\nAutoCleanup=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "  x  \r\n"));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_CLEANUP_SINGLE_SPACED, 0);
  SendMessageA(window, WM_COMMAND, IDM_CLEANUP_SOURCE_CODE, 0);
  for (HMENU menu : {app_.frame.main_menu, app_.frame.tray_menu}) {
    EXPECT_FALSE(GetMenuState(menu, IDM_CLEANUP_SINGLE_SPACED, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(menu, IDM_CLEANUP_SOURCE_CODE, MF_BYCOMMAND) & MF_CHECKED);
  }
  EXPECT_EQ(app_.settings.AutoCleanupCommand, IDM_CLEANUP_SOURCE_CODE);
  // The next copy is cleaned by "Source code" (trailing white space only).
  ASSERT_TRUE(write_clipboard_text(window, "  kept  \r\nx"));
  pump();
  EXPECT_EQ(test::clipboard_text(), "  kept\r\nx");
  EXPECT_EQ(app_.monitor->auto_clean_guard, 0);
  EXPECT_EQ(app_.monitor->self_change, 0);
}

TEST_F(Monitor, AutomaticCleanupToggleTwiceLeavesItAsItWas) {
  HWND window = create();
  const int32_t before = app_.settings.AutoCleanup;
  SendMessageA(window, WM_COMMAND, IDM_AUTO_CLEANUP, 0);
  EXPECT_NE(app_.settings.AutoCleanup, before);
  SendMessageA(window, WM_COMMAND, IDM_AUTO_CLEANUP, 0);
  EXPECT_EQ(app_.settings.AutoCleanup, before);
}


TEST_F(Monitor, OpeningAMenuAppliesItsStatesToBothMenus) {
  HWND window = create("[Options]\r\nAlwaysOnTop=1\r\n");
  ASSERT_TRUE(write_clipboard_text(window, "f(x a/b"));
  pump();
  SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(app_.frame.tray_menu), 0);
  for (HMENU menu : {app_.frame.tray_menu, app_.frame.main_menu}) {  // the bar is detached, and set too
    EXPECT_TRUE(GetMenuState(menu, IDM_REMOVE_PARENTHESES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(menu, IDM_FORWARD_TO_REVERSE_SLASHES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, IDM_REVERSE_TO_FORWARD_SLASHES, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(menu, IDM_DELETE, MF_BYCOMMAND) & MF_GRAYED);
  }
  SendMessageA(window, WM_COMMAND, IDM_WINDOW_TO_BOTTOM, 0);
  SendMessageA(window, WM_INITMENU, reinterpret_cast<WPARAM>(app_.frame.main_menu), 0);
  EXPECT_FALSE(GetMenuState(app_.frame.main_menu, IDM_ALWAYS_ON_TOP, MF_BYCOMMAND) & MF_CHECKED);
}


// Whether any pixel of the client rectangle `area` has `colour`, as painted.
bool painted(HWND window, RECT area, COLORREF colour) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(window);
  bool found = false;
  for (LONG y = area.top; y < area.bottom && !found; ++y) {
    for (LONG x = area.left; x < area.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  }
  ReleaseDC(window, dc);
  return found;
}

// Gives the window a client area of `width` by `height` pixels.
void set_client_size(HWND window, int width, int height) {
  RECT outer{}, inner{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &inner);
  SetWindowPos(window, nullptr, 0, 0, width + (outer.right - outer.left) - inner.right,
               height + (outer.bottom - outer.top) - inner.bottom,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kErase = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);

TEST_F(Monitor, BitmapIsDrawnTopLeftAndPagesRightByOneLessThanItsPage) {
  HWND window = create("[Options]\r\nState=1\r\nStatusWindow=0\r\n");
  ShowWindow(window, SW_SHOWNORMAL);
  set_client_size(window, 400, 300);

  // Smaller than the text area: nothing to scroll, drawn at the top left.
  ASSERT_TRUE(test::set_clipboard_data(CF_DIB, test::make_dib(4, 3, 0x00FF0000)));
  pump();
  EXPECT_EQ(title().rfind("Bitmap: 4x3 (400x", 0), 0u) << title();
  EXPECT_TRUE(painted(window, {0, 0, 1, 1}, kRed));
  EXPECT_FALSE(painted(window, {4, 0, 12, 12}, kRed));  // beyond it the erase brush
  EXPECT_TRUE(painted(window, {4, 0, 12, 12}, kErase));
  EXPECT_EQ(bar_of(window, SB_HORZ).nPos, 0);
  EXPECT_EQ(bar_of(window, SB_VERT).nPos, 0);

  // 1000 pixels wide in a 400-pixel area: Page Right moves by page - 1.
  ASSERT_TRUE(test::set_clipboard_data(CF_DIB, test::make_dib(1000, 3, 0x00FF0000)));
  pump();
  SCROLLINFO horizontal = bar_of(window, SB_HORZ);
  EXPECT_EQ(horizontal.nMax, 1000);
  EXPECT_EQ(horizontal.nPage, 400u);
  SendMessageA(window, WM_HSCROLL, SB_PAGERIGHT, 0);
  EXPECT_EQ(bar_of(window, SB_HORZ).nPos, 399);
  EXPECT_TRUE(painted(window, {0, 0, 1, 1}, kRed));  // the rest of it, from the left edge
  EXPECT_FALSE(painted(window, {0, 3, 8, 8}, kRed));
}

TEST_F(Monitor, ThumbPositionDrawsItsLineAtTheTop) {
  HWND window = create("[Options]\r\nState=1\r\nStatusWindow=0\r\n");
  ShowWindow(window, SW_SHOWNORMAL);
  std::string text;
  for (int i = 0; i < 100; ++i) text += i == 80 ? "MMMMMMMM\r\n" : "\r\n";
  ASSERT_TRUE(write_clipboard_text(window, text));
  pump();
  ASSERT_GT(app_.viewer.line_height, 0);
  set_client_size(window, 300, 20 * app_.viewer.line_height);  // a page of 21 lines, as the bar allows 80
  ASSERT_EQ(bar_of(window, SB_VERT).nPage, 21u);
  const RECT first_line{0, 0, 60, app_.viewer.line_height};
  EXPECT_FALSE(painted(window, first_line, kYellow));

  SendMessageA(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 80), 0);
  EXPECT_EQ(bar_of(window, SB_VERT).nPos, 80);
  EXPECT_EQ(title().rfind("min: 0, max: 101, pos: 80, page: ", 0), 0u) << title();
  EXPECT_TRUE(painted(window, first_line, kYellow));
  const RECT second_line{0, app_.viewer.line_height, 60, 2 * app_.viewer.line_height};
  EXPECT_FALSE(painted(window, second_line, kYellow));
}

TEST_F(Monitor, EmptyClipboardDrawsNothingAndEmptiesBothBars) {
  HWND window = create("[Options]\r\nState=1\r\nStatusWindow=0\r\n");
  ShowWindow(window, SW_SHOWNORMAL);
  std::string text;
  for (int i = 0; i < 100; ++i) text += "MMMM\r\n";
  ASSERT_TRUE(write_clipboard_text(window, text));
  pump();
  EXPECT_TRUE(painted(window, {0, 0, 40, 8}, kYellow));
  EXPECT_FALSE(app_.viewer.clipboard_empty);

  ASSERT_TRUE(test::empty_clipboard());
  pump();
  EXPECT_FALSE(painted(window, {0, 0, 40, 8}, kYellow));
  EXPECT_TRUE(app_.viewer.clipboard_empty);
  for (int bar : {SB_VERT, SB_HORZ}) {
    const SCROLLINFO info = bar_of(window, bar);
    EXPECT_EQ(info.nMax, 0);
    EXPECT_EQ(info.nPage, 0u);
    EXPECT_EQ(info.nPos, 0);
  }
}

}  // namespace
}  // namespace kestrin
