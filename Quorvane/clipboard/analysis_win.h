#pragma once

#include "app.h"

namespace kestrin {

// Classifies the clipboard and recomputes the analysis results; sets the status
// text as the window title. Opens and closes the clipboard itself.
void analyse_clipboard(App& app);

// The debug display: one line per clipboard format, drawn at the top left. The
// clipboard is open (the paint opens it).
void draw_format_listing(App& app, HDC dc);

}  // namespace kestrin
