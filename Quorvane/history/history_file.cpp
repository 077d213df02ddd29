#include "history/history_file.h"

#include <zlib.h>

#include <cstring>

namespace kestrin {

namespace {

constexpr std::string_view kHeader{"KESTRINH\x01\x00\x00\x00", 12};
constexpr std::size_t kFixedPayload = kRecordHeadSize - 8;

void put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t get(std::string_view in, std::size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= uint64_t{static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])} << (8 * i);
  }
  return value;
}

uint32_t crc_of(uint32_t crc, std::string_view bytes) {
  // zlib takes an unsigned length: feed it in pieces a 32-bit one holds.
  while (!bytes.empty()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
    crc = static_cast<uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece)));
    bytes.remove_prefix(piece);
  }
  return crc;
}

bool known_op(uint8_t op) { return op >= 1 && op <= 4; }
bool known_kind(uint8_t kind) { return kind >= 1 && kind <= 3; }

}  // namespace

std::string_view history_file_header() { return kHeader; }

std::string_view record_data(const HistoryRecord& record) {
  if (record.op != RecordOp::Add || !record.entry.data) return {};
  return *record.entry.data;
}

std::string record_head(const HistoryRecord& record) {
  const HistoryEntry& e = record.entry;
  const std::string_view data = record_data(record);
  std::string fixed;
  fixed.reserve(kFixedPayload);
  put(fixed, static_cast<uint8_t>(record.op), 1);
  put(fixed, e.id, 8);
  put(fixed, e.time, 8);
  put(fixed, static_cast<uint8_t>(e.kind), 1);
  put(fixed, (e.pinned ? 1u : 0u) | (e.clipped ? 2u : 0u), 1);
  put(fixed, e.size, 8);
  std::string head;
  head.reserve(kRecordHeadSize);
  put(head, kFixedPayload + data.size(), 4);
  put(head, crc_of(crc_of(0, fixed), data), 4);
  return head + fixed;
}

std::string encode_history(const std::vector<HistoryRecord>& records) {
  std::string out(kHeader);
  for (const HistoryRecord& record : records) {
    out += record_head(record);
    out += record_data(record);
  }
  return out;
}

HistoryLoad read_history(std::string_view file, std::shared_ptr<const void> owner) {
  HistoryLoad load;
  if (file.empty()) return load;
  if (file.substr(0, kHeader.size()) != kHeader) {
    load.foreign = true;
    return load;
  }
  std::size_t at = kHeader.size();
  bool in_damage = false;
  auto damage = [&] {
    if (!in_damage) ++load.damaged;
    in_damage = true;
  };
  while (at < file.size()) {
    const std::size_t left = file.size() - at;
    if (left < kRecordHeadSize) {
      damage();
      break;
    }
    const uint64_t length = get(file, at, 4);
    if (length < kFixedPayload || length > left - 8) {
      // A length that cannot be right: nothing after it can be found again.
      damage();
      break;
    }
    const std::string_view payload = file.substr(at + 8, static_cast<std::size_t>(length));
    const auto stored_crc = static_cast<uint32_t>(get(file, at + 4, 4));
    const auto op = static_cast<uint8_t>(payload[0]);
    const auto kind = static_cast<uint8_t>(payload[17]);
    at += 8 + static_cast<std::size_t>(length);
    if (crc_of(0, payload) != stored_crc || !known_op(op) ||
        (op == static_cast<uint8_t>(RecordOp::Add) && !known_kind(kind))) {
      damage();
      continue;
    }
    in_damage = false;
    HistoryRecord record;
    record.op = static_cast<RecordOp>(op);
    HistoryEntry& e = record.entry;
    e.id = get(payload, 1, 8);
    e.time = get(payload, 9, 8);
    e.kind = known_kind(kind) ? static_cast<EntryKind>(kind) : EntryKind::AnsiText;
    const auto flags = static_cast<uint8_t>(payload[18]);
    e.pinned = (flags & 1) != 0;
    e.clipped = (flags & 2) != 0;
    e.size = get(payload, 19, 8);
    if (record.op == RecordOp::Add) {
      const std::string_view data = payload.substr(kFixedPayload);
      e.data = owner ? share_view(owner, data) : share_bytes(std::string(data));
    }
    load.records.push_back(std::move(record));
  }
  return load;
}

}  // namespace kestrin
