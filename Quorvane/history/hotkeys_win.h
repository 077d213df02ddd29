// The global hotkeys of [Hotkeys]: read from the settings, registered with the
// system, and acted on when pressed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app_win.h"

namespace kestrin {

// A section of the settings file, whatever its size, a line each.
std::vector<std::string> profile_section_lines(const char* section, const std::string& ini);

// Reads [Hotkeys] whole and names the lines it cannot use, once.
void read_hotkeys(App& app);
// Registers what stands now: every hotkey while the history is kept, those
// of commands only otherwise. With `report`, names the chords another
// program holds.
void register_hotkeys(App& app, bool report);
void unregister_hotkeys(App& app);
void handle_hotkey(App& app, WPARAM id);
// The hotkeys in force, one per line, for the Options dialog.
std::string active_hotkeys_text(const App& app);

// [HistoryIgnore] and HistoryFormats as the settings hold them now; bad lines
// of the section are named once.
void read_history_rules(App& app);
// "2 rules" for the Options dialog.
std::string ignore_rules_text(const App& app);

}  // namespace kestrin
