// The slot store on plain data: store, recall figures, labels, clearing and the
// five orderings. Platform-free: the Win32 side reads and writes the clipboard
// and the clock and hands the bytes and times over.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "clipboard/dib.h"
#include "clip_slot.h"

namespace kestrin {

inline constexpr uint32_t kSlotText = 1;    // CF_TEXT
inline constexpr uint32_t kSlotBitmap = 8;  // CF_DIB
inline constexpr uint32_t kSlotUnicode = 13;  // CF_UNICODETEXT: a text CF_TEXT does not hold
inline constexpr std::size_t kLabelLength = 64;

// Replaces the slot's contents with `block` in `format` (kSlotText,
// kSlotBitmap, kSlotUnicode, or 0 for nothing to store: the slot becomes
// empty) and restarts
// its usage figures at `now`. The whole block is kept, NUL and slack included.
void store_block(ClipSlot& slot, uint32_t format, std::span<const uint8_t> block,
                 const SlotTime& now);
// A recall at `now`: one more use.
void note_recall(ClipSlot& slot, const SlotTime& now);
// Rebuilds the label from a text slot: its first 64 characters, or the whole
// text up to its NUL when shorter; never read past the stored block. A
// Unicode slot's label is UTF-8, 64 characters (code points), never a cut one.
// Other slots keep their label.
void make_label(ClipSlot& slot);
// Empties the slot; the usage figures stay.
void clear(ClipSlot& slot);

// The stored text up to its NUL, or the whole block when it has none.
std::string_view slot_text(const ClipSlot& slot);
// A Unicode slot's text as UTF-8 (up to its NUL); empty for other slots.
std::string slot_unicode_text(const ClipSlot& slot);

// Whether a CF_UNICODETEXT block holds together: an even size with a NUL
// character inside.
bool unicode_block_fits(std::span<const uint8_t> block);

enum class SlotOrder { None, Alphabetical, TimeAdded, LastUsed, TimesUsed };
// Sorts the array: bitmaps, then ANSI texts, then Unicode texts, then empty
// slots; within a kind by the order's key (ANSI texts alphabetically without
// regard to case, Unicode texts by code point with ASCII letters folded, newest store first,
// most recent recall first with never-recalled slots last, most uses first).
// Slots equal under the keys keep their relative positions.
void order_slots(SlotArray& slots, SlotOrder order);

}  // namespace kestrin
