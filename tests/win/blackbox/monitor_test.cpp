// The clipboard monitor of the real program: append mode, the chain, the
// title lines, the keys and wheel, the floating status window.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

class Monitor : public ProgramTest {
 protected:
  // Another program copies text (the test then waits for what should follow).
  static void copy(const std::string& text) { ASSERT_TRUE(set_clipboard_text(text)); }
  ::testing::AssertionResult clipboard_becomes(const std::optional<std::string>& text) const {
    return text ? handled(*text) : becomes(clipboard_text, text);
  }
};

TEST_F(Monitor, AppendWithSingleNewLineJoinsEachCopy) {
  auto run = start("", "a");
  ASSERT_TRUE(run->command(IDM_APPEND_NEW_LINE));
  ASSERT_TRUE(run->command(IDM_APPEND));  // the snapshot is "a"
  copy("b");
  EXPECT_TRUE(clipboard_becomes("a\r\nb"));
  copy("c");
  EXPECT_TRUE(clipboard_becomes("a\r\nb\r\nc"));
  copy("c");  // the same text again is joined again
  EXPECT_TRUE(clipboard_becomes("a\r\nb\r\nc\r\nc"));
  EXPECT_EQ(run->close(), 0u);
  const std::string ini = read_file(windows_ini_path()).value_or("");
  EXPECT_EQ(ini_value(ini, "Options", "Append"), "1");
  EXPECT_EQ(ini_value(ini, "Options", "AppendWith"), "40159");
}

TEST_F(Monitor, EachSeparator) {
  const std::vector<std::pair<unsigned, std::string>> cases = {
      {IDM_APPEND_NO_SEPARATOR, "ab"},
      {IDM_APPEND_SPACE, "a b"},
      {IDM_APPEND_DOUBLE_NEW_LINE, "a\r\n\r\nb"},
      {IDM_APPEND_FORM_FEED, "a\x0C" "b"}};
  for (const auto& [separator, joined] : cases) {
    auto run = start("", "a");
    ASSERT_TRUE(run->command(separator));
    ASSERT_TRUE(run->command(IDM_APPEND_OPTIONS));
    copy("b");
    EXPECT_TRUE(clipboard_becomes(joined)) << separator;
    EXPECT_EQ(run->close(), 0u);
    remove_file(windows_ini_path());
  }
}

TEST_F(Monitor, AbsentOrForeignSeparatorJoinsWithADoubleNewLine) {
  // Append on at start without AppendWith: it reads as 1, no separator command.
  for (const char* ini : {"[Options]\r\nAppend=1\r\n",
                          "[Options]\r\nAppend=1\r\nAppendWith=40162\r\n"}) {
    auto run = start(ini, "a");  // the first change at start takes the snapshot
    copy("b");
    EXPECT_TRUE(clipboard_becomes("a\r\n\r\nb")) << ini;
    copy("");  // an empty text joins as the separator alone
    EXPECT_TRUE(clipboard_becomes("a\r\n\r\nb\r\n\r\n")) << ini;
    EXPECT_EQ(run->close(), 0u);
    remove_file(windows_ini_path());
  }
}

