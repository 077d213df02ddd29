// The clipboard history in the program: recording the changes the monitor
// hands on, the file it lives in (history_store_win.h), the global hotkeys
// (hotkeys_win.h), the paste into another window (paste_win.h), and the
// commands of its menu items.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_win.h"
#include "clipboard/clipboard_change.h"
#include "history/format_reader_win.h"
#include "history/formats.h"
#include "history/history.h"
#include "history/history_search.h"
#include "history/ignore_rules.h"
#include "history/history_store_win.h"
#include "history/hotkeys.h"
#include "mailbox.h"

namespace kestrin {

// One copy made before the file was read: recorded once it is.
struct PendingCopy {
  EntryKind kind;
  SharedBytes data;
  uint64_t size;
  uint64_t time;
  std::vector<KeptFormat> formats;
};

// A copy whose formats are being read: recorded, in the order of the copies,
// once they have arrived or the wait for them is over.
struct WaitingCopy {
  PendingCopy copy;
  std::shared_ptr<FormatReading> reading;  // none: nothing more to read
};

struct HistoryWindowState;

struct SyncPart;

struct HistoryPart {
  // Where the file stands. Nothing is written to a file that has not been read
  // whole: a copy made before waits in `pending`.
  enum class Store {
    Off,         // the history is off
    Loading,     // the loader runs
    Busy,        // another program held the file: read again on the timer
    Kept,        // read; every change is appended
    MemoryOnly,  // the file cannot be kept (said once): the history lives in memory
  };
  History model;
  Store store = Store::Off;
  std::vector<PendingCopy> pending;
  std::deque<WaitingCopy> waiting;
  std::unique_ptr<FormatReader> reader;  // made with the window
  std::vector<IgnoreRule> ignore_rules;  // [HistoryIgnore]
  FormatFilter format_filter;            // HistoryFormats
  bool clear_on_load = false;       // Clear History came before the file was read
  std::vector<std::string> kept;    // records of a newer version, kept through compactions
  std::unique_ptr<HistoryWriter> writer;
  std::thread loader;
  Mailbox<std::unique_ptr<StoreLoad>> loads;
  ULONGLONG retry_at = 0;           // Busy: when to read again
  bool busy_said = false;
  bool compaction_failed = false;   // retried at `compact_at`
  ULONGLONG compact_at = 0;
  int suppress = 0;          // the program's own writes of entries are not recorded
  AnsiFold ansi_fold{};
  std::vector<Hotkey> hotkeys;     // as read from the settings
  std::vector<int> registered;     // ids of the hotkeys registered, one per hotkey (0: none)
  std::shared_ptr<HistoryWindowState> window;
  unsigned changes = 0;  // bumped at every change of the model, for the window
  std::shared_ptr<SyncPart> sync;  // the history shared through a folder

  // The file was read (or cannot be kept): the model is the whole history.
  bool loaded() const { return store == Store::Kept || store == Store::MemoryOnly; }
};

std::wstring history_file_path();

void start_history(App& app);
void stop_history(App& app);
// A clipboard change handled whole (not nested): recorded unless hidden.
void record_change(App& app, const ClipboardChange& change);
// WM_KESTRIN_HISTORY_LOADED and WM_KESTRIN_HISTORY_STORE: what the loader and
// the writer put in their mailboxes.
void history_loaded(App& app);
void history_store_report(App& app);
// Once a second: a file that was busy is read again, a compaction that failed
// is tried again.
void history_tick(App& app);
// WM_KESTRIN_HISTORY_FORMATS and its timer: copies whose formats have arrived
// (or waited long enough) are recorded; `ending`: every one, with what has
// arrived.
void history_formats_arrived(App& app, bool ending = false);
// Records of changes that came from elsewhere (another machine): appended to
// the file, not sent on.
void append_history_records(App& app, std::vector<HistoryRecord> records);


// Commands.
void toggle_history(App& app, unsigned id);
void show_history(App& app, unsigned id);
void clear_history(App& app, unsigned id);
// Clears without asking (a script asked).
void clear_history_entries(App& app);
// A text added as a copy of it would be (UTF-8); false when the history is off.
bool add_history_text(App& app, std::string utf8);

// The changes the window makes, each appended to the file.
void remove_history_entry(App& app, uint64_t id);
void pin_history_entry(App& app, uint64_t id, bool pinned);
// What a recall did.
struct Recall {
  bool done = false;
  std::string notice;  // what was left out (files no longer there), or why nothing was put
};
// Puts the entry on the clipboard, every format in its order (not recorded
// again); `plain`: its text alone, recorded as the text it put.
Recall recall_history_entry(App& app, uint64_t id, bool plain = false);
// The bytes of one of the entry's formats, named as format_label names it
// ("CF_UNICODETEXT", "HTML Format"): the entry's own text or bitmap as it
// would go back on the clipboard; none when the entry has no such format.
std::optional<std::string> entry_format_bytes(const HistoryEntry& entry, std::string_view label);
// The labels of the formats entry_format_bytes gives, in their order.
std::vector<std::string> entry_format_labels(const HistoryEntry& entry);
// The clipboard's text alone in place of what it holds (PastePlainText);
// false when it holds no text.
bool make_clipboard_plain(App& app);
// A text command on an entry: the entry goes on the clipboard unrecorded, the
// command rewrites it there, and that is recorded as a new entry; the entry
// itself stays as it was. False for a bitmap or an entry that is gone.
bool apply_text_command_to_entry(App& app, uint64_t id, unsigned command);

// The window (history_window_win.cpp).
void open_history_window(App& app);
void close_history_window(App& app);
void refresh_history_window(App& app);

}  // namespace kestrin
