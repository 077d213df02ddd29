// The clipboard frames the text commands run in. Every frame that writes marks
// the write as the program's own.
#pragma once

#include "app_win.h"
#include "transform/rules.h"

namespace kestrin {

// Runs a text command of the rule table in the frame its kind names.
void run_text_command(App& app, const TextCommand& command);

}  // namespace kestrin
