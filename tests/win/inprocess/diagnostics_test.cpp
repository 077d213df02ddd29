// The diagnostic helpers as the rest of the program calls them.
#include <gtest/gtest.h>

#include <thread>

#include "diagnostics_win.h"
#include "driver.h"

namespace kestrin {
namespace {

TEST(Diagnostics, LastErrorBoxShowsTheSystemWording) {
  std::vector<std::string> texts;
  std::thread answer([&] {
    HWND box = nullptr;
    test::wait_until([&] {
      auto found = test::process_windows(GetCurrentProcessId(), "#32770", "GetLastError()");
      if (!found.empty()) box = found.front();
      return box != nullptr;
    });
    if (!box) return;
    texts = test::child_texts(box);
    test::press_button(box, IDOK);
  });
  HANDLE missing = CreateFileA("C:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               0, nullptr);
  ASSERT_EQ(missing, INVALID_HANDLE_VALUE);
  const DWORD error = GetLastError();
  char expected[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected, nullptr);
  ASSERT_NE(expected[0], '\0');
  SetLastError(error);
  show_last_error(nullptr, kUnitMain, 1);
  answer.join();
  EXPECT_NE(std::find(texts.begin(), texts.end(), std::string(expected)), texts.end())
      << expected;
}

}  // namespace
}  // namespace kestrin
