#include "history/history_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>

#include "history/little_endian.h"

namespace kestrin {

namespace {

constexpr std::string_view kMagic{"KESTRINH", 8};
constexpr std::size_t kHeaderSize = 12;
// Starts every record of version 2: bytes no text encoding begins a character with.
constexpr std::string_view kMarker{"\xFE\xFFKr", 4};

struct FieldPlace {
  std::size_t at;
  int width;
};
// Indexed by RecordField.
constexpr std::array<FieldPlace, 6> kFields{{{0, 1}, {1, 8}, {9, 8}, {17, 1}, {18, 1}, {19, 8}}};
static_assert(kFields.back().at + kFields.back().width == kFixedPayload);

constexpr uint8_t kFlagPinned = 1, kFlagClipped = 2;

void put(std::string& out, uint64_t value, int bytes) { put_le(out, value, bytes); }
uint64_t get(std::string_view in, std::size_t at, int bytes) { return get_le(in, at, bytes); }

uint64_t field(std::string_view payload, RecordField f) {
  const FieldPlace& p = kFields[static_cast<std::size_t>(f)];
  return get(payload, p.at, p.width);
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

bool known_op(uint64_t op) { return op >= 1 && op <= 4; }
bool known_kind(uint64_t kind, uint32_t version) { return kind >= 1 && kind <= (version >= 3 ? 5 : 3); }
bool known_payload(std::string_view payload, uint32_t version) {
  const uint64_t op = field(payload, RecordField::Op);
  return known_op(op) && (op != static_cast<uint8_t>(RecordOp::Add) ||
                          known_kind(field(payload, RecordField::Kind), version));
}

bool is_add(const HistoryRecord& record) { return record.op == RecordOp::Add; }

// Version 3: what follows an Add's fixed fields before the bytes.
constexpr std::size_t kTableHead = 8 + 2;    // the data's length, the number of formats
constexpr std::size_t kFormatHead = 4 + 1 + 2 + 8;  // number, role, name's length, bytes' length
constexpr std::size_t kMaxFormats = 0xFFFF;

std::string format_table(const HistoryEntry& e) {
  std::string table;
  put(table, e.data ? e.data->size() : 0, 8);
  const std::size_t count = std::min(e.formats.size(), kMaxFormats);
  put(table, count, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const KeptFormat& f = e.formats[i];
    const std::size_t name = std::min<std::size_t>(f.name.size(), 0xFFFF);
    put(table, f.number, 4);
    put(table, static_cast<uint8_t>(f.role), 1);
    put(table, name, 2);
    table.append(f.name, 0, name);
    put(table, has_bytes(f) ? f.data->size() : 0, 8);
  }
  return table;
}

// The data and formats of a version 3 Add from what follows its fixed fields;
// false when the table does not describe those bytes exactly.
bool read_formats(std::string_view rest, const std::shared_ptr<const void>& owner, HistoryEntry& e,
                  std::size_t* end = nullptr) {
  auto bytes_of = [&](std::string_view piece) {
    return owner ? share_view(owner, piece) : share_bytes(std::string(piece));
  };
  if (rest.size() < kTableHead) return false;
  const uint64_t data_size = get(rest, 0, 8);
  const auto count = static_cast<std::size_t>(get(rest, 8, 2));
  std::size_t at = kTableHead;
  struct Row {
    KeptFormat format;
    uint64_t size;
  };
  std::vector<Row> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (rest.size() - at < kFormatHead) return false;
    Row row;
    row.format.number = static_cast<uint32_t>(get(rest, at, 4));
    const uint64_t role = get(rest, at + 4, 1);
    const auto name = static_cast<std::size_t>(get(rest, at + 5, 2));
    if (role > static_cast<uint8_t>(FormatRole::OverLimit) || rest.size() - at - 7 < name + 8) return false;
    row.format.role = static_cast<FormatRole>(role);
    row.format.name.assign(rest.substr(at + 7, name));
    row.size = get(rest, at + 7 + name, 8);
    if (row.format.role != FormatRole::Data && row.size != 0) return false;
    at += kFormatHead + name;
    rows.push_back(std::move(row));
  }
  if (data_size > rest.size() - at) return false;
  e.data = bytes_of(rest.substr(at, static_cast<std::size_t>(data_size)));
  at += static_cast<std::size_t>(data_size);
  for (Row& row : rows) {
    if (row.size > rest.size() - at) return false;
    if (row.format.role == FormatRole::Data) {
      row.format.data = bytes_of(rest.substr(at, static_cast<std::size_t>(row.size)));
    }
    at += static_cast<std::size_t>(row.size);
    e.formats.push_back(std::move(row.format));
  }
  if (end) *end = at;
  return end || at == rest.size();
}

// A sealed Add's payload ends with where its entry came from.
std::string origin_trailer(const HistoryEntry& e) {
  std::string out;
  if (!e.origin) {
    out.push_back('\0');
    return out;
  }
  out.push_back('\1');
  out.append(e.origin->log.begin(), e.origin->log.end());
  put(out, e.origin->id, 8);
  const std::size_t name = std::min<std::size_t>(e.origin->machine.size(), 0xFFFF);
  put(out, name, 2);
  out.append(e.origin->machine, 0, name);
  return out;
}

bool read_origin(std::string_view rest, HistoryEntry& e) {
  if (rest.empty()) return false;
  if (rest[0] == 0) return rest.size() == 1;
  if (rest[0] != 1 || rest.size() < 1 + 16 + 8 + 2) return false;
  EntryOrigin origin;
  std::copy_n(rest.begin() + 1, origin.log.size(), origin.log.begin());
  origin.id = get(rest, 17, 8);
  const auto name = static_cast<std::size_t>(get(rest, 25, 2));
  if (rest.size() != 27 + name) return false;
  origin.machine.assign(rest.substr(27));
  e.origin = std::move(origin);
  return true;
}

std::string framing(uint32_t version, std::size_t payload_size, uint32_t crc) {
  std::string head;
  if (version >= 2) head += kMarker;
  put(head, payload_size, 4);
  put(head, crc, 4);
  return head;
}

// The payload of a whole record at `at`, and where the next one starts.
struct Found {
  std::string_view payload;
  std::size_t next;
};
std::optional<Found> record_at(std::string_view file, std::size_t at, uint32_t version) {
  const std::size_t framing_size = record_head_size(version) - kFixedPayload;
  if (file.size() - at < framing_size + kFixedPayload) return std::nullopt;
  if (version >= 2 && file.substr(at, kMarker.size()) != kMarker) return std::nullopt;
  const std::size_t length_at = at + (version >= 2 ? kMarker.size() : 0);
  const uint64_t length = get(file, length_at, 4);
  if (length < kFixedPayload || length > file.size() - at - framing_size) return std::nullopt;
  const std::string_view payload = file.substr(at + framing_size, static_cast<std::size_t>(length));
  // Version 1 never wrote a record this reader does not know: such a "record"
  // is damage that happened to pass the length check.
  if (version < 2 && !known_payload(payload, version)) return std::nullopt;
  if (crc_of(0, payload) != static_cast<uint32_t>(get(file, length_at + 4, 4))) return std::nullopt;
  return Found{payload, at + framing_size + static_cast<std::size_t>(length)};
}

// -- Sealed records ------------------------------------------------------------

Aead::Nonce nonce_of(uint32_t generation, uint64_t offset) {
  std::string bytes;
  put(bytes, generation, 4);
  put(bytes, offset, 8);
  Aead::Nonce nonce{};
  std::copy(bytes.begin(), bytes.end(), nonce.begin());
  return nonce;
}

// What the tag covers beside the payload: the file, the framing and the place.
std::string sealed_aad(const SealedHeader& header, std::string_view framing, uint64_t offset) {
  std::string aad(header.file_id.begin(), header.file_id.end());
  aad += framing;
  put(aad, offset, 8);
  return aad;
}

std::string seal_pieces(const Aead& aead, const SealedHeader& header, uint64_t offset, std::string_view head,
                        const std::vector<std::string_view>& pieces) {
  std::size_t payload = head.size();
  for (const std::string_view piece : pieces) payload += piece.size();
  std::string out(kMarker);
  put(out, payload, 4);
  put(out, header.generation, 4);
  const std::string aad = sealed_aad(header, out, offset);
  const std::size_t at = out.size();
  out.reserve(at + payload + Aead::kTagSize);
  out += head;
  for (const std::string_view piece : pieces) out += piece;
  Aead::Tag tag{};
  if (!aead.seal(nonce_of(header.generation, offset), aad, out.data() + at, payload, tag)) return {};
  out.append(tag.begin(), tag.end());
  return out;
}

// A sealed record at `at` whose tag holds, decrypted into bytes of its own.
struct Opened {
  std::shared_ptr<const std::string> payload;
  std::size_t next;
};
std::optional<Opened> sealed_at(std::string_view file, std::size_t at, uint64_t base, const SealedHeader& header,
                                const Aead& aead) {
  if (file.size() - at < kSealedFraming + 1 || file.substr(at, kMarker.size()) != kMarker) {
    return std::nullopt;
  }
  const uint64_t length = get(file, at + 4, 4);
  if (length < 1 || length > file.size() - at - kSealedFraming) return std::nullopt;
  const std::string_view framing = file.substr(at, 12);
  const auto generation = static_cast<uint32_t>(get(file, at + 8, 4));
  const std::string_view sealed = file.substr(at + 12, static_cast<std::size_t>(length));
  Aead::Tag tag{};
  const std::string_view tag_bytes = file.substr(at + 12 + sealed.size(), Aead::kTagSize);
  std::copy(tag_bytes.begin(), tag_bytes.end(), tag.begin());
  auto payload = std::make_shared<std::string>(sealed.size(), '\0');
  if (!aead.open(nonce_of(generation, base + at), sealed_aad(header, framing, base + at), sealed, tag,
                 payload->data())) {
    return std::nullopt;
  }
  return Opened{std::move(payload), at + kSealedFraming + sealed.size()};
}

// Reads whole records one after another, and after damage the next whole one.
class RecordSource {
 public:
  RecordSource(std::string_view file, uint32_t version, const SealedHeader* header, const Aead* aead,
               uint64_t base = 0)
      : file_(file), version_(version), header_(header), aead_(aead), base_(base) {}

