#pragma once

#include <string>
#include <vector>

#include "app_win.h"
#include "clipboard/clipboard_change.h"

namespace kestrin {

// Classifies the change and recomputes the analysis results from what was read
// (the clipboard is not opened again); sets the status text as the window title.
void analyse_change(App& app, const ClipboardChange& change);

// The debug display's lines: one per clipboard format, in the clipboard's order.
// The clipboard is open.
std::vector<std::string> format_listing();

// The debug display: the listing drawn at the top left. The clipboard is open
// (the paint opens it).
void draw_format_listing(const App& app, HDC dc);

}  // namespace kestrin
