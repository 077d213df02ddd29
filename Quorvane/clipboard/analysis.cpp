#include "clipboard/analysis.h"

#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
#include <emmintrin.h>
#endif

#include "text_format.h"
#include "utf.h"

namespace kestrin {

void Analysis::clear_counts() {
  size = cr = lf = ff = sp = tab = na = nul = 0;
  unicode = false;
  characters = non_ascii_characters = 0;
  histogram.fill(0);
  short_tail = false;
  line_anchors.reset();
  line_count = 0;
}

uint32_t text_length(const char* block, std::size_t block_size) {
  if (!block) return 0;
  const std::size_t limit = block_size < UINT32_MAX ? block_size : UINT32_MAX;
  const void* nul = std::memchr(block, '\0', limit);
  return static_cast<uint32_t>(nul ? static_cast<const char*>(nul) - block : limit);
}

namespace {

using Histogram = std::array<uint32_t, 256>;

// Four histograms filled in turn break the dependency between neighbouring equal
// bytes, which otherwise serialises the increments.
void histogram_of(const unsigned char* p, std::size_t n, Histogram& out) {
  uint32_t tables[4][256] = {};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint32_t a, b;
    std::memcpy(&a, p + i, 4);
    std::memcpy(&b, p + i + 4, 4);
    ++tables[0][a & 0xFF];
    ++tables[1][(a >> 8) & 0xFF];
    ++tables[2][(a >> 16) & 0xFF];
    ++tables[3][a >> 24];
    ++tables[0][b & 0xFF];
    ++tables[1][(b >> 8) & 0xFF];
    ++tables[2][(b >> 16) & 0xFF];
    ++tables[3][b >> 24];
  }
  for (; i < n; ++i) ++tables[0][p[i]];
  for (int v = 0; v < 256; ++v) {
    out[v] = tables[0][v] + tables[1][v] + tables[2][v] + tables[3][v];
  }
}

// Offset just past the last form feed, searched a word at a time from the end;
// 0 when there is none.
std::size_t after_last_form_feed(const unsigned char* p, std::size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  std::size_t i = n;
  while (i >= 8) {
    uint64_t word;
    std::memcpy(&word, p + i - 8, 8);
    const uint64_t x = word ^ (kOnes * 0x0C);
    if (((x - kOnes) & ~x & kHighs) != 0) break;  // a form feed among these 8
    i -= 8;
  }
  for (; i > 0; --i) {
    if (p[i - 1] == 0x0C) return i;
  }
  return 0;
}

// Calls found(offset) for every LF in [begin, end), in order.
template <typename Found>
void each_line_feed(const char* data, std::size_t begin, std::size_t end, Found found) {
  std::size_t i = begin;
#if defined(__SSE2__) && !defined(KESTRIN_SCALAR)
  const __m128i feeds = _mm_set1_epi8('\n');
  for (; i + 64 <= end; i += 64) {
    auto mask_at = [&](std::size_t k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + k));
      return static_cast<uint64_t>(
          static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, feeds))));
    };
    uint64_t mask = mask_at(0) | mask_at(16) << 16 | mask_at(32) << 32 | mask_at(48) << 48;
    while (mask != 0) {
      found(i + static_cast<std::size_t>(__builtin_ctzll(mask)));
      mask &= mask - 1;
    }
  }
#else
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  const uint64_t feeds = kOnes * 0x0A;
  for (; i + 8 <= end; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    const uint64_t x = word ^ feeds;
    if (((x - kOnes) & ~x & kHighs) == 0) continue;  // no LF among these 8
    for (std::size_t k = 0; k < 8; ++k) {
      if (data[i + k] == '\n') found(i + k);
    }
  }
#endif
  for (; i < end; ++i) {
    if (data[i] == '\n') found(i);
  }
}

uint32_t record_length(std::size_t start, std::size_t feed) {
  // The byte before the LF is left out; a text that starts with LF has an empty
  // first line rather than a length of -1.
  return static_cast<uint32_t>(feed > start ? feed - start - 1 : 0);
}