  struct Whole {
    std::string_view payload;
    std::shared_ptr<const void> owner;  // the payload's own bytes (sealed), or none
    std::size_t next;
  };
  std::optional<Whole> at(std::size_t place) const {
    if (header_) {
      std::optional<Opened> opened = sealed_at(file_, place, base_, *header_, *aead_);
      if (!opened) return std::nullopt;
      const std::string_view payload = *opened->payload;
      return Whole{payload, std::move(opened->payload), opened->next};
    }
    const std::optional<Found> found = record_at(file_, place, version_);
    if (!found) return std::nullopt;
    return Whole{found->payload, nullptr, found->next};
  }
  // Where the next whole record after damage at `place` starts, or the file's end.
  std::size_t resync(std::size_t place) const {
    for (std::size_t next = place + 1; next < file_.size(); ++next) {
      if (version_ >= 2) {
        next = file_.find(kMarker, next);
        if (next == std::string_view::npos) break;
      }
      if (at(next)) return next;
    }
    return file_.size();
  }

 private:
  std::string_view file_;
  uint32_t version_;
  const SealedHeader* header_;
  const Aead* aead_;
  uint64_t base_;  // the file's offset of file_'s first byte
};

}  // namespace

std::string history_file_header(uint32_t version) {
  std::string header(kMagic);
  put(header, version, 4);
  return header;
}

std::size_t record_head_size(uint32_t version) {
  if (version >= kSealedVersion) return kSealedFraming + kFixedPayload;
  return (version >= 2 ? kMarker.size() : 0) + 8 + kFixedPayload;
}

std::vector<std::string_view> record_data(const HistoryRecord& record, uint32_t version) {
  std::vector<std::string_view> pieces;
  if (!is_add(record)) return pieces;
  const HistoryEntry& e = record.entry;
  if (e.data) pieces.emplace_back(*e.data);
  if (version < 3) return pieces;
  const std::size_t count = std::min(e.formats.size(), kMaxFormats);
  for (std::size_t i = 0; i < count; ++i) {
    if (has_bytes(e.formats[i])) pieces.emplace_back(*e.formats[i].data);
  }
  return pieces;
}

std::string record_head(const HistoryRecord& record, uint32_t version) {
  const HistoryEntry& e = record.entry;
  std::string fixed;
  fixed.reserve(kFixedPayload);
  // An older file has no place for the newer kinds: their text is what it keeps.
  uint8_t kind = static_cast<uint8_t>(e.kind);
  if (version < 3 && !known_kind(kind, version)) kind = static_cast<uint8_t>(EntryKind::UnicodeText);
  const uint64_t values[] = {static_cast<uint8_t>(record.op), e.id, e.time, kind,
                             (e.pinned ? kFlagPinned : 0u) | (e.clipped ? kFlagClipped : 0u), e.size};
  for (std::size_t i = 0; i < kFields.size(); ++i) put(fixed, values[i], kFields[i].width);
  if (version >= 3 && is_add(record)) fixed += format_table(e);
  uint32_t crc = crc_of(0, fixed);
  std::size_t payload = fixed.size();
  for (const std::string_view piece : record_data(record, version)) {
    crc = crc_of(crc, piece);
    payload += piece.size();
  }
  return framing(version, payload, crc) + fixed;
}

uint64_t record_size(const HistoryRecord& record, uint32_t version) {
  if (version >= kSealedVersion) {
    const uint64_t trailer = !is_add(record) ? 0
                             : record.entry.origin ? 27 + std::min<std::size_t>(record.entry.origin->machine.size(), 0xFFFF)
                                                   : 1;
    return record_size(record, kHistoryVersion) - record_head_size(kHistoryVersion) + record_head_size(version) +
           trailer;
  }
  uint64_t size = record_head_size(version);
  if (!is_add(record)) return size;
  const HistoryEntry& e = record.entry;
  size += e.data ? e.data->size() : 0;
  if (version < 3) return size;
  // The table and the bytes after it, as format_table and record_data lay them out.
  size += kTableHead;
  const std::size_t count = std::min(e.formats.size(), kMaxFormats);
  for (std::size_t i = 0; i < count; ++i) {
    const KeptFormat& f = e.formats[i];
    size += kFormatHead + std::min<std::size_t>(f.name.size(), 0xFFFF) + (has_bytes(f) ? f.data->size() : 0);
  }
  return size;
}

std::string frame_payload(std::string_view payload, uint32_t version) {
  return framing(version, payload.size(), crc_of(0, payload)) + std::string(payload);
}

std::string encode_history(const std::vector<HistoryRecord>& records,
                           const std::vector<std::string>& kept, uint32_t version) {
  std::string out = history_file_header(version);
  for (const HistoryRecord& record : records) {
    out += record_head(record, version);
    for (const std::string_view piece : record_data(record, version)) out += piece;
  }
  for (const std::string& payload : kept) out += frame_payload(payload, version);
  return out;
}

std::string sealed_file_header(const SealedHeader& header, std::string_view magic) {
  std::string out = history_file_header(kSealedVersion);
  out.replace(0, kMagic.size(), magic.substr(0, kMagic.size()));
  put(out, header.generation, 4);
  out.append(header.file_id.begin(), header.file_id.end());
  put(out, header.wrapped_key.size(), 4);
  out += header.wrapped_key;
  return out;
}

std::optional<std::pair<SealedHeader, std::size_t>> read_sealed_header(std::string_view file, std::string_view magic) {
  constexpr std::size_t kFixed = kHeaderSize + 4 + 16 + 4;
  if (file.size() < kFixed || file.substr(0, kMagic.size()) != magic || get(file, kMagic.size(), 4) != kSealedVersion) {
    return std::nullopt;
  }
  SealedHeader header;
  header.generation = static_cast<uint32_t>(get(file, kGenerationAt, 4));
  std::copy_n(file.begin() + kGenerationAt + 4, header.file_id.size(), header.file_id.begin());
  const uint64_t key_size = get(file, kFixed - 4, 4);
  if (key_size > file.size() - kFixed) return std::nullopt;
  header.wrapped_key.assign(file.substr(kFixed, static_cast<std::size_t>(key_size)));
  return std::pair{std::move(header), kFixed + static_cast<std::size_t>(key_size)};
}

std::string seal_record(const Aead& aead, const SealedHeader& header, uint64_t offset, const HistoryRecord& record) {
  const std::string head = record_head(record, kHistoryVersion).substr(record_head_size() - kFixedPayload);
  std::vector<std::string_view> pieces = record_data(record, kHistoryVersion);
  const std::string trailer = is_add(record) ? origin_trailer(record.entry) : std::string();
  pieces.emplace_back(trailer);
  return seal_pieces(aead, header, offset, head, pieces);
}

std::string record_payload(const HistoryRecord& record) {
  std::string out = record_head(record, kHistoryVersion).substr(record_head_size() - kFixedPayload);
  for (const std::string_view piece : record_data(record, kHistoryVersion)) out += piece;
  if (is_add(record)) out += origin_trailer(record.entry);
  return out;
}

PayloadRead parse_record_payload(std::string_view payload, uint32_t layout, const std::shared_ptr<const void>& owner,
                                 HistoryRecord& record) {
  if (payload.size() < kFixedPayload) return PayloadRead::Bad;
  if (!known_payload(payload, layout)) {
    // A record this layout did not have but this program knows would mean
    // something else in a rewritten file: it is not kept.
    return known_payload(payload, kSealedVersion) ? PayloadRead::Bad : PayloadRead::Unknown;
  }
  record = {};
  record.op = static_cast<RecordOp>(field(payload, RecordField::Op));
  HistoryEntry& e = record.entry;
  e.id = field(payload, RecordField::Id);
  e.time = field(payload, RecordField::Time);
  const uint64_t kind = field(payload, RecordField::Kind);
  e.kind = known_kind(kind, layout) ? static_cast<EntryKind>(kind) : EntryKind::AnsiText;
  const uint64_t flags = field(payload, RecordField::Flags);
  e.pinned = (flags & kFlagPinned) != 0;
  e.clipped = (flags & kFlagClipped) != 0;
  e.size = field(payload, RecordField::Size);
  if (record.op != RecordOp::Add) return PayloadRead::Record;
  const std::string_view rest = payload.substr(kFixedPayload);
  if (layout < 3) {
    e.data = owner ? share_view(owner, rest) : share_bytes(std::string(rest));
    return PayloadRead::Record;
  }
  // Whole, but its table does not fit its bytes: not written by this program.
  if (layout == 3) return read_formats(rest, owner, e) ? PayloadRead::Record : PayloadRead::Bad;
  std::size_t end = 0;
  return read_formats(rest, owner, e, &end) && read_origin(rest.substr(end), e) ? PayloadRead::Record
                                                                                 : PayloadRead::Bad;
}

SealedRead read_sealed(std::string_view bytes, uint64_t base, const SealedHeader& header, const Aead& aead) {
  SealedRead read;
  const RecordSource source(bytes, kSealedVersion, &header, &aead, base);
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::optional<RecordSource::Whole> found = source.at(at);
    if (!found) {
      const std::size_t next = source.resync(at);
      if (next == bytes.size()) {
        read.torn_end = true;  // perhaps still being written
        break;
      }
      ++read.damaged;
      read.damaged_bytes += next - at;
      at = next;
      continue;
    }
    at = found->next;
    read.whole_end = at;
    read.payloads.push_back(std::static_pointer_cast<const std::string>(found->owner));
  }
  read.whole_end += base;
  return read;
}

