// How the program meets the display: aware of each monitor's DPI, with the
// common controls of version 6 (the visual styles), and following a change of
// DPI with its fonts, line height and status bar.
#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "clipboard/viewer_win.h"
#include "res/resource.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Display = WindowFixture;

template <typename Function>
Function user32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

TEST_F(Display, PerMonitorAwareWithCommonControlsSix) {
  create();
  using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)();
  using GetAwareness = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const auto context = user32<GetContext>("GetThreadDpiAwarenessContext");
  const auto awareness = user32<GetAwareness>("GetAwarenessFromDpiAwarenessContext");
  ASSERT_TRUE(context && awareness);
  EXPECT_EQ(awareness(context()), DPI_AWARENESS_PER_MONITOR_AWARE);

  // The common controls the program is bound to are those of the version 6
  // assembly. (Wine 8 builds both versions from one source, and its
  // DllGetVersion says 5.81 for each: the assembly it was loaded from tells.)
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  ASSERT_TRUE(comctl);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  std::wstring file(path);
  for (wchar_t& c : file) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(file.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << "comctl32 from " << std::string(file.begin(), file.end());
  const auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(comctl, "DllGetVersion")));
  ASSERT_TRUE(get_version);
  DLLVERSIONINFO version{};
  version.cbSize = sizeof version;
  ASSERT_EQ(get_version(&version), S_OK);
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  EXPECT_EQ(version.dwMajorVersion, wine ? 5u : 6u);
}

// Moved to a monitor of 144 DPI (the message the system sends), the window
// takes the rectangle it is given and its text and bar grow by half.
TEST_F(Display, AChangeOfDpiScalesTheFontTheLinesAndTheBar) {
  create("[Options]\r\nStatusWindow=1\r\n");
  ASSERT_TRUE(app_.frame.status_bar);
  ASSERT_EQ(app_.viewer.dpi, 96u);
  const int line_96 = app_.viewer.line_height;
  RECT bar{};
  GetWindowRect(app_.frame.status_bar, &bar);
  const int bar_96 = bar.bottom - bar.top;
  RECT suggested{50, 60, 50 + 900, 60 + 700};
  SendMessageA(app_.main_window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  RECT now{};
  GetWindowRect(app_.main_window, &now);
  EXPECT_EQ(now.left, 50);
  EXPECT_EQ(now.right - now.left, 900);
  EXPECT_EQ(app_.viewer.line_height, line_96 * 3 / 2);
  GetWindowRect(app_.frame.status_bar, &bar);
  EXPECT_NEAR(bar.bottom - bar.top, bar_96 * 1.5, 2.0);
  // The stored height stays what it was at 96 DPI.
  EXPECT_EQ(app_.viewer.viewer_font.lfHeight, 0);
}

}  // namespace
}  // namespace kestrin
