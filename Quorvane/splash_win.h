#pragma once

#include "app_win.h"

namespace kestrin {

// The elliptic splash window shown while the main window starts; the timer
// destroys it after a few seconds.
void create_splash(App& app);

}  // namespace kestrin
