// The clipboard frames the text commands run in, and their command handlers.
// Every handler that writes marks the write as the program's own.
#pragma once

#include "app.h"

namespace kestrin {

void run_same_length_command(App& app, unsigned id);  // same-length frame
void run_shrinking_command(App& app, unsigned id);    // shrinking frame
void run_growing_command(App& app, unsigned id);      // growing frame (and Add)
void run_stamp_command(App& app, unsigned id);        // 40045, 40046
void run_prepend_stamp(App& app, unsigned id);        // 40047
void run_cleanup_recipe(App& app, unsigned id);       // the seven recipes
void ask_binary_count(App& app, unsigned id);         // 40182

}  // namespace kestrin
