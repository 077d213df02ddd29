// The twenty slots on Windows: the clipboard and the clock for the store and
// the recall, their menu items, and the clip file on disk.
#pragma once

#include <string>

#include "app_win.h"

namespace kestrin {

// Creation: the slots from the clip file, when it is loaded automatically, and
// the slot items as the slots stand.
void start_slots(App& app);
// Teardown: the slots to the clip file, when it is saved automatically.
void stop_slots(App& app);

// Puts every slot's label on its Store and Recall items, in the menu bar (while
// it exists) and the tray menu, and marks filled and empty slots (message 1028).
void refresh_slot_labels(App& app);

// Reads a clip file into the slots and refreshes the menus (also when the file
// could not be read). A file too short for its header leaves the slots alone.
void load_clip_file(App& app, const std::string& path);
// Writes the slots to a new file beside `path` and puts it in place of `path`
// in one step; any failure leaves `path` as it was. One last-error box at most.
// The automatic saves leave out slots stored from private copies.
bool save_clip_file(App& app, const std::string& path, bool automatic = false);

// Commands.
void store_slot(App& app, unsigned id);           // 40100 to 40119
void recall_slot(App& app, unsigned id);          // 40120 to 40139
void order_slots_command(App& app, unsigned id);  // 40146 to 40148, 40168, 40169
void clear_clips(App& app, unsigned id);          // 40142
void load_clips(App& app, unsigned id);           // 40140
void save_clips(App& app, unsigned id);           // 40141
void toggle_auto_clip_file(App& app, unsigned id);  // 40143

}  // namespace kestrin
