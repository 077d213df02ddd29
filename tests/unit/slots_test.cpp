// The slot store and the clip file on plain data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "slots/clip_file.h"
#include "slots/slots.h"
#include "utf.h"

namespace kestrin {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A packed 1x1 24-bit DIB: a 40-byte header and one 4-byte row.
Bytes small_dib(int32_t width = 1, int32_t height = 1, uint16_t bits = 24) {
  Bytes dib(40, 0);
  auto put32 = [&](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(height));
  dib[12] = 1;
  dib[14] = static_cast<uint8_t>(bits);
  const uint64_t stride = (static_cast<uint64_t>(width > 0 ? width : 0) * bits + 31) / 32 * 4;
  dib.resize(40 + stride * static_cast<uint64_t>(height < 0 ? -height : height), 0x7F);
  return dib;
}

SlotTime at(uint16_t year, uint16_t minute, uint16_t day_of_week = 0) {
  SlotTime t;
  t.year = year;
  t.month = 6;
  t.day = 1;
  t.minute = minute;
  t.day_of_week = day_of_week;
  return t;
}

ClipSlot text_slot(std::string_view text, uint32_t times_used = 0) {
  ClipSlot slot;
  const Bytes block = bytes_of(std::string(text) + '\0');
  store_block(slot, kSlotText, block, at(2026, 1));
  slot.times_used = times_used;
  return slot;
}

std::vector<std::string> order_of(const SlotArray& slots) {
  std::vector<std::string> names;
  for (const ClipSlot& s : slots) {
    names.push_back(s.format == kSlotBitmap ? "<bitmap>"
                    : s.data                ? std::string(slot_text(s))
                                            : "");
  }
  while (!names.empty() && names.back().empty()) names.pop_back();
  return names;
}

TEST(ClipFile, EmptySlotsAndTheHelloRecordAreByteExact) {
  SlotArray slots;
  const Bytes empty = clip_file_bytes(slots);
  Bytes expected = bytes_of("Orskkest");
  expected.resize(96, 0);
  EXPECT_EQ(empty, expected);

  store_block(slots[0], kSlotText, bytes_of(std::string("Hello", 6)), at(2026, 7, 3));
  note_recall(slots[0], at(2026, 9, 4));
  const Bytes file = clip_file_bytes(slots);
  ASSERT_EQ(file.size(), 96u - 4 + 44 + 6);
  const Bytes record(file.begin() + 16, file.begin() + 16 + 50);
  const Bytes want = {6, 0, 0, 0, 1, 0, 0, 0,
                      0xEA, 0x07, 6, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 0, 0,  // added
                      0xEA, 0x07, 6, 0, 4, 0, 1, 0, 0, 0, 9, 0, 0, 0, 0, 0,  // last used
                      1, 0, 0, 0, 'H', 'e', 'l', 'l', 'o', 0};
  EXPECT_EQ(record, want);
}

TEST(ClipFile, TwentyMixedSlotsComeBackAsTheyWere) {
  SlotArray slots;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    switch (i % 4) {
      case 0: break;  // empty
      case 1: store_block(slots[i], kSlotText, bytes_of("text " + std::to_string(i) + '\0' + "slack"),
                          at(2020, static_cast<uint16_t>(i))); break;
      case 2: store_block(slots[i], kSlotBitmap, small_dib(3, 2), at(2021, 1)); break;
      case 3: store_block(slots[i], kSlotText, bytes_of(std::string(100, 'x')), at(2022, 2)); break;
    }
    if (slots[i].data) note_recall(slots[i], at(2025, static_cast<uint16_t>(i)));
  }
  const ClipFileRead read = read_clip_file(clip_file_bytes(slots));
  ASSERT_TRUE(read.header);
  EXPECT_EQ(read.failed_site, 0u);
  EXPECT_EQ(read.refused, 0u);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const ClipSlot& a = slots[i];
    const ClipSlot& b = read.slots[i];
    EXPECT_EQ(a.data, b.data) << i;
    EXPECT_EQ(a.format, b.format) << i;
    EXPECT_EQ(a.label, b.label) << i;
    if (a.data) {
      EXPECT_EQ(a.time_added, b.time_added) << i;
      EXPECT_EQ(a.time_last_used, b.time_last_used) << i;
      EXPECT_EQ(a.times_used, b.times_used) << i;
    }
  }
  EXPECT_EQ(read.slots[3].label_text(), std::string(64, 'x'));  // no NUL: cut at 64, not past
}

