// The clipboard history: its entries, the order they are shown in, duplicates
// moving up, pins and limits. Every change is a record, applied here and
// appended to the history file, so that a load replays the same records.
// Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrin {

// Bytes shared with whoever holds them (the text the monitor read, the history
// file read whole): an entry keeps them alive without a copy of its own.
using SharedBytes = std::shared_ptr<const std::string_view>;
// Bytes of their own.
SharedBytes share_bytes(std::string bytes);
// A view of bytes that `owner` keeps alive.
SharedBytes share_view(std::shared_ptr<const void> owner, std::string_view view);

// What an entry shows and is searched by: its text, its bitmap, the names of
// its files (UTF-8, a line each), or nothing but its formats.
enum class EntryKind : uint8_t { AnsiText = 1, UnicodeText = 2, Bitmap = 3, Files = 4, Data = 5 };
bool is_text(EntryKind kind);

enum class FormatRole : uint8_t {
  Data = 0,       // its bytes are kept
  Main = 1,       // the entry's own text or bitmap goes back here
  Late = 2,       // not read in time (the program did not hand it over, or the copy had gone): left out
  OverLimit = 3,  // the copy was larger than an entry may be: left out
};

// One format of a copy, in the clipboard's order.
struct KeptFormat {
  uint32_t number = 0;  // the system's number (a registered format's holds in its session only)
  std::string name;     // a registered format's name, UTF-8; empty for a standard one
  FormatRole role = FormatRole::Data;
  SharedBytes data;     // Data only
};

// A format whose bytes are kept (a Data format once it has arrived).
inline bool has_bytes(const KeptFormat& f) { return f.role == FormatRole::Data && f.data; }
// A list of files (CF_HDROP) with its bytes.
bool is_file_list(const KeptFormat& f);
// Whether any format has its bytes: something beside a text or bitmap to put back.
bool any_bytes(const std::vector<KeptFormat>& formats);

// Where a copy received from another machine came from: that machine's log,
// the entry's id there, and the machine's name.
struct EntryOrigin {
  std::array<uint8_t, 16> log{};
  uint64_t id = 0;
  std::string machine;
  bool operator==(const EntryOrigin&) const = default;
};

struct HistoryEntry {
  uint64_t id = 0;
  EntryKind kind = EntryKind::AnsiText;
  // The text (ANSI bytes or UTF-8) or the packed DIB; for a clipped entry only
  // the text's first line. Shared with whoever read it: never copied to record.
  SharedBytes data;
  uint64_t time = 0;  // seconds since 1970, UTC
  uint64_t size = 0;  // of the whole item: bytes, or characters of a Unicode text
  bool pinned = false;
  bool clipped = false;  // larger than the limit: the first line and the size only
  // Every format of the copy in its order; empty: the text or bitmap alone.
  std::vector<KeptFormat> formats{};
  std::optional<EntryOrigin> origin{};  // none: copied on this machine
  // A hash of how an entry starts, equal for any two entries History::add
  // takes for the same, made when first needed: the entries a copy cannot
  // match are passed over at once.
  mutable std::optional<uint64_t> same_key{};
};

// The bytes an entry holds, its formats' included.
uint64_t entry_bytes(const HistoryEntry& entry);

enum class RecordOp : uint8_t { Add = 1, Touch = 2, Remove = 3, Pin = 4 };

// One change of the history, as the file keeps it.
struct HistoryRecord {
  RecordOp op = RecordOp::Add;
  HistoryEntry entry;  // Add: all of it; Touch: id and time; Remove: id; Pin: id and pinned
};

struct HistoryLimits {
  std::size_t max_entries = 1000;
  uint64_t max_item_bytes = uint64_t{16} << 20;
};

// ANSI bytes as UTF-8 (the platform's code page); none: ANSI is taken as it is.
using AnsiDecoder = std::string (*)(std::string_view);

class History {
 public:
  explicit History(HistoryLimits limits = {}, AnsiDecoder decode_ansi = nullptr)
      : limits_(limits), decode_ansi_(decode_ansi) {}

