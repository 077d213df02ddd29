#pragma once

#include "app_win.h"

namespace kestrin {

inline constexpr const char* kNotImplementedTemplate = "NOTIMPLEMENTED";

// "The requested feature is not implemented yet.", modal, owned by the main
// window; the main window is repainted afterwards.
void show_not_implemented(App& app);

// Command 40164: the Options dialog, then its result applied to the frame.
void show_options(App& app, unsigned id);
// Command 101: the About box.
void show_about(App& app, unsigned id);

// Command 40182: asks how many consecutive non-ASCII characters "Binary With
// New Lines" takes (only while the clipboard holds text).
void ask_binary_count(App& app, unsigned id);

// The number prompt "How Many?": shows `prompt` (or its own text) and `initial`;
// returns the number entered with OK, or `initial` after Cancel or an entry that
// is not a number.
int32_t ask_number(App& app, HWND parent, const char* prompt, int32_t initial);

// Dialog procedure shared by the About box and the not-implemented dialog: OK
// closes, Cancel (Escape) does not, the two home-page buttons go to the parent.
INT_PTR CALLBACK info_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace kestrin
