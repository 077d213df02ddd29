// The history file on disk: read at start on a worker (and replayed there),
// appended to and compacted on a writer thread. The file's records are the
// truth: every change is appended before anything else happens, a compaction
// only makes the file smaller, and it replaces the old file only once its new
// file has been read back whole. Every record is sealed under the file's own
// key, which its header keeps wrapped for the user; a file of an older, plain
// format is replaced by a sealed one when it is read. Nothing of the file is
// mapped or open once it has been read, so that it can be replaced.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "history/crypto_win.h"
#include "history/history.h"
#include "history/history_file.h"
#include "mailbox.h"

namespace kestrin {

// A history file's key, and its header as it stands on the disk.
struct HistoryKey {
  SecretKey key;
  SealedHeader header;
};
// A new file's: a random key, wrapped for the user, and a random file id.
std::optional<HistoryKey> new_history_key();

// What the loader found at the history file's place.
struct StoreLoad {
  enum class Outcome {
    Read,      // a history (or nothing, or a file of another kind) was read
    Missing,   // there is no file yet
    Busy,      // another program holds it: to be read again later
    Unusable,  // it cannot be read at all (a folder in its place, no access)
    Newer,     // a newer version of the program wrote it
    Plain,     // a file of an older, plain format that could not be replaced yet: read again later
  };
  Outcome outcome = Outcome::Missing;
  std::string reason;  // Unusable, Busy, Plain: what the system said
  std::shared_ptr<const HistoryKey> key;  // Read, Missing: the file's (a new file's)
  // A file sealed for another user or machine: where it was set aside.
  std::wstring set_aside;
  History model;       // Read: the records replayed, and the limit applied
  std::vector<HistoryRecord> expired;  // what the limit took: to be appended
  std::vector<std::string> kept;  // payloads of records of a newer version
  uint32_t version = kSealedVersion;
  std::optional<uint64_t> cut_at;  // a damaged end: appends start here
  std::size_t damaged = 0;
  uint64_t damaged_bytes = 0;
  bool foreign = false;
  std::size_t records = 0;    // whole records read
  uint64_t record_bytes = 0;  // their bytes
};

// Reads and replays the file. Never throws; each entry holds its bytes
// decrypted into memory.
StoreLoad load_history_file(const std::wstring& path, HistoryLimits limits, AnsiDecoder decode);

// The system's words for an error code, for messages.
std::string system_error_text(DWORD error);

// Appends records to the history file and replaces it when compacted, in the
// order asked, on a thread of its own: a copy never waits for the disk.
class HistoryWriter {
 public:
  struct Start {
    std::shared_ptr<const HistoryKey> key;  // of the file on disk; none: a new file, with a new key
    std::optional<uint64_t> cut_at;         // where its last whole record ends, when bytes follow it
  };
  struct Report {
    enum class Kind { WriteFailed, CompactionFailed, Compacted };
    Kind kind;
    std::string reason;
  };

  // Reports go to `report_to` as WM_KESTRIN_HISTORY_STORE, to be taken with take_reports.
  HistoryWriter(std::wstring path, Start start, HWND report_to);
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;
  ~HistoryWriter();  // writes what is queued, then ends

  void append(std::vector<HistoryRecord> records);
  // A new file holding these records (and the kept payloads) replaces the old
  // one in one step, once it reads back whole; otherwise the old one stays.
  void compact(std::vector<HistoryRecord> records, std::vector<std::string> kept);
  void delete_file();
  // Returns once everything asked so far is on disk.
  void flush();
  std::vector<Report> take_reports() { return reports_.take_all(); }
  const std::wstring& path() const { return path_; }

 private:
  enum class JobKind { Append, Compact, Delete };
  struct Job {
    JobKind kind;
    std::vector<HistoryRecord> records;
    std::vector<std::string> kept;
  };
  void run();
  bool open_for_append();
  bool write_records(const std::vector<HistoryRecord>& records);
  bool write_compacted(const Job& job);
  void report(Report::Kind kind, std::string reason);

  std::wstring path_;
  Start start_;
  std::optional<CngAead> aead_;  // the appending run's: the file's key
  SealedHeader header_;          // in the run's generation
  uint64_t end_ = 0;             // where the next record goes
  HWND report_to_;
  HANDLE file_ = INVALID_HANDLE_VALUE;  // the writer thread's only
  bool write_failed_ = false;           // said once
  Mailbox<Report> reports_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> jobs_;
  bool busy_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kestrin
