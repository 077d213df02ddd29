// The command dispatch. A text command is found in the rule table and runs in
// the frame its kind names; every other command has a row in the command table.
// Identifiers in neither get the not-implemented dialog.
#pragma once

#include <span>

#include "app_win.h"

namespace kestrin {

// Handlers get the identifier, so one handler can serve a group of commands.
using CommandHandler = void (*)(App& app, unsigned id);

struct CommandEntry {
  unsigned first, last;  // the identifiers the row serves
  CommandHandler handler;
  LRESULT result = 0;  // what the window procedure answers
};

// The table, in the order of the menus its commands come from.
std::span<const CommandEntry> command_table();

// Handler of an identifier's row, or nullptr when it has none.
CommandHandler find_command(unsigned id);

// WM_COMMAND of the main window (the identifier is the low word of wparam);
// returns what the window procedure answers.
LRESULT dispatch_command(App& app, WPARAM wparam);

}  // namespace kestrin
