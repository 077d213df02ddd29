#include "slots/slots.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "utf.h"

namespace kestrin {

void store_block(ClipSlot& slot, uint32_t format, std::span<const uint8_t> block,
                 const SlotTime& now) {
  slot.data.reset();
  slot.kept_record.reset();
  slot.label.fill('\0');
  slot.format = 0;
  slot.private_content = false;
  // A clip file records sizes in 32 bits; a larger block is not stored.
  if ((format == kSlotText || format == kSlotBitmap || format == kSlotUnicode) &&
      block.size() <= UINT32_MAX) {
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

std::string slot_unicode_text(const ClipSlot& slot) {
  if (!slot.data || slot.format != kSlotUnicode) return {};
  const std::string_view bytes(reinterpret_cast<const char*>(slot.data->data()), slot.data->size());
  std::u16string wide = bytes_to_utf16(bytes);
  wide.resize(std::min(wide.size(), wide.find(u'\0')));
  return utf16_to_utf8(wide);
}

bool unicode_block_fits(std::span<const uint8_t> block) {
  if (block.size() % 2 != 0) return false;
  for (std::size_t i = 0; i + 1 < block.size(); i += 2) {
    if (block[i] == 0 && block[i + 1] == 0) return true;
  }
  return false;
}

void make_label(ClipSlot& slot) {
  if (!slot.data) return;
  std::string unicode;
  std::string_view text;
  if (slot.format == kSlotText) {
    text = slot_text(slot).substr(0, kLabelLength);
  } else if (slot.format == kSlotUnicode) {
    unicode = slot_unicode_text(slot);
    text = std::string_view(unicode).substr(0, utf8_prefix(unicode, kLabelLength));
  } else {
    return;
  }
  slot.label.fill('\0');
  std::memcpy(slot.label.data(), text.data(), std::min(text.size(), slot.label.size() - 1));
}

void clear(ClipSlot& slot) {
  slot.data.reset();
  slot.kept_record.reset();
  slot.format = 0;
  slot.private_content = false;
  slot.label.fill('\0');
}

namespace {

int kind_rank(const ClipSlot& slot) {
  switch (slot.format) {
    case kSlotBitmap: return 0;
    case kSlotText: return 1;
    case kSlotUnicode: return 2;
    default: return 3;
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
      if (a.format == kSlotUnicode) {
        // UTF-8 bytes in order are code points in order.
        return text_before(slot_unicode_text(a), slot_unicode_text(b));
      }
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

}  // namespace kestrin
