// The main window's frame: caption and extended-style rules, the saved rectangle,
// the status bar, the tray icon and the one-second timer.
#pragma once

#include "app.h"

namespace kestrin {

// Without a caption when HideCaptionBar is set, with one otherwise.
void apply_caption_rule(App& app);
// Tool-window or app-window frame by ToolWindowStyle; always a drop target.
void apply_extended_style_rule(App& app);
// The saved rectangle, when it lies strictly inside the primary screen.
void restore_window_rect(App& app);
// Attaches or detaches the menu bar by DisplayMainMenu.
void apply_menu_bar(App& app);

// The common-control status bar (child id 101), titled like the window.
void create_status_bar(App& app);
void destroy_status_bar(App& app);

void add_tray_icon(App& app);
void remove_tray_icon(App& app);

// One tick of the one-second timer: the next icon of the tray animation, and the
// end of the splash window.
void on_timer_tick(App& app);
// Empties the animation list and runs one tick at once, so the icon follows the
// new state.
void restart_tray_animation(App& app);

}  // namespace kestrin
