// The client area: layout, paint, scrolling, keys, wheel, font and colours.
#pragma once

#include "app_win.h"
#include "clipboard/dib.h"

namespace kestrin {

// Once the settings are read: the viewer font's height, and the floating status
// window when it was shown at the last close.
void start_viewer(App& app);
// At teardown: the floating window goes, the font height goes to the settings.
void stop_viewer(App& app);

void layout_viewer(App& app);                             // WM_SIZE
void paint_viewer(App& app);                              // WM_PAINT
void scroll_viewer(App& app, int bar, WPARAM wparam);     // WM_VSCROLL / WM_HSCROLL
void viewer_key(App& app, WPARAM key, LPARAM flags);      // WM_KEYDOWN
void viewer_wheel(App& app, WPARAM wparam);               // WM_MOUSEWHEEL

// Height of "!" in the viewer font; 0 when it cannot be measured.
int measure_line_height(const App& app, HDC dc);

// A bitmap's preview (clipboard/dib.h) drawn at its own size at (x, y).
void draw_dib_preview(HDC dc, const DibPreview& preview, int x, int y);

// Commands.
void choose_foreground_colour(App& app, unsigned id);
void choose_background_colour(App& app, unsigned id);
void choose_viewer_font(App& app, unsigned id);

}  // namespace kestrin