// Cut at every length: the slots whose records are whole come back, the rest
// stay empty, the first missing read is named, and nothing is read past the end.
TEST(ClipFile, TruncatedAtEveryLengthKeepsTheWholeRecords) {
  SlotArray slots;
  store_block(slots[0], kSlotText, bytes_of(std::string("one", 4)), at(2026, 1));
  store_block(slots[2], kSlotText, bytes_of(std::string("three", 6)), at(2026, 2));
  const Bytes full = clip_file_bytes(slots);
  for (std::size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const ClipFileRead read = read_clip_file(cut);
    EXPECT_NE(read.failed_site, 0u) << n;
    EXPECT_EQ(read.header, n >= 16) << n;
    const bool first_whole = n >= 16 + 48;
    EXPECT_EQ(read.slots[0].data.has_value(), first_whole) << n;
    EXPECT_EQ(read.slots[2].data.has_value(), n >= 16 + 48 + 4 + 50) << n;
    if (n == 17) { EXPECT_EQ(read.failed_site, kSiteClipSizeRead); }
    if (n == 16 + 4 + 2) { EXPECT_EQ(read.failed_site, kSiteClipFormatRead); }
    if (n == 16 + 44 + 1) { EXPECT_EQ(read.failed_site, kSiteClipDataRead); }
    // Every record from the one the file ends in is counted as unread.
    const std::size_t third_end = 16 + 48 + 4 + 50;  // then empty records of 4 bytes each
    EXPECT_EQ(read.unread, n < 16 ? 0u
                           : n < 16 + 48 ? 20u
                           : n < 16 + 48 + 4 ? 19u
                           : n < third_end ? 18u
                                           : 17u - (n - third_end) / 4) << n;
  }
  EXPECT_EQ(read_clip_file(full).slots[2].label_text(), "three");
}

TEST(ClipFile, OnlyTextAndFittingBitmapsAreTakenAndTheRestIsPassedInStep) {
  for (uint32_t format : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 14u, 0x80u, 0xC000u, 0xFFFFFFFFu}) {
    SlotArray slots;
    store_block(slots[0], kSlotText, bytes_of(std::string("abc", 4)), at(2026, 1));
    store_block(slots[1], kSlotText, bytes_of(std::string("next", 5)), at(2026, 1));
    Bytes file = clip_file_bytes(slots);
    file[16 + 4] = static_cast<uint8_t>(format);  // the first record's format word
    file[16 + 5] = static_cast<uint8_t>(format >> 8);
    file[16 + 6] = static_cast<uint8_t>(format >> 16);
    file[16 + 7] = static_cast<uint8_t>(format >> 24);
    const ClipFileRead read = read_clip_file(file);
    EXPECT_EQ(read.slots[0].data.has_value(), format == kSlotText) << format;
    EXPECT_EQ(read.refused, format == kSlotText ? 0u : 1u) << format;  // "abc" is no DIB
    EXPECT_EQ(read.slots[1].label_text(), "next") << format;
    EXPECT_EQ(read.failed_site, 0u) << format;
    // A record this program does not take (a newer one's format 13, say)
    // goes back into the file as it came; storing into its slot replaces it.
    EXPECT_EQ(clip_file_bytes(read.slots), file) << format;
    SlotArray again = read.slots;
    store_block(again[0], kSlotText, bytes_of(std::string("new", 4)), at(2026, 3));
    EXPECT_EQ(read_clip_file(clip_file_bytes(again)).refused, 0u) << format;
  }
}

TEST(ClipFile, HugeSizeWordAllocatesNothing) {
  Bytes file = clip_file_bytes(SlotArray{});
  file.resize(100, 0);
  const uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
  std::memcpy(&file[16], huge, sizeof huge);
  const ClipFileRead read = read_clip_file(file);
  EXPECT_EQ(read.failed_site, kSiteClipDataRead);
  for (const ClipSlot& s : read.slots) EXPECT_FALSE(s.data.has_value());
}

