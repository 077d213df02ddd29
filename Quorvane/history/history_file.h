// The history file: a header, then one record after another. A copy appends a
// record; a record torn by a crash fails its check and is dropped at load with
// nothing before it lost; the file is compacted by writing every live entry to
// a new file that replaces it.
//
// Version 2 (written): each record is a marker, the payload's length, a CRC-32
// of the payload, then the payload: the fixed fields (op, id, time, kind,
// flags, size) and the data. The marker lets the reader find the next whole
// record after any damage. Version 1 (read, and appended to while it has not
// been rewritten) has no marker; after damage the reader looks for the next
// place where a whole record checks.
// Platform-free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "history/history.h"

namespace kestrin {

inline constexpr uint32_t kHistoryVersion = 2;

// "KESTRINH" and the format's version.
std::string history_file_header(uint32_t version = kHistoryVersion);

// The fixed fields of a payload, in file order: the one description of the
// layout that the writer and the reader both use.
enum class RecordField { Op, Id, Time, Kind, Flags, Size };
inline constexpr std::size_t kFixedPayload = 27;
// Bytes of a record before its data, in a version's framing.
std::size_t record_head_size(uint32_t version = kHistoryVersion);

// The record's framing and fixed fields. The data (an Add's entry data)
// follows in the file: it is written from where it lies, never copied.
std::string record_head(const HistoryRecord& record, uint32_t version = kHistoryVersion);
// The data a record carries after its head (empty but for Add).
std::string_view record_data(const HistoryRecord& record);
// A payload kept as it was read (a record of a newer version), framed again.
std::string frame_payload(std::string_view payload, uint32_t version = kHistoryVersion);

// Header and records in one string (a compacted file, and tests); `kept` are
// payloads of records this version does not know, written back byte for byte.
std::string encode_history(const std::vector<HistoryRecord>& records,
                           const std::vector<std::string>& kept = {},
                           uint32_t version = kHistoryVersion);

struct HistoryLoad {
  uint32_t version = 0;     // of the file's header (0: no file, or foreign)
  std::vector<HistoryRecord> records;  // every whole record this version knows, in file order
  std::vector<std::string> kept;       // payloads of whole records of a newer version
  std::size_t damaged = 0;        // places where the bytes were not a whole record
  uint64_t damaged_bytes = 0;     // bytes of those places
  uint64_t whole_end = 0;         // end of the header or of the last whole record
  bool foreign = false;     // the file does not start with the header
  bool newer = false;       // written by a newer version: not to be read or written here
};

// Reads every whole record. After damage (a failed check, an impossible
// length), reading resumes at the next whole record. Never reads past `file`.
// With an `owner` that keeps the file's bytes alive, the entries view them
// where they lie; without one, each entry copies its own.
HistoryLoad read_history(std::string_view file, std::shared_ptr<const void> owner = nullptr);

}  // namespace kestrin
