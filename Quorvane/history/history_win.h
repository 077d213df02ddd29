// The clipboard history in the program: recording the changes the monitor
// handles, the file it lives in (appended on a writer thread, read at start on
// a worker), the global hotkeys, and the commands of its menu items.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app_win.h"
#include "history/history.h"
#include "history/history_search.h"
#include "history/hotkeys.h"

namespace kestrin {

// Appends records to the history file and replaces it when compacted, in the
// order asked, on a thread of its own: a copy never waits for the disk.
class HistoryWriter {
 public:
  explicit HistoryWriter(std::wstring path);
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;
  ~HistoryWriter();  // writes what is queued, then ends

  void append(std::vector<HistoryRecord> records);
  // A new file holding these records replaces the old one in one step.
  void compact(std::vector<HistoryRecord> records);
  void delete_file();
  // Returns once everything asked so far is on disk.
  void flush();
  const std::wstring& path() const { return path_; }

 private:
  enum class JobKind { Append, Compact, Delete };
  struct Job {
    JobKind kind;
    std::vector<HistoryRecord> records;
  };
  void run();
  void write_records(HANDLE file, const std::vector<HistoryRecord>& records);
  std::wstring path_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> jobs_;
  bool busy_ = false;
  bool stop_ = false;
  std::thread thread_;
};

// One copy made before the file was read: recorded once it is.
struct PendingCopy {
  EntryKind kind;
  SharedBytes data;
  uint64_t size;
  uint64_t time;
};

struct HistoryWindowState;

struct HistoryPart {
  History model;
  bool loaded = false;       // the file has been read (or there was none)
  std::vector<PendingCopy> pending;
  std::unique_ptr<HistoryWriter> writer;
  std::thread loader;
  int suppress = 0;          // the program's own writes of entries are not recorded
  AnsiFold ansi_fold{};
  std::vector<Hotkey> hotkeys;     // as read from the settings
  std::vector<int> registered;     // ids of the hotkeys registered, one per hotkey (0: none)
  std::shared_ptr<HistoryWindowState> window;
  unsigned changes = 0;  // bumped at every change of the model, for the window
};

std::wstring history_file_path();

void start_history(App& app);
void stop_history(App& app);
// After a clipboard change was handled (not nested, not private).
void record_change(App& app);
void history_loaded(App& app, LPARAM load);
void handle_hotkey(App& app, WPARAM id);
// The hotkeys in force, one per line, for the Options dialog.
std::string active_hotkeys_text(const App& app);

// Commands.
void toggle_history(App& app, unsigned id);
void show_history(App& app, unsigned id);
void clear_history(App& app, unsigned id);

// The changes the window makes, each appended to the file.
void remove_history_entry(App& app, uint64_t id);
void pin_history_entry(App& app, uint64_t id, bool pinned);
// Puts the entry on the clipboard (not recorded again); false when it could not.
bool recall_history_entry(App& app, uint64_t id);
// A text command on an entry: the entry goes on the clipboard unrecorded, the
// command rewrites it there, and that is recorded as a new entry; the entry
// itself stays as it was. False for a bitmap or an entry that is gone.
bool apply_text_command_to_entry(App& app, uint64_t id, unsigned command);
// Ctrl+V to whatever window is in front.
void send_paste_keys();

// The window (history_window_win.cpp).
void open_history_window(App& app);
void close_history_window(App& app);
void refresh_history_window(App& app);

}  // namespace kestrin
