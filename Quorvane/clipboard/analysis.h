// What the clipboard holds, in figures: the counts of a text's characters, its
// byte histogram, its lines, and the status lines that describe them.
// Platform-free: the Win32 layer hands in the bytes of the clipboard blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text_value.h"

namespace kestrin {

// One line of the text: where it starts and how long it is (see analyse_text).
struct LineRecord {
  uint32_t start;
  uint32_t length;
  bool operator==(const LineRecord&) const = default;
};

// A form feed followed by fewer bytes than this marks a short last page.
inline constexpr uint32_t kShortTailLimit = 4096;

inline constexpr uint32_t kLineAnchorStep = 64;

struct Analysis {
  uint32_t size = 0;  // text length up to its first NUL
  uint32_t cr = 0, lf = 0, ff = 0, sp = 0, tab = 0, na = 0, nul = 0;
  std::array<uint32_t, 256> histogram{};
  bool short_tail = false;

  bool bitmap_present = false;
  uint32_t bitmap_width = 0, bitmap_height = 0;  // kept until the next bitmap

  // The start of every kLineAnchorStep-th line (line k * step starts at
  // line_anchors[k]); the lines between are found by a short scan from there.
  // A full table of eight bytes a line would outgrow a text of short lines.
  // None when it could not be allocated.
  std::unique_ptr<uint32_t[]> line_anchors;
  uint32_t line_count = 0;  // also when the anchors could not be allocated

  bool has_line_table() const { return line_anchors != nullptr; }

  // A Unicode text (held as UTF-8) is told in characters: its size and its
  // non-ASCII count in code points. The byte figures above stay what the line
  // table and the viewer work on.
  bool unicode = false;
  uint32_t characters = 0, non_ascii_characters = 0;
  uint32_t shown_size() const { return unicode ? characters : size; }
  uint32_t shown_non_ascii() const { return unicode ? non_ascii_characters : na; }

  // Clears everything a change replaces (the bitmap size stays).
  void clear_counts();
};

// Length of the text in a block: up to the first NUL, or the whole block when it
// has none (never past the block), at most 2^32 - 1.
uint32_t text_length(const char* block, std::size_t block_size);

// The whole text analysis: one pass for the histogram, the counts taken from it
// and the short-tail flag, and one for the line anchors, whose array is
// allocated once at its exact size. Lines are separated by LF: the first starts
// at 0; a line after the LF at offset L starts at L (the record includes that
// LF); every record but the last leaves out the byte before its own LF.
// `max_records` bounds the line count for which anchors are kept; beyond it, or
// when they cannot be allocated, there are none, but line_count is still LF + 1.
// Large texts are split between two threads.
void analyse_text(std::string_view text, Analysis& out, std::size_t max_records = SIZE_MAX);
// The same for a Unicode text held as UTF-8: the byte figures as above, and
// the size and non-ASCII count in characters.
void analyse_unicode_text(std::string_view utf8, Analysis& out,
                          std::size_t max_records = SIZE_MAX);

// A text and its analysis, made off the window's thread for a long text: the
// change handling that takes this very text uses it instead of analysing again.
struct PreparedText {
  std::shared_ptr<const TextValue> text;
  Analysis analysis;
};
std::shared_ptr<PreparedText> prepare_text(std::shared_ptr<const TextValue> text, std::size_t max_records);

// Walks the lines of an analysed text from a given one on. `text` is the text
// the analysis was made of; a line past the end, or an analysis without
// anchors, gives a cursor that is not valid.
class LineCursor {
 public:
  LineCursor(std::string_view text, const Analysis& analysis, uint32_t line);
  bool valid() const { return line_ < count_; }
  uint32_t line() const { return line_; }
  LineRecord record() const;
  // The bytes the viewer shows: without the LF that ends the previous line and
  // without the CR LF or LF that ends its own.
  std::string_view visible() const;
  void next();

 private:
  std::size_t end_of_line() const;  // offset of the LF that ends it, or the text's end
  std::string_view text_;
  uint32_t count_ = 0;
  uint32_t line_ = 0;
  std::size_t start_ = 0;  // the record's start
  std::size_t end_ = 0;    // the next record's start, or the text's end
};

// Line i as the viewer shows it (see LineCursor::visible).
std::string_view visible_line(std::string_view text, const Analysis& analysis, uint32_t i);

// Width and height fields of the BITMAPINFOHEADER that starts a DIB block.
bool dib_size(const unsigned char* block, std::size_t block_size, uint32_t& width,
              uint32_t& height);

inline constexpr const char* kBaseTitle = "Orsk's Clipboard Tool";
inline constexpr const char* kEmptyOrUnfamiliar =
    "Clipboard is empty or contains unfamiliar format.";
inline constexpr const char* kNeroTracks = "Found Nero Audio Tracks, perhaps!";
// Shown instead of the text and its counts for a copy marked private.
inline constexpr const char* kPrivateContent = "Clipboard holds private content (not shown)";
inline constexpr unsigned kNeroFormat = 49862;

// The status texts, formatted into buffer[size] (bounded).
void format_size_line(char* buffer, std::size_t size, const Analysis& a);
void format_bitmap_line(char* buffer, std::size_t size, const Analysis& a);
// "... %u bytes ..." for ANSI text, "... %u chars ..." for Unicode text.
void format_text_line(char* buffer, std::size_t size, uint32_t line_count,
                      uint32_t lines_per_page, uint32_t text_size, double pages,
                      bool characters = false);
void format_bitmap_layout_line(char* buffer, std::size_t size, const Analysis& a,
                               uint32_t area_width, uint32_t area_height);
void format_scroll_line(char* buffer, std::size_t size, uint32_t min, uint32_t max,
                        uint32_t pos, uint32_t page);

// Name of a clipboard format 0 to 17, or nullptr.
const char* standard_format_name(unsigned format);
// One line of the format listing: "%3i: %5u", then a space and the name if any.
std::size_t format_listing_line(char* buffer, std::size_t size, int index, unsigned format,
                                const char* name);

}  // namespace kestrin
