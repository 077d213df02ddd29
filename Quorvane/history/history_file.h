// The history file: a header, then one record after another, each with its
// length and a CRC-32 of its bytes. A copy appends a record; a record torn by a
// crash fails its check and is dropped at load with nothing before it lost; the
// file is compacted by writing every live entry to a new file that replaces it.
// Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "history/history.h"

namespace kestrin {

// "KESTRINH" and the format's version, 1.
std::string_view history_file_header();

// Bytes of a record before its data: the payload's length, its CRC-32, and the
// fixed fields (op, id, time, kind, flags, size). The data (an Add's entry
// data) follows in the file: it is written from where it lies, never copied.
inline constexpr std::size_t kRecordHeadSize = 4 + 4 + 27;
std::string record_head(const HistoryRecord& record);
// The data a record carries after its head (empty but for Add).
std::string_view record_data(const HistoryRecord& record);

// Header and records in one string (a compacted file, and tests).
std::string encode_history(const std::vector<HistoryRecord>& records);

struct HistoryLoad {
  std::vector<HistoryRecord> records;  // every whole record, in file order
  std::size_t damaged = 0;  // places where the bytes were not a whole record
  bool foreign = false;     // the file does not start with the header
  bool unreadable = false;  // the file is there but could not be read (nothing to judge)
};

// Reads every whole record. A record whose check fails is skipped by its length
// when that stays inside the file; a torn end is dropped. Never reads past
// `file`. With an `owner` that keeps the file's bytes alive, the entries view
// them where they lie; without one, each entry copies its own.
HistoryLoad read_history(std::string_view file, std::shared_ptr<const void> owner = nullptr);

}  // namespace kestrin
