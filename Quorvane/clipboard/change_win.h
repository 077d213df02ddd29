// What the main window does on every clipboard change: the append join, the
// snapshot, the analysis and everything that shows it; the viewer chain; the
// append mode, its separators, "&Delete" and the two request messages.
#pragma once

#include <optional>

#include "app_win.h"
#include "clipboard/clipboard_change.h"

namespace kestrin {


// Joins the viewer chain (its first notice may come before the settings are read).
void start_monitor(App& app);
// Drops the append snapshot and leaves the viewer chain.
void stop_monitor(App& app);

// WM_DRAWCLIPBOARD: the change handling, in its order of steps: the change read
// once (and joined in append mode), shown, cleaned up. Returns the change as it
// finally stands when one was handled whole (not nested), for the history.
std::optional<ClipboardChange> handle_clipboard_change(App& app, WPARAM wparam, LPARAM lparam);
// WM_KESTRIN_CHANGE_READ: a change read on the reader's thread is handled.
std::optional<ClipboardChange> change_read_arrived(App& app);
// On its timer: a copy that found the clipboard held is read again.
std::optional<ClipboardChange> retry_held_change(App& app);
// Once the settings are read: a change handled before (joining the viewer chain
// sends a notice) was handled without them, so the clipboard as it stands is
// handled again at the end of creation. One handled after them is not.
void forget_handled_change(App& app);
// On the one-second timer: a change the chain never brought here (another
// viewer in it swallowed the notice) is seen by its sequence number; after two
// ticks in a row the program joins the chain anew and handles the change once.
std::optional<ClipboardChange> check_viewer_chain(App& app);
// WM_CHANGECBCHAIN.
void handle_chain_change(App& app, WPARAM wparam, LPARAM lparam);

// Commands.
void toggle_append(App& app, unsigned id);
void choose_separator(App& app, unsigned id);
void delete_clipboard(App& app, unsigned id);

// Messages from other programs.
void handle_clear_request(App& app);
void handle_stamp_request(App& app);

// The clipboard's text, read at most once per clipboard sequence number, so that
// the change handling, the analysis, the snapshot and the paint share one read
// of a large text. The clipboard is open. None when it holds no text.
SharedText current_clipboard_text(App& app);

// A fresh snapshot of the clipboard text (append mode), or none.
void take_snapshot(App& app);

// The tray tip: the status text, cut to what the tip holds.
void set_tray_tip(App& app, const char* text);

}  // namespace kestrin
