// One storage slot: what it holds and its usage figures.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrin {

inline constexpr int kSlotCount = 20;
inline constexpr std::size_t kSlotLabelSize = 260;  // 64 characters of UTF-8 and a NUL

// A point in time as the system clock gives it (UTC for the slot figures).
struct SlotTime {
  uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const SlotTime&) const = default;
};

struct ClipSlot {
  std::array<char, kSlotLabelSize> label{};   // NUL-terminated menu text
  uint32_t format = 0;                         // 0 empty, 1 CF_TEXT, 8 CF_DIB, 13 CF_UNICODETEXT
  std::optional<std::vector<uint8_t>> data;    // the stored block, when filled
  SlotTime time_added;
  SlotTime time_last_used;
  uint32_t times_used = 0;
  bool private_content = false;  // stored from a copy marked private: never saved automatically
  // A record of the clip file this program does not take (a format it does not
  // know, a bitmap that does not fit), kept byte for byte so that a save writes
  // it back unchanged. The slot counts as empty; storing into it replaces it.
  std::optional<std::vector<uint8_t>> kept_record;

  bool filled() const { return data.has_value(); }
  std::string_view label_text() const { return std::string_view(label.data()); }
};

using SlotArray = std::array<ClipSlot, kSlotCount>;

}  // namespace kestrin
