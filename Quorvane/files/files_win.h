// The clipboard to and from files on Windows: Open, Save and Save As with their
// dialogs, files dropped on the main window in their six modes, and the Palm
// DOC conversion of a dropped file.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app_win.h"

namespace kestrin {

// Writes the clipboard text (up to its NUL), or else its bitmap as a BMP file,
// into `path`, replacing what the file held; the window title becomes the path.
// Failures show the last-error box. An empty clipboard writes nothing over a
// file that is there; with `new_file_when_empty` it makes an empty file where
// there is none (Save and Save As, which name a new file).
void save_clipboard_to_file(App& app, const std::string& path, bool new_file_when_empty = false);

// Converts a dropped file between text and Palm DOC database, beside it, and
// opens the result when asked and it worked. Returns the result code (0 done).
int convert_palm_doc(App& app, const std::string& path, bool open_result);

// WM_DROPFILES: every dropped file, last to first, in the current drop mode,
// with progress on the status bar; the drop handle is released.
void handle_drop(App& app, HDROP drop);

// Commands.
void open_file(App& app, unsigned id);          // 40052
void save_file(App& app, unsigned id);          // 40051 Save, 40074 Save As
void choose_drop_mode(App& app, unsigned id);   // 40076 to 40081

}  // namespace kestrin