// Twenty copies made back to back by another program: the change notices queue
// up behind the first join, and each of them once joined the joined text onto
// itself again (2^19 copies of it). A copy replaced before the program could
// read it may be missed; none may appear twice, and their order stays.
TEST_F(Monitor, BurstOfCopiesIsJoinedAtMostOnceEach) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40159\r\n", "SSSS");
  ASSERT_TRUE(run->sync());
  std::vector<std::string> copies;
  for (int i = 1; i <= 20; ++i) {
    copies.push_back("copy " + std::to_string(100 + i));
    ASSERT_TRUE(set_clipboard_text(copies.back()));
  }
  auto ends_with_last = [&] {
    const std::string text = clipboard_text().value_or("");
    return text.size() >= copies.back().size() &&
           text.compare(text.size() - copies.back().size(), std::string::npos,
                        copies.back()) == 0;
  };
  ASSERT_TRUE(becomes(ends_with_last, true));
  // Settled: the text stays the same over several round trips.
  std::string joined;
  ASSERT_TRUE(becomes(
      [&] {
        for (int i = 0; i < 5; ++i) run->sync();
        const std::string now = clipboard_text().value_or("");
        return std::exchange(joined, now) == now;
      },
      true));
  std::vector<std::string> lines;
  for (std::size_t at = 0;;) {
    const std::size_t end = joined.find("\r\n", at);
    lines.push_back(joined.substr(at, end == std::string::npos ? end : end - at));
    if (end == std::string::npos) break;
    at = end + 2;
  }
  ASSERT_GE(lines.size(), 2u) << joined.substr(0, 200);
  EXPECT_EQ(lines.front(), "SSSS");
  EXPECT_EQ(lines.back(), copies.back());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_NE(std::find(copies.begin(), copies.end(), lines[i]), copies.end()) << lines[i];
    if (i > 1) {
      ASSERT_LT(lines[i - 1], lines[i]) << "out of order or twice";
    }
  }
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Monitor, BitmapEndsTheAccumulation) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n", "a");
  copy("b");
  EXPECT_TRUE(clipboard_becomes("a b"));
  ASSERT_TRUE(set_clipboard_data(CF_DIB, make_dib(4, 3, 0x00FF0000)));
  EXPECT_TRUE(becomes([&] { return window_text(run->window()).rfind("Bitmap: 4x3 (", 0); },
                      std::size_t{0}));
  EXPECT_EQ(clipboard_text(), std::nullopt);
  copy("c");  // starts a new accumulation
  EXPECT_TRUE(clipboard_becomes("c"));
  copy("d");
  EXPECT_TRUE(clipboard_becomes("c d"));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Monitor, CopyOfTextWithOtherFormatsLeavesOnlyTheJoinedText) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n", "a");
  const UINT rich = registered_format("Rich Text Format");
  ASSERT_TRUE(set_clipboard_formats({{CF_TEXT, std::string("b\0", 2)},
                                     {rich, "{\\rtf1 b}"},
                                     {CF_DIB, make_dib(2, 2, 0)}}));
  EXPECT_TRUE(clipboard_becomes("a b"));
  ASSERT_TRUE(run->sync());
  EXPECT_FALSE(IsClipboardFormatAvailable(rich));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Monitor, DeleteInAppendModeEmptiesAndForgets) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n", "a");
  copy("b");
  ASSERT_TRUE(clipboard_becomes("a b"));
  ASSERT_TRUE(run->command(IDM_DELETE));
  EXPECT_EQ(clipboard_text(), std::nullopt);
  EXPECT_TRUE(title_becomes("Clipboard is empty or contains unfamiliar format."));
  copy("x");
  EXPECT_TRUE(clipboard_becomes("x"));  // nothing left to join onto
  copy("y");
  EXPECT_TRUE(clipboard_becomes("x y"));  // append mode stayed on
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Monitor, ClearRequestLeavesAppendModeAndEmptiesTheClipboard) {
  auto run = start("[Options]\r\nAppend=1\r\n", "kept until cleared");
  ASSERT_TRUE(run->send(WM_KESTRIN_CLEAR).has_value());
  EXPECT_EQ(clipboard_text(), std::nullopt);
  copy("after");
  EXPECT_TRUE(clipboard_becomes("after"));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("Append"), "0");
}

TEST_F(Monitor, TitleShowsTheSizeLineInTheTrayAndTheTextLineAfterLayout) {
  auto run = start("");
  copy("a\r\n");
  // The layout's Text line replaces the Size line in the title.
  EXPECT_TRUE(becomes(
      [&] {
        const std::string title = window_text(run->window());
        return title.rfind("Text: 2 lines, ", 0) == 0 &&
               title.find(", 3 bytes, ") != std::string::npos;
      },
      true));
  EXPECT_EQ(run->close(), 0u);
}

