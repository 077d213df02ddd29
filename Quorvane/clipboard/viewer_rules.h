// The arithmetic of the viewer: scroll positions, pages, status-bar parts, the
// wheel zoom. Platform-free.
#pragma once

#include <array>
#include <cstdint>

namespace kestrin {

// Mirror of a scroll bar.
struct ScrollState {
  uint32_t min = 0;
  uint32_t max = 0;
  uint32_t page = 0;
  uint32_t pos = 0;
};

// Scroll codes as the bars send them.
enum ScrollCode : int {
  kLineUp = 0,
  kLineDown = 1,
  kPageUp = 2,
  kPageDown = 3,
  kThumbPosition = 4,
  kThumbTrack = 5,
  kTop = 6,
  kBottom = 7,
};

// The new position for a scroll code. The vertical bar pages by a page, the
// horizontal one by a page less one. Computed in signed arithmetic and never
// below min, so a view shorter than its page does not move at all.
uint32_t next_scroll_position(const ScrollState& bar, int code, uint32_t thumb, bool vertical);

// Lines per page of a text view: one more than fit entirely, and never none.
uint32_t lines_per_page(int area_height, int line_height);

// Right edges of the three status-bar parts for a bar of this client size.
std::array<int, 3> status_bar_parts(int width, int height);

// Font height after a wheel turn with the left button held: a turn away from the
// user (positive delta) lowers it by 2 while it is, read as unsigned, above 2; a
// turn toward the user raises it by 2. `changed` tells whether to repaint.
int32_t wheel_zoom(int32_t font_height, int delta, bool& changed);

// The viewer font's height is kept as at 96 DPI (FontHeight, the wheel's zoom)
// and the font made at the window's DPI. 0, the system's default height, is
// 16 pixels at 96 DPI; it stays 0 at 96 DPI, so that nothing changes there.
inline constexpr int32_t kDefaultFontHeight96 = 16;
int32_t font_height_at(int32_t height96, unsigned dpi);
// A height chosen at `dpi` (in the Font dialog), as kept.
int32_t font_height_at_96(int32_t height, unsigned dpi);

// Scroll code of a plain wheel turn: a line, or a page while the right button is held.
int wheel_scroll_code(int delta, bool right_button);

}  // namespace kestrin
