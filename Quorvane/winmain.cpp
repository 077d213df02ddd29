#include <windows.h>

#include "entry_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show_command) {
  return kestrin::run_kestrin(instance, command_line, show_command);
}