// Records the anchors among the LFs in [begin, end), the first of which is LF
// number `first_feed` of the text (line f + 1 starts at LF number f).
void fill_anchors(const char* data, std::size_t begin, std::size_t end, uint32_t first_feed,
                  uint32_t* anchors) {
  uint32_t line = first_feed;
  each_line_feed(data, begin, end, [&](std::size_t at) {
    ++line;
    if (line % kLineAnchorStep == 0) anchors[line / kLineAnchorStep] = static_cast<uint32_t>(at);
  });
}

constexpr std::size_t kParallelFrom = 1u << 20;

}  // namespace

void analyse_text(std::string_view text, Analysis& out, std::size_t max_records) {
  const auto n = static_cast<uint32_t>(text.size() < UINT32_MAX ? text.size() : UINT32_MAX);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  out.size = n;

  // Pass one: the histogram, in two halves on two threads for a large text.
  const std::size_t half = n >= kParallelFrom ? n / 2 : n;
  Histogram second{};
  {
    std::thread helper;
    if (half < n) {
      try {
        helper = std::thread([&] { histogram_of(bytes + half, n - half, second); });
      } catch (const std::system_error&) {
        histogram_of(bytes + half, n - half, second);
      }
    }
    histogram_of(bytes, half, out.histogram);
    if (helper.joinable()) helper.join();
  }
  const uint32_t feeds_in_first = out.histogram[0x0A];
  for (int v = 0; v < 256; ++v) out.histogram[v] += second[v];

  const auto& h = out.histogram;
  out.cr = h[0x0D];
  out.lf = h[0x0A];
  out.ff = h[0x0C];
  out.sp = h[0x20];
  out.tab = h[0x09];
  out.nul = h[0x00];
  out.na = 0;
  for (int v = 0x80; v <= 0xFF; ++v) out.na += h[v];
  const std::size_t tail_start = out.ff ? after_last_form_feed(bytes, n) : 0;
  out.short_tail = n != 0 && n - tail_start < kShortTailLimit;

  // The line anchors: counted by the first pass, filled by the second.
  out.line_count = out.lf + 1;
  out.line_anchors.reset();
  if (out.line_count > max_records) return;
  const uint32_t anchor_count = (out.line_count - 1) / kLineAnchorStep + 1;
  out.line_anchors.reset(new (std::nothrow) uint32_t[anchor_count]);
  if (!out.line_anchors) return;
  uint32_t* anchors = out.line_anchors.get();
  anchors[0] = 0;
  {
    std::thread helper;
    if (half < n) {
      auto fill_second = [&] { fill_anchors(text.data(), half, n, feeds_in_first, anchors); };
      try {
        helper = std::thread(fill_second);
      } catch (const std::system_error&) {
        fill_second();
      }
    }
    fill_anchors(text.data(), 0, half, 0, anchors);
    if (helper.joinable()) helper.join();
  }
}

void analyse_unicode_text(std::string_view utf8, Analysis& out, std::size_t max_records) {
  analyse_text(utf8, out, max_records);
  out.unicode = true;
  const std::string_view text = utf8.substr(0, out.size);
  out.characters = static_cast<uint32_t>(count_characters(text));
  out.non_ascii_characters = static_cast<uint32_t>(count_non_ascii_characters(text));
}

std::shared_ptr<PreparedText> prepare_text(std::shared_ptr<const TextValue> text, std::size_t max_records) {
  auto prepared = std::make_shared<PreparedText>();
  if (text->unicode) {
    analyse_unicode_text(text->bytes, prepared->analysis, max_records);
  } else {
    analyse_text(text->bytes, prepared->analysis, max_records);
  }
  prepared->text = std::move(text);
  return prepared;
}

LineCursor::LineCursor(std::string_view text, const Analysis& analysis, uint32_t line)
    : text_(text.substr(0, analysis.size)),
      count_(analysis.has_line_table() ? analysis.line_count : 0),
      line_(line) {
  if (!valid()) return;
  const uint32_t anchor_line = line - line % kLineAnchorStep;
  line_ = anchor_line;
  start_ = analysis.line_anchors[anchor_line / kLineAnchorStep];
  if (start_ > text_.size()) start_ = text_.size();
  end_ = end_of_line();
  while (line_ < line && valid()) next();
}

