// The clip file on plain bytes: a 16-byte header ("Orsk", "kest", two zero
// words) and twenty slot records, little-endian, no padding. A record is the
// data size (0: empty, and the record ends there), the format, the time added,
// the time last used (eight 16-bit values each), the use count, the data.
// Platform-free: the Win32 side moves the bytes to and from the disk.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "clip_slot.h"

namespace kestrin {

// Site numbers of the clip file's reads and writes, as the last-error boxes
// name them.
enum ClipFileSite : unsigned {
  kSiteClipOpenRead = 855,
  kSiteClipHeaderRead = 857,  // 857, 859, 861, 864: the four header words
  kSiteClipSizeRead = 868,
  kSiteClipFormatRead = 870,
  kSiteClipAddedRead = 871,
  kSiteClipUsedRead = 872,
  kSiteClipTimesRead = 873,
  kSiteClipDataRead = 875,
  kSiteClipOpenWrite = 895,
  kSiteClipHeaderWrite = 898,  // 898, 900, 902, 904
  kSiteClipSizeWrite = 908,
  kSiteClipFormatWrite = 909,
  kSiteClipAddedWrite = 910,
  kSiteClipUsedWrite = 911,
  kSiteClipTimesWrite = 912,
  kSiteClipDataWrite = 913,
  kSiteClipEmptyWrite = 917,
};

inline constexpr std::size_t kClipHeaderSize = 16;
inline constexpr std::size_t kClipRecordHead = 44;  // a filled record without its data

struct ClipFileRead {
  bool header = false;   // false: too short for its header; the slots are not to be touched
  SlotArray slots;       // slot by slot as the file holds them, labels made
  unsigned failed_site = 0;  // the first read the file was too short for, or 0
  std::size_t refused = 0;   // records not taken: a format other than text and DIB,
                             // or a DIB that does not fit its own bytes (kept as they are)
  std::size_t unread = 0;    // records the file ended before or inside
};

// Reads a clip file. Any signature is accepted. A record whose size word runs
// past the file's end, and every record after it, stays empty; nothing is used
// past the file's length. A refused record is passed over in step, its bytes
// kept in its slot's `kept_record`.
ClipFileRead read_clip_file(std::span<const uint8_t> file);

// Writes the twenty slots piece by piece through `write` (which returns false
// when a piece could not be written); stops at the first failure and returns
// its site, or 0 when everything was written.
// With `leave_out_private`, a slot stored from a private copy is written as empty.
// An empty slot with a kept record writes that record as it was read.
using ClipFileSink = std::function<bool(std::span<const uint8_t>)>;
unsigned write_clip_file(const SlotArray& slots, const ClipFileSink& write,
                         bool leave_out_private = false);

// The size of the file write_clip_file writes for these slots.
uint64_t clip_file_size(const SlotArray& slots, bool leave_out_private = false);

// The whole file as one block of bytes.
std::vector<uint8_t> clip_file_bytes(const SlotArray& slots);

}  // namespace kestrin
