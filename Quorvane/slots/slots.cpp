#include "slots/slots.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace kestrin {

void store_block(ClipSlot& slot, uint32_t format, std::span<const uint8_t> block,
                 const SlotTime& now) {
  slot.data.reset();
  slot.label.fill('\0');
  slot.format = 0;
  // A clip file records sizes in 32 bits; a larger block is not stored.
  if ((format == kSlotText || format == kSlotBitmap) && block.size() <= UINT32_MAX) {
    slot.data.emplace(block.begin(), block.end());
    slot.format = format;
  }
  slot.time_added = now;
  slot.time_last_used = SlotTime{};
  slot.times_used = 0;
  make_label(slot);
}

void note_recall(ClipSlot& slot, const SlotTime& now) {
  slot.time_last_used = now;
  ++slot.times_used;
}

std::string_view slot_text(const ClipSlot& slot) {
  if (!slot.data) return {};
  const auto* bytes = reinterpret_cast<const char*>(slot.data->data());
  const std::size_t size = slot.data->size();
  const void* nul = std::memchr(bytes, '\0', size);
  return {bytes, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : size};
}

void make_label(ClipSlot& slot) {
  if (!slot.data || slot.format != kSlotText) return;
  const std::string_view text = slot_text(slot).substr(0, kLabelLength);
  slot.label.fill('\0');
  std::memcpy(slot.label.data(), text.data(), text.size());
}

void clear(ClipSlot& slot) {
  slot.data.reset();
  slot.format = 0;
  slot.label.fill('\0');
}

namespace {

int kind_rank(const ClipSlot& slot) {
  switch (slot.format) {
    case kSlotBitmap: return 0;
    case kSlotText: return 1;
    default: return 2;
  }
}

auto time_key(const SlotTime& t) {  // the day of the week is not compared
  return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

unsigned char folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

bool text_before(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return folded(x) < folded(y); });
}

// Whether `a` goes before `b` by the order's second key (same kind).
bool second_key_before(const ClipSlot& a, const ClipSlot& b, SlotOrder order) {
  switch (order) {
    case SlotOrder::None: return false;
    case SlotOrder::Alphabetical:
      return a.format == kSlotText && text_before(slot_text(a), slot_text(b));
    case SlotOrder::TimeAdded: return time_key(a.time_added) > time_key(b.time_added);
    case SlotOrder::LastUsed: return time_key(a.time_last_used) > time_key(b.time_last_used);
    case SlotOrder::TimesUsed: return a.times_used > b.times_used;
  }
  return false;
}

}  // namespace

void order_slots(SlotArray& slots, SlotOrder order) {
  std::stable_sort(slots.begin(), slots.end(), [order](const ClipSlot& a, const ClipSlot& b) {
    if (kind_rank(a) != kind_rank(b)) return kind_rank(a) < kind_rank(b);
    return second_key_before(a, b, order);
  });
}

namespace {

uint32_t le16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8;
}
uint32_t le32(std::span<const uint8_t> b, std::size_t at) {
  return le16(b, at) | le16(b, at + 2) << 16;
}

bool known_depth(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool dib_fits(std::span<const uint8_t> block) {
  if (block.size() < 12) return false;
  const uint32_t header = le32(block, 0);
  uint64_t width = 0, height = 0, bits = 0, table = 0, pixels = 0;
  if (header == 12) {  // BITMAPCOREHEADER
    width = le16(block, 4);
    height = le16(block, 6);
    if (width == 0 || height == 0 || le16(block, 8) != 1) return false;
    bits = le16(block, 10);
    if (!known_depth(static_cast<uint32_t>(bits)) || bits == 16 || bits == 32) return false;
    table = bits <= 8 ? (uint64_t{1} << bits) * 3 : 0;
  } else if (header == 40 || header == 52 || header == 56 || header == 108 || header == 124) {
    if (block.size() < 40) return false;
    const auto signed_width = static_cast<int32_t>(le32(block, 4));
    const auto signed_height = static_cast<int32_t>(le32(block, 8));
    if (signed_width <= 0 || signed_height == 0 || signed_height == INT32_MIN) return false;
    width = static_cast<uint64_t>(signed_width);
    height = static_cast<uint64_t>(signed_height < 0 ? -signed_height : signed_height);
    if (le16(block, 12) != 1) return false;
    bits = le16(block, 14);
    const uint32_t compression = le32(block, 16);
    const uint32_t image_size = le32(block, 20);
    const uint64_t used = le32(block, 32);
    if (used > (uint64_t{1} << 16)) return false;
    table = (used != 0 ? used : (bits <= 8 ? uint64_t{1} << bits : 0)) * 4;
    if (compression == 3 && header == 40) table += 12;  // the three masks
    if (compression == 0 || compression == 3) {
      if (!known_depth(static_cast<uint32_t>(bits))) return false;
    } else if (compression == 1 || compression == 2 || compression == 4 ||
               compression == 5) {
      if (image_size == 0) return false;  // compressed: only its stated size can be checked
      pixels = image_size;
    } else {
      return false;
    }
  } else {
    return false;
  }
  if (pixels == 0) {
    const uint64_t stride = (width * bits + 31) / 32 * 4;
    if (height > block.size() / stride) return false;
    pixels = stride * height;
  }
  return uint64_t{header} + table <= block.size() && pixels <= block.size() - header - table;
}

}  // namespace kestrin
