// "Quorvane.INI" through the platform's private-profile functions.
#pragma once

#include "app_win.h"

namespace kestrin {

inline constexpr const char* kIniName = "Quorvane.INI";

// The Windows folder's file when it can be written or created there; otherwise
// a Kestrin folder in the user's application data, seeded with a copy of the
// Windows folder's file when only that one exists. Keeps settings from being
// dropped where a standard user cannot write the Windows folder.
SettingsLocation choose_settings_location();

// Read phase (all keys but State), with its debug record.
void load_settings(App& app);
// "Window"/"State", read straight from the file with default 1.
int32_t load_window_state(const App& app);

// Write phase, "Options" section. Returns false when any write failed.
bool save_options(const App& app);
// Write phase, "Window" section: State, and the rectangle when normal.
bool save_window(const App& app, bool include_rect);

// Tells the user that the settings could not be stored (never lost silently).
void report_unsaved_settings(const App& app);

}  // namespace kestrin
