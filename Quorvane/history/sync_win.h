// The history shared through a folder: "Share History..." asks for the folder
// and the passphrase, a thread of its own watches the folder (the system's
// notices, and a look every few seconds for shares and sync engines that send
// none), reads the other machines' logs on from where it stopped, and appends
// this machine's changes to its own log. What it reads is merged on the
// window's thread, into the history and its file.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "history/crypto_win.h"
#include "history/history_sync.h"
#include "mailbox.h"
#include "raii_win.h"

namespace kestrin {

struct App;

// A share's key as this user's system keeps it (DPAPI), with this machine's
// log and the folder it was made for. The passphrase itself is never kept.
struct ShareKey {
  SecretKey key;
  LogId self{};
  std::wstring folder;
};
std::optional<ShareKey> load_share_key();
bool store_share_key(const ShareKey& share);

// How far each log has been read, and its machine's name.
struct LogPlace {
  uint64_t offset = 0;
  std::string machine;
  uint64_t seen_size = 0;  // the file's size when it was last read (this run): unchanged, not read again
};
using LogPlaces = std::map<std::string, LogPlace>;  // by log id and file name

// What one look at the folder found.
struct SyncBatch {
  std::vector<std::pair<std::string, LogChange>> changes;  // with their machine's name
  std::vector<LogChange> own;          // this machine's log, read at start
  std::vector<std::string> problems;   // each log that cannot be read, named once
  LogPlaces places;                    // to keep once the changes are merged
};

class ShareSync {
 public:
  ShareSync(ShareKey share, LogPlaces places, bool receive, HWND window);
  ShareSync(const ShareSync&) = delete;
  ShareSync& operator=(const ShareSync&) = delete;
  ~ShareSync();  // what is queued is written first
  void send(std::vector<LogChange> changes);
  std::vector<SyncBatch> take() { return batches_.take_all(); }

 private:
  void run();
  void scan(bool first);
  void write_queued();
  const CngAead* log_cipher(const LogId& id);
  void problem(const std::wstring& file, const std::string& what);

  ShareKey share_;
  LogPlaces places_;
  bool receive_;
  HWND window_;
  std::map<LogId, std::unique_ptr<CngAead>> ciphers_;
  std::map<std::wstring, bool> named_;  // logs said to be unreadable
  bool own_checked_ = false;            // this run's first write has looked at the log
  Mailbox<SyncBatch> batches_;
  std::mutex mutex_;
  std::vector<LogChange> queued_;
  UniqueHandle stop_, wake_;
  std::thread thread_;
};

// The history's part of the sharing, made once the history is read.
struct SyncPart {
  std::unique_ptr<SyncMerge> merge;
  std::unique_ptr<ShareSync> share;
  bool said_no_key = false;
};

// Starts (or starts again) the sharing the settings ask for, once the history is read.
void start_sync(App& app);
void stop_sync(App& app);
// Local changes of the history: what goes into this machine's log.
void sync_records(App& app, const std::vector<HistoryRecord>& records, SyncSend send);
// WM_KESTRIN_SYNC: what the folder brought is merged.
void sync_arrived(App& app);
// The menu's "Share History...".
void share_history(App& app, unsigned id);

}  // namespace kestrin