// The documents' example: 100 lines, a text area of 320 pixels, 16-pixel lines.
TEST_F(Monitor, HundredLinesScrolledWithTheKeys) {
  auto run = start("[Options]\r\nFontHeight=16\r\n");
  RECT window{}, client{};
  GetWindowRect(run->window(), &window);
  GetClientRect(run->window(), &client);
  const int frame_height = (window.bottom - window.top) - (client.bottom - client.top);
  SetWindowPos(run->window(), nullptr, 0, 0, 400, 320 + frame_height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(run->sync());
  GetClientRect(run->window(), &client);
  ASSERT_EQ(client.bottom, 320);

  std::string text;
  for (int i = 1; i <= 100; ++i) text += "line " + std::to_string(i) + (i < 100 ? "\r\n" : "");
  copy(text);
  EXPECT_TRUE(title_becomes("Text: 100 lines, 21 displayed, " +
                                      std::to_string(text.size()) + " bytes,   4.762 pages"));
  auto key = [&](WPARAM vk) { ASSERT_TRUE(run->send(WM_KEYDOWN, vk, 1).has_value()); };
  key(VK_END);
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 79, page: 21");
  SetWindowTextA(run->window(), "marker");
  key(VK_DOWN);  // already at the bottom: nothing changes
  EXPECT_EQ(window_text(run->window()), "marker");
  key(VK_UP);
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 78, page: 21");
  key(VK_HOME);
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 0, page: 21");
  SetWindowTextA(run->window(), "marker");
  key(VK_UP);
  EXPECT_EQ(window_text(run->window()), "marker");
  key(VK_DOWN);
  key(VK_DOWN);
  key(VK_DOWN);
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 3, page: 21");
  key(VK_PRIOR);
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 0, page: 21");
  ASSERT_TRUE(run->send(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 80)).has_value());
  EXPECT_EQ(window_text(run->window()), "min: 0, max: 100, pos: 80, page: 21");
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(Monitor, WheelZoomBounds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"2", "2"}, {"1", "1"}, {"3", "1"}, {"20", "18"}, {"4294967280", "4294967278"}};
  for (const auto& [stored, expected] : cases) {
    auto run = start("[Options]\r\nFontHeight=" + stored + "\r\n");
    ASSERT_TRUE(run->send(WM_MOUSEWHEEL, MAKEWPARAM(MK_LBUTTON, WHEEL_DELTA)).has_value());
    EXPECT_EQ(run->close(), 0u);
    EXPECT_EQ(setting("FontHeight"),
              expected)
        << stored;
    remove_file(windows_ini_path());
  }
  auto run = start("[Options]\r\nFontHeight=2\r\n");
  ASSERT_TRUE(run->send(WM_MOUSEWHEEL, MAKEWPARAM(MK_LBUTTON, -WHEEL_DELTA)).has_value());
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("FontHeight"), "4");
}

std::string dialog_item_text(HWND dialog, int id) { return window_text(GetDlgItem(dialog, id)); }

