#pragma once

#include "app.h"

namespace kestrin {

// Puts every slot's label on its Store and Recall items, in the menu bar (while
// it exists) and the tray menu, and marks filled and empty slots.
void refresh_slot_labels(App& app);

}  // namespace kestrin
