// Shelling the clipboard: every qualifying line handed to the desktop shell.
#pragma once

#include "app_win.h"

namespace kestrin {

// 40144 "open", 40145 "explore". Run by the change handling ("Shell
// Automatically"), it leaves alone what Windows would run as a program.
void shell_clipboard(App& app, unsigned id);

}  // namespace kestrin