TEST_F(Monitor, FloatingStatusWindowValuesAndPosition) {
  auto run = start("[Options]\r\nShowStatus=1\r\nFloatingStatusWindowX=40\r\n"
                   "FloatingStatusWindowY=30\r\n");
  HWND floating = run->wait_for_window("Clpboard Text Information");
  ASSERT_NE(floating, nullptr);
  RECT rect{};
  GetWindowRect(floating, &rect);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 30);

  copy("a\r\n\x0C");
  EXPECT_TRUE(becomes([&] { return dialog_item_text(floating, IDC_STATUS_FF); },
                      std::string("1")));  // the last of the four written
  EXPECT_EQ(dialog_item_text(floating, IDC_STATUS_LENGTH), "4");
  EXPECT_EQ(dialog_item_text(floating, IDC_STATUS_CR), "1");
  EXPECT_EQ(dialog_item_text(floating, IDC_STATUS_LF), "1");
  EXPECT_EQ(dialog_item_text(floating, IDC_STATUS_FF), "1");
  ASSERT_TRUE(set_clipboard_data(CF_DIB, make_dib(2, 2, 0)));
  EXPECT_TRUE(becomes([&] { return dialog_item_text(floating, IDC_STATUS_LENGTH); },
                      std::string("0")));

  // Hidden and shown again within the run: the place it was moved to.
  SetWindowPos(floating, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(run->command(IDM_SHOW_STATUS_WINDOW));
  EXPECT_FALSE(IsWindow(floating));
  ASSERT_TRUE(run->command(IDM_SHOW_STATUS_WINDOW));
  floating = run->wait_for_window("Clpboard Text Information");
  ASSERT_NE(floating, nullptr);
  GetWindowRect(floating, &rect);
  EXPECT_EQ(rect.left, 120);
  EXPECT_EQ(rect.top, 90);
  EXPECT_EQ(run->close(), 0u);
  const std::string ini = read_file(windows_ini_path()).value_or("");
  EXPECT_EQ(ini_value(ini, "Options", "ShowStatus"), "1");
  EXPECT_EQ(ini_value(ini, "Options", "FloatingStatusWindowX"), "120");
  EXPECT_EQ(ini_value(ini, "Options", "FloatingStatusWindowY"), "90");
}

TEST_F(Monitor, FloatingStatusWindowOffScreenOpensCentred) {
  for (const char* x : {"4294967196", "100000"}) {
    auto run = start(std::string("[Options]\r\nShowStatus=1\r\nFloatingStatusWindowX=") + x +
                     "\r\nFloatingStatusWindowY=5\r\n");
    HWND floating = run->wait_for_window("Clpboard Text Information");
    ASSERT_NE(floating, nullptr);
    RECT rect{};
    GetWindowRect(floating, &rect);
    const int centre = GetSystemMetrics(SM_CXSCREEN) / 2;
    EXPECT_LT(rect.left, centre) << x;
    EXPECT_GT(rect.right, centre) << x;
    EXPECT_EQ(run->close(), 0u);
    remove_file(windows_ini_path());
  }
}

// A viewer of our own in the chain behind the program.
struct TestViewer {
  static inline int draws = 0;
  static inline int chain_changes = 0;
  static inline WPARAM last_removed = 0;
  HWND window = nullptr;

  static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DRAWCLIPBOARD) {
      ++draws;
      return 0;
    }
    if (m == WM_CHANGECBCHAIN) {
      ++chain_changes;
      last_removed = wp;
      return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
  }
  TestViewer() {
    static bool registered = [] {
      WNDCLASSA c{};
      c.lpfnWndProc = proc;
      c.hInstance = GetModuleHandleA(nullptr);
      c.lpszClassName = "KestrinTestViewer";
      return RegisterClassA(&c) != 0;
    }();
    (void)registered;
    window = CreateWindowA("KestrinTestViewer", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }
  ~TestViewer() { DestroyWindow(window); }
};

void pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

TEST_F(Monitor, ChainPassesChangesOnAndFollowsRemovals) {
  TestViewer behind, replacement;
  ASSERT_NE(behind.window, nullptr);
  HWND before = SetClipboardViewer(behind.window);  // the program joins in front of it
  pump();
  auto run = start("");
  TestViewer::draws = 0;
  copy("one");
  ASSERT_TRUE(wait_until([] {
    pump();
    return TestViewer::draws >= 1;
  }));

  // Our viewer leaves: its successor becomes the program's next viewer.
  TestViewer::chain_changes = 0;
  ASSERT_TRUE(run->send(WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(behind.window),
                        reinterpret_cast<LPARAM>(replacement.window))
                  .has_value());
  pump();
  EXPECT_EQ(TestViewer::chain_changes, 0);  // the removed one is not told

  // Another window leaves: passed on unchanged.
  HWND stranger = reinterpret_cast<HWND>(0x1234);
  ASSERT_TRUE(run->send(WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(stranger), 0).has_value());
  pump();
  EXPECT_EQ(TestViewer::chain_changes, 1);
  EXPECT_EQ(TestViewer::last_removed, reinterpret_cast<WPARAM>(stranger));
  // Leaving the chain talks to our viewers: keep answering while it closes.
  run->post(WM_CLOSE);
  EXPECT_TRUE(wait_until([&] {
    pump();
    return !run->running();
  }));
  ChangeClipboardChain(behind.window, before);
}

}  // namespace
}  // namespace kestrin::test

