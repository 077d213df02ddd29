#include "clipboard/analysis.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin {
namespace {

Analysis analyse(std::string_view text) {
  Analysis a;
  a.clear_counts();
  analyse_text(text, a);
  return a;
}

// Every record, walked from the first line on.
std::vector<LineRecord> lines_of(std::string_view text, const Analysis& a) {
  std::vector<LineRecord> lines;
  for (LineCursor cursor(text, a, 0); cursor.valid(); cursor.next()) {
    lines.push_back(cursor.record());
  }
  return lines;
}

std::string size_line(const Analysis& a) {
  char buffer[4096];
  format_size_line(buffer, sizeof buffer, a);
  return buffer;
}

TEST(Analysis, ThreeBytesWithNewLine) {
  const std::string_view text = "a\r\n";
  Analysis a = analyse(text);
  EXPECT_EQ(a.size, 3u);
  EXPECT_EQ(a.cr, 1u);
  EXPECT_EQ(a.lf, 1u);
  EXPECT_EQ(a.line_count, 2u);
  EXPECT_EQ(size_line(a),
            "Size: 3, CR: 1, LF: 1, FF: 0, SP: 0, NA: 0, NULL: 0 - Orsk's Clipboard Tool");
  ASSERT_TRUE(a.has_line_table());
  EXPECT_EQ(lines_of(text, a), (std::vector<LineRecord>{{0, 1}, {2, 1}}));
}

TEST(Analysis, EmptyTextHasOneEmptyLineAndNoShortTail) {
  Analysis a = analyse("");
  EXPECT_EQ(a.size, 0u);
  EXPECT_EQ(a.line_count, 1u);
  EXPECT_EQ(lines_of("", a), (std::vector<LineRecord>{{0, 0}}));
  EXPECT_FALSE(a.short_tail);
}

TEST(Analysis, TextWithoutLineFeedIsOneLine) {
  const std::string_view text = "no line feed\rhere\x0C";
  Analysis a = analyse(text);
  EXPECT_EQ(a.line_count, 1u);
  EXPECT_EQ(lines_of(text, a), (std::vector<LineRecord>{{0, 18}}));
}

TEST(Analysis, LineRecordsLeaveOutTheByteBeforeEachFeed) {
  // Offsets: a=0 b=1 CR=2 LF=3 c=4 LF=5 LF=6 d=7
  const std::string_view text = "ab\r\nc\n\nd";
  Analysis a = analyse(text);
  EXPECT_EQ(lines_of(text, a), (std::vector<LineRecord>{{0, 2}, {3, 1}, {5, 0}, {6, 2}}));
  EXPECT_EQ(visible_line(text, a, 0), "ab");
  EXPECT_EQ(visible_line(text, a, 1), "c");
  EXPECT_EQ(visible_line(text, a, 2), "");
  EXPECT_EQ(visible_line(text, a, 3), "d");
  EXPECT_EQ(visible_line(text, a, 4), "");
}

TEST(Analysis, TextStartingWithLineFeedGetsAnEmptyFirstLine) {
  Analysis a = analyse("\nx");
  EXPECT_EQ(lines_of("\nx", a), (std::vector<LineRecord>{{0, 0}, {0, 2}}));
  EXPECT_EQ(visible_line("\nx", a, 0), "");
  EXPECT_EQ(visible_line("\nx", a, 1), "x");
}

TEST(Analysis, ShortTailAroundTheLimit) {
  std::string text(5000, 'x');
  EXPECT_FALSE(analyse(text).short_tail);
  text[1000] = '\x0C';  // 3999 bytes follow it
  EXPECT_TRUE(analyse(text).short_tail);

  std::string exact(kShortTailLimit, 'y');
  EXPECT_TRUE(analyse(std::string(kShortTailLimit - 1, 'y')).short_tail);
  EXPECT_FALSE(analyse(exact).short_tail);
  EXPECT_TRUE(analyse("\x0C" + std::string(kShortTailLimit - 1, 'y')).short_tail);
  EXPECT_FALSE(analyse("\x0C" + exact).short_tail);
  EXPECT_TRUE(analyse(std::string(9000, 'z') + "\x0C").short_tail);  // ends in a form feed
}

TEST(Analysis, NonAsciiBytesAndTheHistogram) {
  Analysis a = analyse(std::string("\x7F\x80\xFF \t\x0C\x0C", 7));
  EXPECT_EQ(a.na, 2u);
  EXPECT_EQ(a.sp, 1u);
  EXPECT_EQ(a.tab, 1u);
  EXPECT_EQ(a.ff, 2u);
  EXPECT_EQ(a.histogram[0x7F], 1u);
  EXPECT_EQ(a.histogram[0xFF], 1u);
  EXPECT_EQ(a.nul, 0u);
}

// The records written out the plain way, one byte at a time.
std::vector<LineRecord> reference_lines(std::string_view t) {
  std::vector<LineRecord> lines;
  uint32_t start = 0;
  for (uint32_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\n') {
      lines.push_back({start, i > start ? i - start - 1 : 0});
      start = i;
    }
  }
  lines.push_back({start, static_cast<uint32_t>(t.size()) - start});
  return lines;
}

std::string random_text(std::size_t n, uint32_t state, int feed_every) {
  std::string text;
  text.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    const uint32_t r = state >> 8;
    text.push_back(r % feed_every == 0 ? '\n' : static_cast<char>(1 + r % 255));
  }
  return text;
}

