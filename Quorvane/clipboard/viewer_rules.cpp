#include "clipboard/viewer_rules.h"

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
