#include "clipboard/viewer_rules.h"

#include <algorithm>

namespace kestrin {

uint32_t next_scroll_position(const ScrollState& bar, int code, uint32_t thumb, bool vertical) {
  const int64_t min = bar.min, max = bar.max, page = bar.page, pos = bar.pos;
  int64_t next = pos;
  switch (code) {
    case kLineUp:
      next = pos > min ? pos - 1 : min;
      break;
    case kLineDown:
      next = pos < max - page ? pos + 1 : max - page;
      break;
    case kPageUp:
      if (vertical) {
        next = pos - page > min ? pos - page : min;
      } else {
        next = pos - page - 1 > min ? pos - page + 1 : min;
      }
      break;
    case kPageDown:
      if (vertical) {
        next = pos < max - page ? pos + page : max - page;
      } else {
        next = pos < max - page ? pos + page - 1 : max - page;
      }
      break;
    case kThumbPosition:
    case kThumbTrack:
      next = thumb & 0xFFFF;
      break;
    case kTop:
      next = min;
      break;
    case kBottom:
      next = max - page;
      break;
    default:
      break;
  }
  if (next < min) next = min;
  return static_cast<uint32_t>(next);
}

uint32_t lines_per_page(int area_height, int line_height) {
  if (line_height == 0) return 1;
  const int lines = area_height / line_height + 1;
  // A window shorter than its status bar has a negative text area; its page is
  // still one line, or the title would read "0 displayed ... inf pages".
  return lines > 0 ? static_cast<uint32_t>(lines) : 1;
}

std::array<int, 3> status_bar_parts(int width, int height) {
  const int v = width - height;
  return {(v >> 1) + (v >> 2), v, -1};
}

namespace {

// value * to / from, rounded half away from zero (as MulDiv does).
int32_t rescale(int32_t value, unsigned to, unsigned from) {
  if (from == 0) return value;
  const int64_t product = static_cast<int64_t>(value) * to;
  const int64_t half = from / 2;
  const int64_t result = product >= 0 ? (product + half) / from : (product - half) / static_cast<int64_t>(from);
  return static_cast<int32_t>(std::clamp<int64_t>(result, INT32_MIN, INT32_MAX));
}

}  // namespace

int32_t font_height_at(int32_t height96, unsigned dpi) {
  if (dpi == 96 || dpi == 0) return height96;
  return rescale(height96 == 0 ? kDefaultFontHeight96 : height96, dpi, 96);
}

int32_t font_height_at_96(int32_t height, unsigned dpi) {
  if (dpi == 96 || dpi == 0) return height;
  return rescale(height, 96, dpi);
}

int32_t wheel_zoom(int32_t font_height, int delta, bool& changed) {
  changed = false;
  if (delta > 0) {
    if (static_cast<uint32_t>(font_height) > 2) {
      changed = true;
      return static_cast<int32_t>(static_cast<uint32_t>(font_height) - 2);
    }
    return font_height;
  }
  changed = true;
  return static_cast<int32_t>(static_cast<uint32_t>(font_height) + 2);
}

int wheel_scroll_code(int delta, bool right_button) {
  if (delta > 0) return right_button ? kPageUp : kLineUp;
  return right_button ? kPageDown : kLineDown;
}

}  // namespace kestrin
