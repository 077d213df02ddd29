// libFuzzer target: the clip-file reader on any bytes. Whatever it takes must
// be a text or a DIB that fits, with a bounded label, and must come back the
// same through the writer; a file read to its last record is written back byte
// for byte after its header, the records it refused included.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "slots/clip_file.h"
#include "slots/slots.h"
#include "utf.h"

using namespace kestrin;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const ClipFileRead read = read_clip_file(std::span<const uint8_t>(data, size));
  check(read.header == (size >= kClipHeaderSize));
  std::size_t taken = 0;
  for (const ClipSlot& slot : read.slots) {
    // A label is 64 bytes of an ANSI text, or 64 characters of a Unicode one.
    check(slot.label.back() == '\0');
    check(slot.format == kSlotUnicode
              ? count_characters(slot.label_text()) <= kLabelLength && valid_utf8(slot.label_text())
              : slot.label_text().size() <= kLabelLength);
    if (!slot.data) {
      check(slot.format == 0);
      if (slot.kept_record) taken += slot.kept_record->size();
      continue;
    }
    check(slot.format == kSlotText || (slot.format == kSlotBitmap && dib_fits(*slot.data)) ||
          (slot.format == kSlotUnicode && unicode_block_fits(*slot.data)));
    taken += kClipRecordHead + slot.data->size();
  }
  check(taken <= size);
  if (read.header && read.failed_site == 0) {
    const std::vector<uint8_t> written = clip_file_bytes(read.slots);
    check(written.size() <= size);
    check(std::memcmp(written.data() + kClipHeaderSize, data + kClipHeaderSize,
                      written.size() - kClipHeaderSize) == 0);
  }
  if (read.header) {
    const ClipFileRead again = read_clip_file(clip_file_bytes(read.slots));
    check(again.failed_site == 0 && again.refused == read.refused);
    for (std::size_t i = 0; i < read.slots.size(); ++i) {
      check(again.slots[i].data == read.slots[i].data);
      check(again.slots[i].label == read.slots[i].label);
      check(again.slots[i].times_used == read.slots[i].times_used || !read.slots[i].data);
    }
  }
  return 0;
}