TEST(Slots, DibMustDescribeABitmapThatFitsItsBytes) {
  EXPECT_TRUE(dib_fits(small_dib()));
  EXPECT_TRUE(dib_fits(small_dib(5, -3, 32)));  // top-down
  EXPECT_FALSE(dib_fits(small_dib(2, 2, 8)));  // 8 bits needs its 256-entry table
  Bytes with_table = small_dib(2, 2, 8);
  with_table.insert(with_table.begin() + 40, 1024, 0);
  EXPECT_TRUE(dib_fits(with_table));
  Bytes short_pixels = small_dib(4, 4);
  short_pixels.pop_back();
  EXPECT_FALSE(dib_fits(short_pixels));
  EXPECT_FALSE(dib_fits(small_dib(0, 1)));
  EXPECT_FALSE(dib_fits(small_dib(1, 1, 7)));
  Bytes planes = small_dib();
  planes[12] = 2;
  EXPECT_FALSE(dib_fits(planes));
  Bytes header = small_dib();
  header[0] = 99;
  EXPECT_FALSE(dib_fits(header));
  Bytes tall = small_dib();
  tall[8] = 0xFF;  // a height of 0x7F0000FF rows in 44 bytes
  tall[11] = 0x7F;
  EXPECT_FALSE(dib_fits(tall));
  EXPECT_FALSE(dib_fits(Bytes(11, 0)));
  Bytes core = {12, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 0, 0, 0, 0};  // a 0 by 1 core header
  EXPECT_FALSE(dib_fits(core));
  core[4] = 1;
  EXPECT_TRUE(dib_fits(core));
}

TEST(Slots, StoreLabelRecallAndClear) {
  ClipSlot slot;
  store_block(slot, kSlotText, bytes_of(std::string(200, 'a') + '\0'), at(2026, 1));
  EXPECT_EQ(slot.label_text(), std::string(64, 'a'));
  note_recall(slot, at(2026, 2));
  note_recall(slot, at(2026, 3));
  note_recall(slot, at(2026, 4));
  EXPECT_EQ(slot.times_used, 3u);
  EXPECT_EQ(slot.time_last_used, at(2026, 4));
  store_block(slot, kSlotText, bytes_of(std::string("tab\there&\r\n", 12)), at(2026, 5));
  EXPECT_EQ(slot.label_text(), "tab\there&\r\n");
  EXPECT_EQ(slot.times_used, 0u);
  EXPECT_EQ(slot.time_last_used, SlotTime{});

  store_block(slot, kSlotBitmap, small_dib(), at(2026, 6));
  EXPECT_EQ(slot.label_text(), "");
  store_block(slot, 15, bytes_of("files"), at(2026, 7));  // neither text nor bitmap
  EXPECT_FALSE(slot.filled());
  EXPECT_EQ(slot.format, 0u);
  EXPECT_EQ(slot.time_added, at(2026, 7));

  store_block(slot, kSlotText, bytes_of("no nul"), at(2026, 8));
  EXPECT_EQ(slot.label_text(), "no nul");
  note_recall(slot, at(2026, 9));
  clear(slot);
  EXPECT_FALSE(slot.filled());
  EXPECT_EQ(slot.label_text(), "");
  EXPECT_EQ(slot.times_used, 1u);  // the figures stay
}

