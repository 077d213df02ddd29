// Palm DOC databases (type "TEXt", creator "REAd"): the record compression, the
// line-end handling, the database layout, and whole conversions between a text
// and a database through byte sources and sinks. Platform-free: the program and
// kestrin-pdb give it their own files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::palm {

inline constexpr std::size_t kRecordSize = 4096;   // text bytes per record
inline constexpr std::size_t kHeaderSize = 78;     // the database header
inline constexpr std::size_t kEntrySize = 8;       // one record list entry
inline constexpr std::size_t kDocHeaderSize = 16;  // record 0
inline constexpr std::size_t kMaxDistance = 2047;
inline constexpr std::size_t kMaxCopy = 10;

// Result codes of the conversions.
enum Result : int {
  kOk = 0,
  kWriteFailed = 1,  // text to database: the source or the output could not be used
  kReadFailed = 2,   // database to text: the source or the output could not be used
  kNotADoc = 3,      // neither "TEXt"/"REAd" nor "rTXT"/"Qwrd"
  kDamaged = 4,      // a record list or record that does not hold together
  kTooLarge = 5,     // text to database: more text than 65,534 records hold
};

// The most text records a database holds (its record count is 16 bits, and
// record 0 is the header), and so the longest text: about 256 MiB.
inline constexpr uint64_t kMaxTextRecords = 0xFFFE;

// Drops the bytes 0x00 to 0x08 and the CR of every CR LF, turns every other CR
// into LF; in place, on one chunk. Returns the new length.
std::size_t normalize_line_ends(uint8_t* data, std::size_t size);
// Every LF becomes CR LF; appended to `out`.
void expand_line_ends(std::span<const uint8_t> in, std::vector<uint8_t>& out);

// The compressed form of one chunk (at most kRecordSize bytes): at every byte
// the longest earlier match of 3 to 10 bytes within 2047 bytes, the earliest of
// equally long ones, never taking in the chunk's last byte; literals with the
// space and escape rules, escapes joined in runs of up to 8. A longer chunk is
// refused with std::length_error.
std::vector<uint8_t> compress(std::span<const uint8_t> chunk);
// Appends the decoded record to `out`. False, with `out` as it was, when a
// token is cut short, a copy reaches before the record's start, or the record
// decodes to more than `limit` bytes.
bool decompress(std::span<const uint8_t> record, std::vector<uint8_t>& out,
                std::size_t limit = kRecordSize);

// Reads bytes of a source in order: at most `size` bytes into `data`, 0 at
// the end or on failure (`failed` tells which).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t read(uint8_t* data, std::size_t size) = 0;
  virtual bool failed() const { return false; }
};
// Reads any range of a source: false when the range could not be read whole.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual uint64_t size() const = 0;
  virtual bool read_at(uint64_t offset, uint8_t* data, std::size_t size) = 0;
};
// Writes bytes: at the end, or over bytes already written.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(std::span<const uint8_t> bytes) = 0;
  virtual bool write_at(uint64_t offset, std::span<const uint8_t> bytes) = 0;
};

// The database header for `name` (the source's base name, at most 31 bytes
// kept) and `records` text records.
std::array<uint8_t, kHeaderSize> database_header(std::string_view name, uint16_t records);

// Text to database: `size` bytes of `text` (read in chunks of 4096), written
// with its header, record list, record 0 and records. The text-length field is
// the length of the stored (normalised) text. kWriteFailed when a write fails,
// kTooLarge when the text needs more than kMaxTextRecords records.
Result write_database(ByteSource& text, uint64_t size, std::string_view name, ByteSink& out);

// Whether a source is a database whose record list holds together: kNotADoc
// for another type or creator (or a file shorter than the header), kDamaged for
// a list that does not fit the file or whose offsets are out of order.
Result check_database(RandomSource& database);

// Database to text: checks the type and creator, then every offset of the
// record list (in order, within the file), then writes each record's text with
// CR LF line ends. kNotADoc or kDamaged before anything is written for a list
// that does not hold together; kDamaged after a record that does not decode
// (the caller removes the partial output).
Result read_database(RandomSource& database, ByteSink& out);

// Which way a file goes, and the name of what it becomes.
struct Plan {
  bool to_database = false;
  std::string output;  // text to database: known from the path alone
};
// The direction by the extension of the file's own name (a dot in a folder's
// name is no extension): one that does not begin with "pdb" (any case) makes a
// database of the file; no extension, or a "pdb" one, reads it as a database. For a database the output is the path with the dots of its
// base name (but a leading one) turned into '_', and ".pdb" appended.
Plan plan_conversion(std::string_view path);
// The text file a database becomes: the database's own name (up to its first
// zero, at most 32 bytes) in the database's folder, made safe: separators,
// colons, characters Windows refuses and control bytes become '_', a name of
// dots alone or a device name (CON, NUL, COM1, ...) gets a leading '_', and a
// name that does not end in ".txt" gets it. Empty when the name is empty.
std::string text_output_name(std::string_view path, std::span<const uint8_t> name_field);

// The part of a path after its last separator ('\\' or '/').
std::string_view base_name(std::string_view path);

}  // namespace kestrin::palm