  // A copy: a new entry at the top, or an equal one moved up; then the oldest
  // unpinned entries past the limit go. Texts are equal when their characters
  // are, whichever kind holds them (the same ASCII copied under two keyboard
  // layouts is one entry); clipped ones when their size and kept line are; and
  // only when the other formats are the same too (a plain-text paste of a
  // formatted entry is an entry of its own). A copy larger than the item limit
  // keeps its text, bitmap or file list only, a text over it its first line.
  // Returns what to append.
  std::vector<HistoryRecord> add(EntryKind kind, SharedBytes data, uint64_t size, uint64_t time,
                                 std::vector<KeptFormat> formats = {}, std::optional<EntryOrigin> origin = {});
  std::vector<HistoryRecord> remove(uint64_t id);
  std::vector<HistoryRecord> set_pinned(uint64_t id, bool pinned);
  // Every unpinned entry goes.
  std::vector<HistoryRecord> clear_unpinned();
  // The limit as it stands now (after a change of the settings, or a load).
  std::vector<HistoryRecord> enforce_limit();
  void set_limits(HistoryLimits limits) { limits_ = limits; }
  const HistoryLimits& limits() const { return limits_; }

  // Replays one record (a change just made). Records about entries that are
  // not there are ignored.
  void apply(const HistoryRecord& record);
  // Replays a whole file's records in time linear in their number, into an
  // empty history; entries over the item limit are clipped as a copy would be
  // (a bitmap over it is left out).
  void replay(const std::vector<HistoryRecord>& records);

  // Oldest first, as recorded.
  const std::vector<HistoryEntry>& entries() const { return entries_; }
  const HistoryEntry* find(uint64_t id) const;
  // The order of the window: pinned entries first, each group newest first.
  std::vector<const HistoryEntry*> shown() const;
  // The n-th entry of that order (1 is the top), or none.
  const HistoryEntry* shown_at(std::size_t n) const;
  // Add records for every entry, oldest first: what a compacted file holds.
  std::vector<HistoryRecord> snapshot() const;
  uint64_t next_id() const { return next_id_; }
  // Every entry copies its bytes into bytes of its own (what they viewed can
  // go). On too little memory it throws and leaves every entry as it was.
  void own_data();

 private:
  std::size_t index_of(uint64_t id) const;
  bool same_text(const HistoryEntry& e, const HistoryEntry& copy) const;
  // Equal for every two entries same_text takes for the same.
  uint64_t same_key(const HistoryEntry& e) const;
  // The entry as the item limit allows it; none for a bitmap over it.
  std::optional<HistoryEntry> within_limit(HistoryEntry entry) const;
  // The entries by their same_key, for a copy to find its equal without a
  // look at every entry: kept along with the entries as they come and go,
  // made anew when a change of many (a replay, a clear) left it behind.
  void index(const HistoryEntry& e);
  void unindex(const HistoryEntry& e);
  HistoryLimits limits_;
  AnsiDecoder decode_ansi_;
  std::vector<HistoryEntry> entries_;  // oldest first
  uint64_t next_id_ = 1;
  std::unordered_multimap<uint64_t, uint64_t> by_key_;  // same_key -> id
  bool by_key_whole_ = false;
};

// The first line of a text (up to CR or LF), cut to `max_characters` code
// points for UTF-8 or bytes for ANSI, never a cut character.
std::string_view first_line(std::string_view text, bool utf8, std::size_t max_characters);

// What the window's first column says of an entry: the first line of a text
// (200 characters at most), "Bitmap WxH", "3 files: a.txt, b.txt, c.txt
// (C:\\folder)", or the formats. UTF-8; ANSI bytes are handed to `ansi_to_utf8`.
std::string entry_preview(const HistoryEntry& entry,
                          std::string (*ansi_to_utf8)(std::string_view));

// "12 s", "5 min", "3 h", "2 d": how long ago `time` was at `now`.
std::string age_text(uint64_t time, uint64_t now);

// Width and height of a packed DIB's header, when it has one.
std::optional<std::pair<int32_t, int32_t>> dib_size(std::string_view dib);

}  // namespace kestrin
