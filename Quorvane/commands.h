// The command table: every command identifier with its own handling, so that
// "run command N" is one lookup. Identifiers without an entry get the
// not-implemented dialog.
#pragma once

#include <span>

#include "app.h"

namespace kestrin {

// Handlers get the identifier, so one handler can serve a group of commands.
using CommandHandler = void (*)(App& app, unsigned id);

struct CommandEntry {
  unsigned id;
  CommandHandler handler;
  LRESULT result = 0;  // what the window procedure answers
};

// The table, sorted by identifier.
std::span<const CommandEntry> command_table();

// Handler of an identifier, or nullptr when it has no handling of its own.
CommandHandler find_command(unsigned id);

// WM_COMMAND of the main window (the identifier is the low word of wparam);
// returns what the window procedure answers.
LRESULT dispatch_command(App& app, WPARAM wparam);

// Runs command `id` as every part of the program does: WM_COMMAND sent to the
// main window, synchronously.
void run_command(const App& app, unsigned id);

}  // namespace kestrin
