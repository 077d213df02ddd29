#include "slots/clip_file.h"

#include <array>

#include "slots/slots.h"

namespace kestrin {

namespace {

constexpr std::size_t kTimeSize = 16;

// Reads little-endian words from the file without ever passing its end.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  std::size_t left() const { return bytes_.size() - at_; }
  bool u32(uint32_t& value) {
    if (left() < 4) return false;
    value = static_cast<uint32_t>(bytes_[at_]) | static_cast<uint32_t>(bytes_[at_ + 1]) << 8 |
            static_cast<uint32_t>(bytes_[at_ + 2]) << 16 |
            static_cast<uint32_t>(bytes_[at_ + 3]) << 24;
    at_ += 4;
    return true;
  }
  bool time(SlotTime& t) {
    if (left() < kTimeSize) return false;
    uint16_t* fields[] = {&t.year, &t.month,  &t.day_of_week, &t.day,
                          &t.hour, &t.minute, &t.second,      &t.millisecond};
    for (uint16_t* field : fields) {
      *field = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
      at_ += 2;
    }
    return true;
  }
  std::size_t at() const { return at_; }
  std::span<const uint8_t> since(std::size_t start) const {
    return bytes_.subspan(start, at_ - start);
  }
  std::span<const uint8_t> take(std::size_t n) {
    const std::span<const uint8_t> piece = bytes_.subspan(at_, n);
    at_ += n;
    return piece;
  }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
};

void put_u32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_time(uint8_t* out, const SlotTime& t) {
  const uint16_t fields[] = {t.year, t.month,  t.day_of_week, t.day,
                             t.hour, t.minute, t.second,      t.millisecond};
  for (uint16_t field : fields) {
    *out++ = static_cast<uint8_t>(field);
    *out++ = static_cast<uint8_t>(field >> 8);
  }
}

// Reads one filled record's fields after its size word; false at the site the
// file ended.
bool read_record(Reader& in, std::size_t start, uint32_t size, ClipSlot& slot,
                 ClipFileRead& result) {
  uint32_t format = 0, times_used = 0;
  SlotTime added, used;
  if (!in.u32(format)) return result.failed_site = kSiteClipFormatRead, false;
  if (!in.time(added)) return result.failed_site = kSiteClipAddedRead, false;
  if (!in.time(used)) return result.failed_site = kSiteClipUsedRead, false;
  if (!in.u32(times_used)) return result.failed_site = kSiteClipTimesRead, false;
  if (size > in.left()) return result.failed_site = kSiteClipDataRead, false;
  const std::span<const uint8_t> data = in.take(size);
  if (format == kSlotText || (format == kSlotBitmap && dib_fits(data)) ||
      (format == kSlotUnicode && unicode_block_fits(data))) {
    slot.data.emplace(data.begin(), data.end());
    slot.format = format;
    slot.time_added = added;
    slot.time_last_used = used;
    slot.times_used = times_used;
    make_label(slot);
  } else {
    // Never a block under a format that means a handle or a pointer; the
    // record goes back to the file as it came.
    const std::span<const uint8_t> record = in.since(start);
    slot.kept_record.emplace(record.begin(), record.end());
    ++result.refused;
  }
  return true;
}

}  // namespace

ClipFileRead read_clip_file(std::span<const uint8_t> file) {
  ClipFileRead result;
  Reader in(file);
  for (unsigned word = 0; word < 4; ++word) {
    uint32_t ignored = 0;
    if (!in.u32(ignored)) {
      static constexpr unsigned kSites[] = {857, 859, 861, 864};
      result.failed_site = kSites[word];
      return result;
    }
  }
  result.header = true;
  for (std::size_t i = 0; i < result.slots.size(); ++i) {
    const std::size_t start = in.at();
    uint32_t size = 0;
    if (!in.u32(size)) {
      result.failed_site = kSiteClipSizeRead;
    } else if (size == 0 || read_record(in, start, size, result.slots[i], result)) {
      continue;
    }
    result.unread = result.slots.size() - i;
    break;
  }
  return result;
}

unsigned write_clip_file(const SlotArray& slots, const ClipFileSink& write,
                         bool leave_out_private) {
  std::array<uint8_t, kClipHeaderSize> header{'O', 'r', 's', 'k', 'k', 'e', 's', 't'};
  static constexpr unsigned kHeaderSites[] = {898, 900, 902, 904};
  for (unsigned word = 0; word < 4; ++word) {
    if (!write(std::span<const uint8_t>(header).subspan(word * 4, 4))) return kHeaderSites[word];
  }
  for (const ClipSlot& slot : slots) {
    std::array<uint8_t, kClipRecordHead> head{};
    if (!slot.data && slot.kept_record) {
      if (!write(*slot.kept_record)) return kSiteClipDataWrite;
      continue;
    }
    if (!slot.data || (leave_out_private && slot.private_content)) {
      if (!write(std::span<const uint8_t>(head).first(4))) return kSiteClipEmptyWrite;
      continue;
    }
    put_u32(&head[0], static_cast<uint32_t>(slot.data->size()));
    put_u32(&head[4], slot.format);
    put_time(&head[8], slot.time_added);
    put_time(&head[24], slot.time_last_used);
    put_u32(&head[40], slot.times_used);
    const std::span<const uint8_t> fields(head);
    if (!write(fields.subspan(0, 4))) return kSiteClipSizeWrite;
    if (!write(fields.subspan(4, 4))) return kSiteClipFormatWrite;
    if (!write(fields.subspan(8, kTimeSize))) return kSiteClipAddedWrite;
    if (!write(fields.subspan(24, kTimeSize))) return kSiteClipUsedWrite;
    if (!write(fields.subspan(40, 4))) return kSiteClipTimesWrite;
    if (!write(*slot.data)) return kSiteClipDataWrite;
  }
  return 0;
}

uint64_t clip_file_size(const SlotArray& slots, bool leave_out_private) {
  uint64_t total = kClipHeaderSize;
  for (const ClipSlot& slot : slots) {
    if (!slot.data && slot.kept_record) {
      total += slot.kept_record->size();
    } else if (slot.data && !(leave_out_private && slot.private_content)) {
      total += kClipRecordHead + slot.data->size();
    } else {
      total += 4;  // the size word of an empty record
    }
  }
  return total;
}

std::vector<uint8_t> clip_file_bytes(const SlotArray& slots) {
  std::vector<uint8_t> bytes;
  write_clip_file(slots, [&bytes](std::span<const uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  });
  return bytes;
}

}  // namespace kestrin
