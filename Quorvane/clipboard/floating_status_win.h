// The small floating window with four figures of the clipboard text.
#pragma once

#include "app_win.h"

namespace kestrin {

inline constexpr const char* kFloatingStatusTemplate = "FLOATINGSTATUSWINDOWTEXT";

// Command 40149: flips ShowStatus and shows or hides the window to match.
void toggle_floating_status(App& app, unsigned id);
// Writes the four figures into the window (while it exists).
void refresh_floating_status(App& app);
// Remembers the window's position and destroys it.
void hide_floating_status(App& app);

}  // namespace kestrin
