// How the program runs one of its own commands from inside: WM_COMMAND sent to
// the main window, synchronously, exactly as a menu click arrives. Only the
// window's own thread may do this; another thread posts a private message with
// data it owns, and the window's thread acts on it.
#pragma once

#include <windows.h>

namespace kestrin {

inline void run_command(HWND main_window, unsigned id) {
  SendMessageA(main_window, WM_COMMAND, id, 0);
}

}  // namespace kestrin
