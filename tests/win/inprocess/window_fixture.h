// The fixture of the in-process tests: the program's real main window, made in
// this process from its own class and resources, on a clean settings file.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app_win.h"
#include "driver.h"
#include "main_window_win.h"
#include "settings_win.h"

namespace kestrin {

// The text of a menu item, by command.
inline std::string item_text(HMENU menu, UINT id) {
  char text[256] = {};
  GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
  return text;
}

class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::remove_file(test::windows_ini_path());
    ASSERT_TRUE(test::empty_clipboard());
    app_.instance = GetModuleHandleA(nullptr);
    app_.settings_location = choose_settings_location();
    ASSERT_TRUE(register_main_class(app_));
  }
  void TearDown() override {
    if (app_.main_window && IsWindow(app_.main_window)) DestroyWindow(app_.main_window);
    // The teardown posts the quit message; it must not end the next test's loops.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kMainClassName, app_.instance);
    UnregisterClassA(kSplashClassName, app_.instance);  // its brush goes with this App
    test::remove_file(test::windows_ini_path());
  }
  // Makes the main window, with `ini` as the settings file when given.
  HWND create(const std::string& ini = "") {
    if (!ini.empty()) test::write_file(test::windows_ini_path(), ini);
    HWND window = create_main_window(app_);
    EXPECT_NE(window, nullptr);
    return window;
  }
  // Handles what is queued (changes that waited behind a handling).
  static void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  std::string title() const {
    char text[512] = {};
    GetWindowTextA(app_.main_window, text, sizeof text);
    return text;
  }

  App app_;
};

}  // namespace kestrin
