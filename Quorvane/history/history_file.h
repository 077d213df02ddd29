// The history file: a header, then one record after another. A copy appends a
// record; a record torn by a crash fails its check and is dropped at load with
// nothing before it lost; the file is compacted by writing every live entry to
// a new file that replaces it.
//
// Version 3 (written): each record is a marker, the payload's length, a CRC-32
// of the payload, then the payload: the fixed fields (op, id, time, kind,
// flags, size) and, for an Add, the length of the entry's data, its format
// table (each format's number, role, name and length), the data and each
// format's bytes in the table's order. The marker lets the reader find the
// next whole record after any damage. Version 2 has the same framing and an
// Add's data alone after the fixed fields. Version 1 has no marker; after
// damage the reader looks for the next place where a whole record checks.
// Versions 1 and 2 are read (and appended to while they have not been
// rewritten, without formats).
//
// Version 4 (the file written) is version 3's payloads sealed with an
// authenticated cipher (AES-256-GCM). The header holds the file's random key
// wrapped for its user (opaque here), a random file id, and the generation:
// raised on the disk each time a program starts appending, before it does.
// A record is the marker, the payload's length, the generation, the payload
// encrypted and the tag. The nonce is the generation and the record's offset
// in the file: offsets only grow within a generation and every file has a key
// of its own, so no nonce is used twice under a key. The tag covers the file
// id, the record's framing and its offset along with the payload, so a record
// moved within a file or into another one fails like a torn one.
// Platform-free.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/aead.h"
#include "history/history.h"

namespace kestrin {

// The newest layout of a record's payload (plain files are read up to it).
inline constexpr uint32_t kHistoryVersion = 3;
// The layout of the file written: version 3's payloads, sealed.
inline constexpr uint32_t kSealedVersion = 4;

// "KESTRINH" and the format's version.
std::string history_file_header(uint32_t version = kHistoryVersion);

// The fixed fields of a payload, in file order: the one description of the
// layout that the writer and the reader both use.
enum class RecordField { Op, Id, Time, Kind, Flags, Size };
inline constexpr std::size_t kFixedPayload = 27;
// Bytes of a record before its data, in a version's framing, when it has no
// formats.
std::size_t record_head_size(uint32_t version = kHistoryVersion);
// Bytes a record takes in the file.
uint64_t record_size(const HistoryRecord& record, uint32_t version = kHistoryVersion);

// The record's framing, fixed fields and format table. The bytes (an Add's
// entry data and its formats') follow in the file: they are written from
// where they lie, never copied.
std::string record_head(const HistoryRecord& record, uint32_t version = kHistoryVersion);
// The bytes a record carries after its head, in order (none but for Add).
std::vector<std::string_view> record_data(const HistoryRecord& record, uint32_t version = kHistoryVersion);
// A payload kept as it was read (a record of a newer version), framed again.
std::string frame_payload(std::string_view payload, uint32_t version = kHistoryVersion);

// Header and records in one string (a compacted file, and tests); `kept` are
// payloads of records this version does not know, written back byte for byte.
std::string encode_history(const std::vector<HistoryRecord>& records,
                           const std::vector<std::string>& kept = {},
                           uint32_t version = kHistoryVersion);

// -- Sealed files (version 4) --------------------------------------------------

struct SealedHeader {
  uint32_t generation = 1;
  std::array<uint8_t, 16> file_id{};
  std::string wrapped_key;  // the file's key as its user's system wraps it
};
// Where the generation lies in the file: rewritten there in place.
inline constexpr std::size_t kGenerationAt = 12;
// Bytes a sealed record adds to its payload.
inline constexpr std::size_t kSealedFraming = 12 + Aead::kTagSize;

// The history file's magic; a shared folder's logs have their own.
inline constexpr std::string_view kHistoryMagic{"KESTRINH", 8};
std::string sealed_file_header(const SealedHeader& header, std::string_view magic = kHistoryMagic);
// The header of a sealed file and its size in bytes; none when `file` does not
// start with a whole one.
std::optional<std::pair<SealedHeader, std::size_t>> read_sealed_header(std::string_view file,
                                                                      std::string_view magic = kHistoryMagic);
// A record sealed as it lies at `offset` of the file, in the header's generation.
std::string seal_record(const Aead& aead, const SealedHeader& header, uint64_t offset, const HistoryRecord& record);
// A kept payload (a record of a newer version) sealed in the same way.
std::string seal_payload(const Aead& aead, const SealedHeader& header, uint64_t offset, std::string_view payload);
// A record's payload as a sealed file holds it: version 3's, an Add's followed
// by where its entry came from.
std::string record_payload(const HistoryRecord& record);
enum class PayloadRead { Record, Unknown, Bad };
// A payload of `layout` (a file's version) read back: a record, one of a newer
// version (Unknown), or one that makes no sense (Bad). Its bytes are viewed
// where they lie when `owner` keeps them alive, copied otherwise.
PayloadRead parse_record_payload(std::string_view payload, uint32_t layout, const std::shared_ptr<const void>& owner,
                                 HistoryRecord& record);

// The whole sealed records in `bytes`, which start at offset `base` of their
// file, each payload decrypted into bytes of its own.
struct SealedRead {
  std::vector<std::shared_ptr<const std::string>> payloads;
  uint64_t whole_end = 0;  // in the file: where the last whole record ends (or `base`)
  std::size_t damaged = 0;  // places of damage followed by whole records
  uint64_t damaged_bytes = 0;
  bool torn_end = false;  // bytes after the last whole record: cut short, or still being written
};
SealedRead read_sealed(std::string_view bytes, uint64_t base, const SealedHeader& header, const Aead& aead);

// Header and sealed records in one string.
std::string encode_sealed_history(const Aead& aead, const SealedHeader& header,
                                  const std::vector<HistoryRecord>& records,
                                  const std::vector<std::string>& kept = {});

struct HistoryLoad {
  uint32_t version = 0;     // of the file's header (0: no file, or foreign)
  std::vector<HistoryRecord> records;  // every whole record this version knows, in file order
  std::vector<std::string> kept;       // payloads of whole records of a newer version
  std::size_t damaged = 0;        // places where the bytes were not a whole record (or a whole one made no sense)
  uint64_t damaged_bytes = 0;     // bytes of those places
  uint64_t whole_end = 0;         // end of the header or of the last whole record
  bool foreign = false;     // the file does not start with the header
  bool newer = false;       // written by a newer version: not to be read or written here
  bool sealed = false;      // sealed, and read with no cipher: nothing read
};

// Reads every whole record. After damage (a failed check, an impossible
// length), reading resumes at the next whole record. Never reads past `file`.
// With an `owner` that keeps the file's bytes alive, the entries view them
// where they lie; without one, each entry copies its own. A sealed file is
// read with `aead`, the cipher of the key its header wraps: each record is
// decrypted into bytes of its own, which its entry views.
HistoryLoad read_history(std::string_view file, std::shared_ptr<const void> owner = nullptr,
                         const Aead* aead = nullptr);

}  // namespace kestrin
