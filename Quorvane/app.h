// The application object: all process-wide state, grouped by subsystem, created
// once by the entry point and reached from the window procedure through the main
// window's user data.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "settings_table.h"
#include "slots/clip_slot.h"
#include "win_raii.h"

namespace kestrin {

inline constexpr const char* kMainClassName = "Quorvane";
inline constexpr const char* kMainTitle = "Orsk's Clipboard Tool";
inline constexpr const char* kMutexName = "KestrinOrsk";
inline constexpr const char* kSplashClassName = "orsk";
inline constexpr std::size_t kStatusTextSize = 4096;
inline constexpr UINT_PTR kTrayTimerId = 0;
inline constexpr UINT kTrayIconId = 0;

// Where the settings live, chosen once at start.
struct SettingsLocation {
  std::string profile_name;  // what the profile functions get: a bare name or a path
  std::string full_path;     // the file itself, for messages
};

struct App {
  HINSTANCE instance = nullptr;

  // Windows and menus.
  HWND main_window = nullptr;
  HMENU main_menu = nullptr;  // the class menu, attached or detached
  UniqueMenu tray_menu_resource;
  HMENU tray_menu = nullptr;  // first submenu of the tray menu resource
  UniqueWindow splash;
  HWND status_bar = nullptr;
  HWND floating_status = nullptr;
  UniqueGdiObject background_brush;  // the main window's RGB(0,0,255)
  UniqueGdiObject dialog_brush;      // RGB(0,0,127), splash and dialogs

  // Settings.
  Settings settings;
  SettingsLocation settings_location;
  std::optional<bool> visible_at_close;  // taken when a close is asked for

  // Clipboard monitor.
  HWND next_viewer = nullptr;
  int self_change = 0;
  std::array<char, kStatusTextSize> status_text{};

  // Frame and tray.
  unsigned tick_count = 0;
  bool tray_icon_added = false;

  // Viewer.
  int line_height = 0;

  // Slots.
  SlotArray slots;
};

}  // namespace kestrin