namespace kestrin::test {
namespace {

// The common colour and font dialogs open over the window and close again;
// Cancel changes nothing, OK on the colour dialog keeps the colour it started with.
TEST_F(Monitor, ColourAndFontDialogs) {
  auto run = start("[Options]\r\nColorForeground=255\r\n");
  for (const auto& [command, caption, button] :
       {std::tuple{IDM_FOREGROUND_COLOR, "Color", IDCANCEL},
        std::tuple{IDM_BACKGROUND_COLOR, "Color", IDOK}, std::tuple{IDM_FONT, "Font", IDCANCEL}}) {
    run->post(WM_COMMAND, command, 0);
    HWND dialog = run->wait_for_window(caption);
    ASSERT_NE(dialog, nullptr) << command;
    press_button(dialog, button);
    ASSERT_TRUE(wait_until([&] { return !IsWindow(dialog); })) << command;
  }
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("ColorForeground"), "255");
  EXPECT_EQ(setting("ColorBackground"), "16711680");
}

TEST_F(Monitor, AutoScrollWritesItsDebugRecordOnlyWhenLogging) {
  for (const char* logging : {"0", "1"}) {
    write_file(windows_ini_path(), std::string("[Options]\r\nAutoScrollClipboard=1\r\nDebugLogging=") +
                                       logging + "\r\n");
    auto run = Kestrin::start({.debug_output = true});
    ASSERT_TRUE(run && run->window());
    current_ = run.get();
    copy("scrolled");
    ASSERT_TRUE(handled("scrolled"));
    EXPECT_EQ(run->close(), 0u);
    const std::vector<std::string> strings = run->debug_strings();
    const auto records = std::count(strings.begin(), strings.end(),
                                     std::string("Debug message from Quorvane@3614."));
    // One change by the test, and the one at start-up when logging.
    if (std::string(logging) == "0") {
      EXPECT_EQ(records, 0);
    } else {
      EXPECT_GE(records, 1);
      auto at = std::find(strings.begin(), strings.end(), "Debug message from Quorvane@3614.");
      ASSERT_LT(at + 1, strings.end());
      EXPECT_EQ(at[1], "Trying to AutoScroll!");
    }
  }
}

// A viewer that joins the chain after the program and swallows every notice:
// the program still sees each copy (by the sequence number, on its timer), joins
// the chain again, and in append mode joins each copy exactly once.
LRESULT CALLBACK swallowing_viewer(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DRAWCLIPBOARD) return 0;  // neither handled nor passed on
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(Monitor, ChainBrokenByAnotherViewerIsRepaired) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n", "one");
  ASSERT_TRUE(run);
  WNDCLASSA cls{};
  cls.lpfnWndProc = swallowing_viewer;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "KestrinTestSwallower";
  RegisterClassA(&cls);
  HWND swallower = CreateWindowA(cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 cls.hInstance, nullptr);
  ASSERT_NE(swallower, nullptr);
  HWND after = SetClipboardViewer(swallower);  // the program's window comes after it
  EXPECT_EQ(after, run->window());
  auto pumped_clipboard = [] {
    MSG message;  // the program passes notices on to this thread's viewer
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    return clipboard_text();
  };
  ASSERT_TRUE(set_clipboard_text("two"));
  EXPECT_TRUE(becomes(pumped_clipboard, std::optional<std::string>("one two")));
  ASSERT_TRUE(set_clipboard_text("three"));
  EXPECT_TRUE(becomes(pumped_clipboard, std::optional<std::string>("one two three")));
  EXPECT_EQ(GetClipboardViewer(), run->window());  // it joined the chain again, at its head
  ChangeClipboardChain(swallower, nullptr);
  DestroyWindow(swallower);
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
