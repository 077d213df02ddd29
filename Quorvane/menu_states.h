// Check marks and enable states of the menu items, from the settings and the
// analysis of the clipboard text. Platform-free.
#pragma once

#include <vector>

#include "clipboard/analysis.h"
#include "settings_table.h"

namespace kestrin {

struct MenuItemState {
  unsigned id;
  enum Kind { Check, Enable } kind;
  bool on;
  bool operator==(const MenuItemState&) const = default;
};

// Every state to apply whenever a menu opens, in order; items not listed keep
// the state of the menu resource (the slot items are kept by their own code).
std::vector<MenuItemState> menu_states(const Settings& settings, const Analysis& analysis,
                                       bool clipboard_empty);

}  // namespace kestrin
