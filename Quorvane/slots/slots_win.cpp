#include "slots/slots_win.h"

#include "res/resource.h"

namespace kestrin {

namespace {

void set_item_text(HMENU menu, UINT id, const ClipSlot& slot) {
  MENUITEMINFOA item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_TYPE;
  item.fType = MFT_STRING;
  item.dwTypeData = const_cast<char*>(slot.label.data());
  item.cch = static_cast<UINT>(slot.label_text().size());
  SetMenuItemInfoA(menu, id, FALSE, &item);
}

void set_item_states(HMENU menu, UINT store_id, UINT recall_id, bool filled) {
  CheckMenuItem(menu, store_id, MF_BYCOMMAND | (filled ? MF_UNCHECKED : MF_CHECKED));
  if (filled) {
    EnableMenuItem(menu, recall_id, MF_BYCOMMAND | MF_ENABLED);
    CheckMenuItem(menu, recall_id, MF_BYCOMMAND | MF_CHECKED);
  } else {
    EnableMenuItem(menu, recall_id, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    CheckMenuItem(menu, recall_id, MF_BYCOMMAND | MF_UNCHECKED);
  }
}

}  // namespace

void refresh_slot_labels(App& app) {
  for (int i = kSlotCount - 1; i >= 0; --i) {
    const ClipSlot& slot = app.slots.store[static_cast<std::size_t>(i)];
    const UINT store_id = IDM_STORE_FIRST + static_cast<UINT>(i);
    const UINT recall_id = IDM_RECALL_FIRST + static_cast<UINT>(i);
    for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
      if (!menu) continue;
      set_item_text(menu, store_id, slot);
      set_item_text(menu, recall_id, slot);
      set_item_states(menu, store_id, recall_id, slot.filled());
    }
  }
}

}  // namespace kestrin
