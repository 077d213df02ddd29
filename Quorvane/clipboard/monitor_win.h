// The clipboard monitor's state: the viewer chain, the change handling with
// append mode, and the analysis of what the clipboard holds. Only the files
// that work on it include this header; the application object holds it
// without looking in.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "app_win.h"
#include "clipboard/analysis.h"
#include "clipboard/change_reader_win.h"
#include "clipboard/clipboard_change.h"

namespace kestrin {

// A write of the program's own that another thread makes (a long text
// command's result): its notice is told by it, and handled with its text.
struct ThreadWrite {
  std::atomic<bool> writing{false};       // set before the thread empties the clipboard
  std::atomic<bool> landed{false};        // set once its text is ready, before it sets the data
  std::shared_ptr<PreparedText> written;  // set before `landed`: the text it writes, analysed
  std::optional<std::string> ansi_tail;   // what follows an ANSI text in the block it writes
  bool automatic_cleanup = false;         // the write of the automatic cleanup: not cleaned again
};

struct ClipboardTextCache {
  std::optional<DWORD> sequence;  // the clipboard sequence number it was read at
  SharedText text;                // none: no text, or it could not be read
  std::optional<std::string> ansi_tail;  // what follows an ANSI text in its block, when known
};

// Before the first change: nothing, and nothing to hide.
inline ClipboardChange public_nothing() {
  ClipboardChange change;
  change.privacy = Privacy::Public;
  return change;
}

// The clipboard monitor: the viewer chain, the change handling with append
// mode, and the analysis of what the clipboard holds.
struct MonitorPart {
  HWND next_viewer = nullptr;
  int self_change = 0;       // non-zero while the program writes the clipboard itself
  int auto_clean_guard = 0;  // non-zero while the automatic cleanup runs
  int change_depth = 0;      // change handlings in progress (nested ones included)
  std::optional<DWORD> handled_sequence;  // clipboard sequence number of the last change handled
  ClipboardChange change = public_nothing();  // the change handled last, as it was read
  unsigned missed_ticks = 0;     // timer ticks in a row that found a change not handled
  SharedText written_text;   // the joined text while the join writes it
  std::shared_ptr<ThreadWrite> thread_write;  // a write of ours on another thread, until its notice
  std::shared_ptr<PreparedText> prepared;     // the next change's text, analysed already
  std::shared_ptr<ChangeRead> reading;        // a change read (or being read) on the reader's thread
  std::pair<WPARAM, LPARAM> read_notice{};    // the notice that waits for it
  bool notice_passed = false;                 // that notice went on along the chain already
  // A copy that could not be read (another program held the clipboard all the
  // while): its sequence number, and the tries so far.
  std::optional<DWORD> busy_sequence;
  unsigned busy_tries = 0;
  ClipboardTextCache text_cache;  // the clipboard's text, read once per sequence number
  HWND saved_foreground = nullptr;
  SharedText snapshot;       // append mode: the text as it stood after the last change
  SharedText analysed_text;  // the text the analysis describes, which the viewer draws
  Analysis analysis;
  // What the monitor says of the clipboard: the title, the tray tip, the
  // viewer's layout and scroll lines. Nothing else writes it.
  std::array<char, kStatusTextSize> status_text{};
  std::size_t line_table_limit = SIZE_MAX;  // records the analysis may allocate
};

// Marks a clipboard write as the program's own for as long as it lives, so that
// its notification is not joined in append mode.
class SelfChangeScope : public CountScope {
 public:
  explicit SelfChangeScope(App& app) : CountScope(app.monitor->self_change) {}
};

}  // namespace kestrin
