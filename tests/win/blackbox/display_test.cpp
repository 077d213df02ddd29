// The program at 150% (LogPixels 144) against 96 DPI, from outside: its lines,
// its page count and its status bar grow by half, the window keeps the
// rectangle stored in its settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "program_test.h"

namespace kestrin::test {
namespace {

using Display = ProgramTest;

void set_log_pixels(DWORD dpi) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  RegCloseKey(key);
}

struct Seen {
  unsigned lines = 0, displayed = 0;
  double pages = 0;
  int area = 0;  // the viewer's height: the client area above the status bar
  int bar = 0;
  RECT window{};
};

Seen look(const Kestrin& run) {
  Seen seen;
  wait_until([&] {
    return std::sscanf(window_text(run.window()).c_str(), "Text: %u lines, %u displayed, %*u bytes, %lf pages",
                       &seen.lines, &seen.displayed, &seen.pages) == 3;
  });
  HWND bar = FindWindowExA(run.window(), nullptr, "msctls_statusbar32", nullptr);
  RECT client{}, bar_rect{};
  GetClientRect(run.window(), &client);
  if (bar) GetWindowRect(bar, &bar_rect);
  seen.bar = bar_rect.bottom - bar_rect.top;
  seen.area = client.bottom - seen.bar;
  GetWindowRect(run.window(), &seen.window);
  return seen;
}

TEST_F(Display, At150PercentLinesPagesAndTheBarGrowByHalf) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + "\r\n";
  const std::string ini = "[Options]\r\nStatusWindow=1\r\n[Window]\r\nX1=40\r\nY1=40\r\nX2=740\r\nY2=640\r\n";
  Seen at[2];
  for (int i = 0; i < 2; ++i) {
    set_log_pixels(i == 0 ? 96 : 144);
    auto run = start(ini, text.c_str());
    ASSERT_TRUE(run);
    at[i] = look(*run);
    EXPECT_EQ(run->close(), 0u);
  }
  set_log_pixels(96);
  const Seen &a = at[0], &b = at[1];
  ASSERT_GT(a.displayed, 2u);
  ASSERT_GT(b.displayed, 2u);
  // The window keeps its rectangle in pixels, as stored.
  EXPECT_EQ(a.window.left, b.window.left);
  EXPECT_EQ(a.window.bottom - a.window.top, b.window.bottom - b.window.top);
  // A line's height, from the lines a page shows over the viewer's height.
  const double line_a = static_cast<double>(a.area) / (a.displayed - 1);
  const double line_b = static_cast<double>(b.area) / (b.displayed - 1);
  EXPECT_NEAR(line_b / line_a, 1.5, 0.1) << a.area << "/" << a.displayed << " " << b.area << "/" << b.displayed;
  // The same text is more pages (less the viewer lost to the larger frame).
  EXPECT_NEAR(b.pages / a.pages, 1.5 * a.area / b.area, 0.1) << a.pages << " " << b.pages;
  EXPECT_NEAR(b.bar, a.bar * 1.5, 1.0);
}

}  // namespace
}  // namespace kestrin::test