// Large texts are analysed in two halves; the halves must meet without a seam.
TEST(Analysis, LargeTextsMatchAPlainCount) {
  std::vector<std::string> texts;
  texts.push_back(random_text(3u << 20, 7, 40));
  std::string feed_at_half = random_text(2u << 20, 9, 1000);
  feed_at_half[feed_at_half.size() / 2] = '\n';
  feed_at_half[feed_at_half.size() / 2 - 1] = '\n';
  texts.push_back(feed_at_half);
  std::string none_in_second = random_text(2u << 20, 11, 500);
  for (std::size_t i = none_in_second.size() / 2 - 3; i < none_in_second.size(); ++i) {
    if (none_in_second[i] == '\n') none_in_second[i] = 'x';
  }
  texts.push_back(none_in_second);
  std::string starts_with_feed = random_text((1u << 20) + 1, 13, 100000000);
  starts_with_feed[0] = '\n';
  texts.push_back(starts_with_feed);
  texts.push_back(std::string(3u << 20, 'q'));

  for (const std::string& text : texts) {
    Analysis a = analyse(text);
    std::array<uint32_t, 256> expected{};
    for (unsigned char c : text) ++expected[c];
    EXPECT_EQ(a.histogram, expected);
    uint32_t non_ascii = 0;
    for (int v = 128; v < 256; ++v) non_ascii += expected[v];
    EXPECT_EQ(a.na, non_ascii);
    EXPECT_EQ(a.line_count, expected['\n'] + 1);
    ASSERT_TRUE(a.has_line_table());
    const std::vector<LineRecord> expected_lines = reference_lines(text);
    EXPECT_EQ(lines_of(text, a), expected_lines);
    // A walk may start at any line, between the anchors as well as on them.
    for (std::size_t i = 0; i < expected_lines.size(); i += 1 + i / 3) {
      EXPECT_EQ(LineCursor(text, a, static_cast<uint32_t>(i)).record(), expected_lines[i]) << i;
    }
  }
}

TEST(Analysis, LineTableBeyondItsBoundIsLeftOutButCounted) {
  Analysis a;
  a.clear_counts();
  analyse_text("1\n2\n3\n", a, 3);
  EXPECT_FALSE(a.has_line_table());
  EXPECT_FALSE(LineCursor("1\n2\n3\n", a, 0).valid());
  EXPECT_EQ(a.line_count, 4u);
}

TEST(Analysis, TextLengthStopsAtTheFirstNulOrTheBlockEnd) {
  const char with_nul[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ(text_length(with_nul, sizeof with_nul), 2u);
  const char without_nul[] = {'a', 'b', 'c'};
  EXPECT_EQ(text_length(without_nul, sizeof without_nul), 3u);
  EXPECT_EQ(text_length(nullptr, 10), 0u);
}

TEST(Analysis, DibSizeFromTheHeader) {
  unsigned char header[40] = {40, 0, 0, 0, 0xE8, 0x03, 0, 0, 0x20, 0, 0, 0};
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(dib_size(header, sizeof header, w, h));
  EXPECT_EQ(w, 1000u);
  EXPECT_EQ(h, 32u);
  EXPECT_FALSE(dib_size(header, 11, w, h));
}

TEST(StatusLines, TextLineAndScrollLine) {
  char buffer[4096];
  format_text_line(buffer, sizeof buffer, 100, 21, 500, 100.0 / 21);
  EXPECT_STREQ(buffer, "Text: 100 lines, 21 displayed, 500 bytes,   4.762 pages");
  format_scroll_line(buffer, sizeof buffer, 0, 100, 79, 21);
  EXPECT_STREQ(buffer, "min: 0, max: 100, pos: 79, page: 21");
  Analysis a;
  a.bitmap_width = 1000;
  a.bitmap_height = 32;
  format_bitmap_line(buffer, sizeof buffer, a);
  EXPECT_STREQ(buffer, "Bitmap: 1000x32");
  format_bitmap_layout_line(buffer, sizeof buffer, a, 400, 300);
  EXPECT_STREQ(buffer, "Bitmap: 1000x32 (400x300)");
}

TEST(StatusLines, FormatListing) {
  char buffer[4096];
  format_listing_line(buffer, sizeof buffer, 0, 1, standard_format_name(1));
  EXPECT_STREQ(buffer, "  0:     1 CF_TEXT");
  format_listing_line(buffer, sizeof buffer, 1, 7, standard_format_name(7));
  EXPECT_STREQ(buffer, "  1:     7 CF_OEMTEXT");
  format_listing_line(buffer, sizeof buffer, 2, 16, standard_format_name(16));
  EXPECT_STREQ(buffer, "  2:    16 LOCAL");
  format_listing_line(buffer, sizeof buffer, 3, 49862, nullptr);
  EXPECT_STREQ(buffer, "  3: 49862");
  EXPECT_STREQ(standard_format_name(17), "MAX");
  EXPECT_EQ(standard_format_name(18), nullptr);
  // A registered name of any length stays inside the buffer.
  const std::string long_name(5000, 'n');
  format_listing_line(buffer, 64, 4, 50000, long_name.c_str());
  EXPECT_EQ(std::string(buffer).size(), 63u);
}

}  // namespace
}  // namespace kestrin