std::size_t LineCursor::end_of_line() const {
  if (line_ + 1 >= count_) return text_.size();
  const std::size_t from = line_ == 0 ? 0 : start_ + 1;  // past the LF it starts with
  if (from >= text_.size()) return text_.size();
  const void* feed = std::memchr(text_.data() + from, '\n', text_.size() - from);
  return feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - text_.data())
              : text_.size();
}

void LineCursor::next() {
  ++line_;
  if (!valid()) return;
  start_ = end_;
  end_ = end_of_line();
}

LineRecord LineCursor::record() const {
  const auto start = static_cast<uint32_t>(start_);
  if (line_ + 1 >= count_) return {start, static_cast<uint32_t>(text_.size() - start_)};
  return {start, record_length(start_, end_)};
}

std::string_view LineCursor::visible() const {
  std::size_t begin = start_;
  if (line_ > 0 && begin < end_) ++begin;  // the LF that ended the previous line
  std::size_t end = end_;
  if (line_ + 1 < count_ && end > begin && text_[end - 1] == '\r') --end;
  return text_.substr(begin, end - begin);
}

std::string_view visible_line(std::string_view text, const Analysis& analysis, uint32_t i) {
  const LineCursor cursor(text, analysis, i);
  return cursor.valid() ? cursor.visible() : std::string_view();
}

bool dib_size(const unsigned char* block, std::size_t block_size, uint32_t& width,
              uint32_t& height) {
  if (!block || block_size < 12) return false;
  auto le32 = [block](std::size_t at) {
    return static_cast<uint32_t>(block[at]) | static_cast<uint32_t>(block[at + 1]) << 8 |
           static_cast<uint32_t>(block[at + 2]) << 16 | static_cast<uint32_t>(block[at + 3]) << 24;
  };
  width = le32(4);
  height = le32(8);
  return true;
}

void format_size_line(char* buffer, std::size_t size, const Analysis& a) {
  format_bounded(buffer, size, "Size: %u, CR: %u, LF: %u, FF: %u, SP: %u, NA: %u, NULL: %u - %s",
                 a.shown_size(), a.cr, a.lf, a.ff, a.sp, a.shown_non_ascii(), a.nul, kBaseTitle);
}

void format_bitmap_line(char* buffer, std::size_t size, const Analysis& a) {
  format_bounded(buffer, size, "Bitmap: %ux%u", a.bitmap_width, a.bitmap_height);
}

void format_text_line(char* buffer, std::size_t size, uint32_t line_count,
                      uint32_t lines_per_page, uint32_t text_size, double pages,
                      bool characters) {
  format_bounded(buffer, size, "Text: %u lines, %u displayed, %u %s, %7.3f pages", line_count,
                 lines_per_page, text_size, characters ? "chars" : "bytes", pages);
}

void format_bitmap_layout_line(char* buffer, std::size_t size, const Analysis& a,
                               uint32_t area_width, uint32_t area_height) {
  format_bounded(buffer, size, "Bitmap: %ux%u (%ux%u)", a.bitmap_width, a.bitmap_height,
                 area_width, area_height);
}

void format_scroll_line(char* buffer, std::size_t size, uint32_t min, uint32_t max,
                        uint32_t pos, uint32_t page) {
  format_bounded(buffer, size, "min: %u, max: %u, pos: %u, page: %u", min, max, pos, page);
}

const char* standard_format_name(unsigned format) {
  static const char* const names[] = {
      "CF_FIRST", "CF_TEXT",  "CF_BITMAP",  "CF_METAFILEPICT", "CF_SYLK",        "CF_DIF",
      "CF_TIFF",  "CF_OEMTEXT", "CF_DIB",   "DF_PALETTE",      "CF_PENDATA",     "CF_RIFF",
      "CF_WAVE",  "CF_UNICODETEXT", "CF_ENHMETAFILE", "HDROP", "LOCAL",          "MAX"};
  return format < std::size(names) ? names[format] : nullptr;
}

std::size_t format_listing_line(char* buffer, std::size_t size, int index, unsigned format,
                                const char* name) {
  if (name && *name) return format_bounded(buffer, size, "%3i: %5u %s", index, format, name);
  return format_bounded(buffer, size, "%3i: %5u", index, format);
}

}  // namespace kestrin
