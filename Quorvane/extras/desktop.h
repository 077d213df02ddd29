// The desktop utilities' rules on plain data: which windows the placement
// commands touch and what they make of a show state. Platform-free.
#pragma once

#include <cstdint>

namespace kestrin {

inline constexpr uint32_t kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3;
inline constexpr uint32_t kStyleVisible = 0x10000000, kStylePopup = 0x80000000;

// Visible and not a popup.
constexpr bool placement_filter(uint32_t style) {
  return (style & kStyleVisible) != 0 && (style & kStylePopup) == 0;
}

// A swap command's new state for a window in `state`: the other of the two, or
// the state itself when it is neither.
constexpr uint32_t swapped_state(uint32_t state, uint32_t a, uint32_t b) {
  return state == a ? b : state == b ? a : state;
}

// The CD Swap countdown: 15 ticks of a second, a beep 5 before the end.
inline constexpr unsigned kSwapTicks = 15, kSwapWarning = 5;

}  // namespace kestrin