std::string seal_payload(const Aead& aead, const SealedHeader& header, uint64_t offset, std::string_view payload) {
  return seal_pieces(aead, header, offset, payload, {});
}

std::string encode_sealed_history(const Aead& aead, const SealedHeader& header,
                                  const std::vector<HistoryRecord>& records, const std::vector<std::string>& kept) {
  std::string out = sealed_file_header(header);
  for (const HistoryRecord& record : records) out += seal_record(aead, header, out.size(), record);
  for (const std::string& payload : kept) out += seal_payload(aead, header, out.size(), payload);
  return out;
}

HistoryLoad read_history(std::string_view file, std::shared_ptr<const void> owner, const Aead* aead) {
  HistoryLoad load;
  if (file.empty()) return load;
  if (file.size() < kHeaderSize || file.substr(0, kMagic.size()) != kMagic) {
    load.foreign = true;
    return load;
  }
  const auto version = static_cast<uint32_t>(get(file, kMagic.size(), 4));
  if (version == 0) {
    load.foreign = true;
    return load;
  }
  if (version > kSealedVersion) {
    load.newer = true;
    return load;
  }
  std::optional<std::pair<SealedHeader, std::size_t>> sealed;
  std::size_t at = kHeaderSize;
  if (version == kSealedVersion) {
    sealed = read_sealed_header(file);
    if (!sealed) {
      load.foreign = true;
      return load;
    }
    if (!aead) {
      load.sealed = true;
      return load;
    }
    at = sealed->second;
  }
  load.version = version;
  // A sealed file's payloads are the newest plain ones, an Add's with its origin.
  const uint32_t layout = version;
  const RecordSource source(file, version, sealed ? &sealed->first : nullptr, aead);
  load.whole_end = at;
  while (at < file.size()) {
    std::optional<RecordSource::Whole> found = source.at(at);
    if (!found) {
      const std::size_t next = source.resync(at);
      ++load.damaged;
      load.damaged_bytes += next - at;
      at = next;
      continue;
    }
    const std::size_t start = at;
    at = found->next;
    load.whole_end = at;
    HistoryRecord record;
    switch (parse_record_payload(found->payload, layout, sealed ? found->owner : owner, record)) {
      case PayloadRead::Record:
        break;
      case PayloadRead::Unknown:
        load.kept.emplace_back(found->payload);
        continue;
      case PayloadRead::Bad:
        ++load.damaged;
        load.damaged_bytes += at - start;
        continue;
    }
    load.records.push_back(std::move(record));
  }
  return load;
}

}  // namespace kestrin
