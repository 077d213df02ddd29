// The history shared between a user's machines through a folder that their
// own sync engine replicates. Each machine appends its changes (its copies,
// and the removals, pins and clears made on it) to a log of its own in the
// folder, sealed under a key derived from the passphrase, and reads the other
// machines' logs. Entries are known by (origin, id): the log of the machine
// where the copy was made and its id there, so that a log read twice, or a
// copy of a log the engine made, never gives an entry twice. Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "history/history.h"
#include "history/history_file.h"

namespace kestrin {

using LogId = std::array<uint8_t, 16>;

inline constexpr std::string_view kLogMagic{"KESTRINL", 8};
inline constexpr std::string_view kLogSuffix{".klog"};
inline constexpr std::string_view kShareFileName{"share.kestrin"};
inline constexpr uint32_t kShareRounds = 600'000;

// The folder's share file: the passphrase's salt, its rounds, and a check value
// that tells a wrong passphrase before anything is read or written.
struct ShareFile {
  std::array<uint8_t, 16> salt{};
  uint32_t rounds = kShareRounds;
  std::array<uint8_t, 32> check{};
};
std::string encode_share_file(const ShareFile& share);
// None for bytes that are not a share file, or rounds fewer than the least
// this program accepts (a file that weakens the key is not taken).
std::optional<ShareFile> read_share_file(std::string_view bytes);
// What the check value is a keyed hash of.
inline constexpr std::string_view kShareCheckText{"Kestrin shared history check"};

std::string log_id_hex(const LogId& id);
std::optional<LogId> log_id_from_hex(std::string_view hex);

// One change in a log: a record about the entry (origin, record.entry.id).
struct LogChange {
  LogId origin{};
  HistoryRecord record;
};
std::string change_payload(const LogChange& change);
// The machine's name, at the start of each run's records.
std::string name_payload(std::string_view machine);

// What a log's records say, in order; records of a kind to come are skipped.
struct LogRead {
  std::vector<LogChange> changes;
  std::optional<std::string> machine;  // the last name in them
  std::size_t bad = 0;                 // whole records that make no sense
};
LogRead parse_log(const SealedRead& sealed);

// Which local changes go into this machine's log.
enum class SyncSend { All, First, None };

class SyncMerge {
 public:
  explicit SyncMerge(LogId self) : self_(self) {}
  const LogId& self() const { return self_; }

  // The entries received before (the history keeps their origin).
  void know(const History& model);
  // Changes of this machine's own log, read at start: what it removed stays
  // removed when another log brings it again.
  void remember_own(const std::vector<LogChange>& changes);
  // Local records as this machine's log holds them: entries referred to by
  // their origin.
  std::vector<LogChange> outgoing(const std::vector<HistoryRecord>& local);

  struct Applied {
    std::vector<HistoryRecord> records;  // to append to the history file
    std::optional<uint64_t> newest;      // the local id of the last entry that arrived
  };
  // Changes read from other machines' logs (each with its log's machine name),
  // applied to the model: removals first, so that an entry removed anywhere
  // does not come back whatever order the logs are read in.
  Applied apply(History& model, const std::vector<std::pair<std::string, LogChange>>& changes);

 private:
  using Key = std::pair<LogId, uint64_t>;
  std::optional<uint64_t> local_id(const History& model, const Key& key) const;
  LogId self_;
  std::map<Key, uint64_t> local_;   // received entry -> local id
  std::map<uint64_t, Key> origin_;  // local id of a received entry -> its key
  std::set<Key> added_;             // every Add taken
  std::set<Key> gone_;              // removed somewhere
  std::map<Key, bool> pins_;        // pins of entries not here yet
};

}  // namespace kestrin
