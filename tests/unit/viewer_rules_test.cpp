#include "clipboard/viewer_rules.h"

#include <gtest/gtest.h>

#include "clipboard/append.h"
#include "res/resource.h"

namespace kestrin {
namespace {

// 100 lines in a 320-pixel area with 16-pixel lines.
ScrollState hundred_lines(uint32_t pos) { return {0, 100, lines_per_page(320, 16), pos}; }

TEST(Scrolling, VerticalTextExample) {
  EXPECT_EQ(lines_per_page(320, 16), 21u);
  EXPECT_EQ(next_scroll_position(hundred_lines(0), kBottom, 0, true), 79u);
  EXPECT_EQ(next_scroll_position(hundred_lines(79), kLineDown, 0, true), 79u);
  EXPECT_EQ(next_scroll_position(hundred_lines(0), kLineUp, 0, true), 0u);
  EXPECT_EQ(next_scroll_position(hundred_lines(3), kPageUp, 0, true), 0u);
  EXPECT_EQ(next_scroll_position(hundred_lines(30), kPageUp, 0, true), 9u);
  EXPECT_EQ(next_scroll_position(hundred_lines(10), kPageDown, 0, true), 31u);
  // Paging down from below the bottom goes a whole page; the bar clamps it.
  EXPECT_EQ(next_scroll_position(hundred_lines(70), kPageDown, 0, true), 91u);
  EXPECT_EQ(next_scroll_position(hundred_lines(79), kPageDown, 0, true), 79u);
  EXPECT_EQ(next_scroll_position(hundred_lines(50), kTop, 0, true), 0u);
  EXPECT_EQ(next_scroll_position(hundred_lines(5), kThumbTrack, 80, true), 80u);
  EXPECT_EQ(next_scroll_position(hundred_lines(5), kThumbPosition, 0x10050, true), 0x50u);
  EXPECT_EQ(next_scroll_position(hundred_lines(5), 8 /* SB_ENDSCROLL */, 0, true), 5u);
}

TEST(Scrolling, HorizontalPagesByOneLess) {
  const ScrollState bitmap{0, 1000, 400, 0};
  EXPECT_EQ(next_scroll_position(bitmap, kPageDown, 0, false), 399u);
  EXPECT_EQ(next_scroll_position({0, 1000, 400, 500}, kPageUp, 0, false), 101u);
  EXPECT_EQ(next_scroll_position({0, 1000, 400, 401}, kPageUp, 0, false), 0u);
  EXPECT_EQ(next_scroll_position({0, 1000, 400, 599}, kPageDown, 0, false), 998u);
  EXPECT_EQ(next_scroll_position({0, 1000, 400, 600}, kPageDown, 0, false), 600u);
}

TEST(Scrolling, ViewShorterThanItsPageDoesNotMove) {
  const ScrollState short_text{0, 5, 21, 0};
  for (int code : {kLineDown, kPageDown, kBottom, kLineUp, kPageUp, kTop}) {
    EXPECT_EQ(next_scroll_position(short_text, code, 0, true), 0u) << code;
    EXPECT_EQ(next_scroll_position(short_text, code, 0, false), 0u) << code;
  }
}

TEST(Layout, StatusBarPartsAndPages) {
  EXPECT_EQ(status_bar_parts(420, 20), (std::array<int, 3>{300, 400, -1}));
  EXPECT_EQ(lines_per_page(0, 16), 1u);
  EXPECT_EQ(lines_per_page(15, 16), 1u);
  EXPECT_EQ(lines_per_page(16, 16), 2u);
  EXPECT_EQ(lines_per_page(-40, 16), 1u);  // a window shorter than its status bar
}

TEST(Wheel, ZoomBounds) {
  bool changed = false;
  EXPECT_EQ(wheel_zoom(2, 120, changed), 2);
  EXPECT_FALSE(changed);
  EXPECT_EQ(wheel_zoom(1, 120, changed), 1);
  EXPECT_FALSE(changed);
  EXPECT_EQ(wheel_zoom(0, 120, changed), 0);
  EXPECT_FALSE(changed);
  EXPECT_EQ(wheel_zoom(3, 120, changed), 1);
  EXPECT_TRUE(changed);
  EXPECT_EQ(wheel_zoom(2, -120, changed), 4);
  EXPECT_TRUE(changed);
  EXPECT_EQ(wheel_zoom(2, 0, changed), 4);
  // A negative height from the font dialog: away lowers it (larger letters).
  EXPECT_EQ(wheel_zoom(-16, 120, changed), -18);
  EXPECT_EQ(wheel_zoom(-16, -120, changed), -14);
}

TEST(Wheel, ScrollCodes) {
  EXPECT_EQ(wheel_scroll_code(120, false), kLineUp);
  EXPECT_EQ(wheel_scroll_code(120, true), kPageUp);
  EXPECT_EQ(wheel_scroll_code(-120, false), kLineDown);
  EXPECT_EQ(wheel_scroll_code(0, true), kPageDown);
}

TEST(Append, SeparatorsAndJoin) {
  EXPECT_EQ(append_separator(IDM_APPEND_NO_SEPARATOR), "");
  EXPECT_EQ(append_separator(IDM_APPEND_SPACE), " ");
  EXPECT_EQ(append_separator(IDM_APPEND_NEW_LINE), "\r\n");
  EXPECT_EQ(append_separator(IDM_APPEND_DOUBLE_NEW_LINE), "\r\n\r\n");
  EXPECT_EQ(append_separator(IDM_APPEND_FORM_FEED), "\x0C");
  for (int32_t other : {0, 1, 40156, 40162, -1}) {
    EXPECT_EQ(append_separator(other), "\r\n\r\n") << other;
    EXPECT_FALSE(is_separator_command(other));
  }
  char out[16];
  join_texts(out, "a", "\r\n", "b");
  EXPECT_EQ(std::string(out, 5), std::string("a\r\nb\0", 5));
  join_texts(out, "abc", " ", "");
  EXPECT_STREQ(out, "abc ");
}

}  // namespace
}  // namespace kestrin

namespace kestrin {
namespace {

// The viewer font is kept at 96 DPI and made at the window's: 0 stays the
// system's default at 96, and a height chosen at some DPI comes back.
TEST(FontHeight, KeptAt96AndMadeAtTheWindowsDpi) {
  EXPECT_EQ(font_height_at(0, 96), 0);
  EXPECT_EQ(font_height_at(0, 144), 24);
  EXPECT_EQ(font_height_at(-12, 144), -18);
  EXPECT_EQ(font_height_at(-13, 120), -16);  // -16.25, as MulDiv rounds
  EXPECT_EQ(font_height_at(20, 192), 40);
  for (unsigned dpi : {96u, 120u, 144u, 168u, 192u, 288u}) {
    for (int32_t height : {-72, -13, -8, 8, 11, 16, 30}) {
      EXPECT_EQ(font_height_at_96(font_height_at(height, dpi), dpi), height) << height << " at " << dpi;
    }
  }
}

}  // namespace
}  // namespace kestrin
