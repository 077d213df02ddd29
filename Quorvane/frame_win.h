// The main window's frame: caption and extended-style rules, the saved rectangle,
// the status bar, the tray icon and the one-second timer.
#pragma once

#include "app_win.h"

namespace kestrin {

// The frame's start, before the settings are read: the splash, the common
// controls, both menus.
void start_frame(App& app);
// The frame from the settings: the saved rectangle, the status bar with its
// credit line, the visibility, the one-second timer, the tray icon, the caption
// and style rules, the layout and the menu bar.
void show_frame(App& app, const char* credit);
// At teardown: the window's state and rectangle into the settings and the
// settings file; false when they could not be written.
bool save_frame(App& app);
// The timer and the tray icon go.
void stop_frame(App& app);
// Last: the detached menu bar (not destroyed with the window) and the splash.
void release_frame(App& app);

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
// The status bar's font at the window's DPI (at its making, and when the DPI changes).
void apply_status_bar_font(App& app);
void destroy_status_bar(App& app);
// The first part of the status bar, when there is one.
void set_status_bar_text(const App& app, const char* text);
// The shared status text as the window title.
void show_status_as_title(const App& app);

void add_tray_icon(App& app);
void remove_tray_icon(App& app);

// Topmost state, frame change, layout and repaint after a frame setting changed.
void frame_refresh(App& app);

// Frame commands.
void toggle_status_bar(App& app, unsigned id);       // 1016
void toggle_menu_bar(App& app, unsigned id);         // 1043
void toggle_tool_window(App& app, unsigned id);      // 1044
void toggle_caption(App& app, unsigned id);          // 1045
void toggle_always_on_top(App& app, unsigned id);    // 40082
void window_to_bottom(App& app, unsigned id);        // 40187
void toggle_maximized(App& app, unsigned id);        // 40186
void toggle_visibility(App& app, unsigned id);       // 40162

// The tray icon's callback message (1025).
void on_tray_callback(App& app, WPARAM wparam, LPARAM lparam);
// Mouse messages of the client area.
void on_mouse(App& app, UINT message);

// One tick of the one-second timer: the next icon of the tray animation, and the
// end of the splash window.
void on_timer_tick(App& app);
// Empties the animation list and runs one tick at once, so the icon follows the
// new state.
void restart_tray_animation(App& app);

}  // namespace kestrin
