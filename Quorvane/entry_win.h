#pragma once

#include <windows.h>

namespace kestrin {

// The whole life of the program: the command line, the single-instance guard,
// the main window and the message loop. Returns the process exit code.
int run_kestrin(HINSTANCE instance, const char* command_line, int show_command);

}  // namespace kestrin
