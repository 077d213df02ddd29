// The main window: its class, its creation and teardown sequences and the
// dispatch of every message.
#pragma once

#include "app_win.h"

namespace kestrin {

// Registers the class "Quorvane" (menu "Quorvane", icon 122, blue background).
bool register_main_class(App& app);
// Creates the main window; its creation sequence runs inside.
HWND create_main_window(App& app);

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace kestrin