TEST(Slots, EveryOrderingPutsKindFirstThenItsKey) {
  SlotArray slots;
  slots[0] = text_slot("banana", 0);
  slots[1] = text_slot("Apple", 5);
  slots[2] = text_slot("cherry", 2);
  slots[4] = text_slot("_under", 1);
  slots[5] = text_slot("app", 1);
  store_block(slots[7], kSlotBitmap, small_dib(), at(2026, 1));

  SlotArray s = slots;
  order_slots(s, SlotOrder::TimesUsed);
  EXPECT_EQ(order_of(s), (std::vector<std::string>{"<bitmap>", "Apple", "cherry", "_under", "app",
                                                   "banana"}));
  order_slots(s, SlotOrder::Alphabetical);
  EXPECT_EQ(order_of(s), (std::vector<std::string>{"<bitmap>", "_under", "app", "Apple", "banana",
                                                   "cherry"}));
  EXPECT_FALSE(s[6].filled());  // empty slots gather at the end

  s = slots;
  s[0].time_added = at(2026, 30, 6);  // newest; the weekday is not a key
  s[2].time_added = at(2026, 20, 0);
  s[1].time_added = at(2025, 59, 6);
  order_slots(s, SlotOrder::TimeAdded);
  EXPECT_EQ(order_of(s)[1], "banana");
  EXPECT_EQ(order_of(s)[2], "cherry");
  EXPECT_EQ(order_of(s).back(), "Apple");

  s = slots;
  note_recall(s[0], at(2026, 10));
  note_recall(s[2], at(2026, 40));
  order_slots(s, SlotOrder::LastUsed);
  EXPECT_EQ(order_of(s)[1], "cherry");
  EXPECT_EQ(order_of(s)[2], "banana");  // never-recalled texts follow

  s = slots;
  order_slots(s, SlotOrder::None);  // kind only; positions otherwise kept
  EXPECT_EQ(order_of(s), (std::vector<std::string>{"<bitmap>", "banana", "Apple", "cherry",
                                                   "_under", "app"}));
}

// A text CF_TEXT does not hold is stored as its CF_UNICODETEXT block (format
// 13): labelled in characters, never a cut one, read back from the file byte
// for byte, and a damaged block of it refused like any other.
TEST(ClipFile, UnicodeSlotsRoundTripAndLabelInCharacters) {
  auto unicode_block = [](const std::u16string& text) {
    std::string bytes = utf16_to_bytes(text);
    bytes.append(2, '\0');
    bytes.append("slack!", 6);  // the slack after the NUL stays too
    return bytes_of(bytes);
  };
  SlotArray slots;
  const std::u16string long_text = std::u16string(63, u'ж') + u"😀 and more";
  store_block(slots[0], kSlotUnicode, unicode_block(long_text), at(2026, 1));
  store_block(slots[1], kSlotText, bytes_of(std::string("plain", 6)), at(2026, 2));
  store_block(slots[2], kSlotUnicode, unicode_block(u"日本語"), at(2026, 3));
  EXPECT_EQ(slots[0].label_text(), utf16_to_utf8(std::u16string(63, u'ж') + u"😀"));
  EXPECT_EQ(slots[2].label_text(), "日本語");
  EXPECT_EQ(slot_unicode_text(slots[2]), "日本語");

  const Bytes file = clip_file_bytes(slots);
  EXPECT_EQ(clip_file_size(slots), file.size());
  const ClipFileRead read = read_clip_file(file);
  EXPECT_EQ(read.refused, 0u);
  EXPECT_EQ(read.slots[0].data, slots[0].data);
  EXPECT_EQ(read.slots[0].format, kSlotUnicode);
  EXPECT_EQ(read.slots[0].label, slots[0].label);
  EXPECT_EQ(clip_file_bytes(read.slots), file);

  // Odd size, or no NUL character: refused (and kept as it came).
  for (const Bytes& bad : {Bytes{'a', 0, 'b'}, Bytes{'a', 0, 'b', 0}}) {
    SlotArray one;
    one[0].format = kSlotUnicode;
    one[0].data = bad;
    const Bytes damaged = clip_file_bytes(one);
    const ClipFileRead back = read_clip_file(damaged);
    EXPECT_FALSE(back.slots[0].data.has_value());
    EXPECT_EQ(back.refused, 1u);
    EXPECT_EQ(clip_file_bytes(back.slots), damaged);
    EXPECT_EQ(clip_file_size(back.slots), damaged.size());  // a kept record counts whole
  }

  // The order: bitmaps, ANSI texts, then Unicode texts by code point.
  order_slots(slots, SlotOrder::Alphabetical);
  EXPECT_EQ(slots[0].format, kSlotText);
  EXPECT_EQ(slot_unicode_text(slots[1]).substr(0, 2), "ж");
  EXPECT_EQ(slot_unicode_text(slots[2]), "日本語");
}

}  // namespace
}  // namespace kestrin
