// Packed DIBs (the CF_DIB clipboard format) on plain bytes: where the colour
// table and the pixels lie, and whether they fit in the block. Platform-free.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrin {

struct DibLayout {
  uint32_t header = 0;  // the header's own size (12, 40, 52, 56, 108 or 124)
  uint64_t table = 0;   // colour table and bit-field masks after the header
  uint64_t pixels = 0;  // the pixel bytes the header describes
  uint64_t pixel_offset() const { return header + table; }
};

// The layout of a packed DIB whose header describes a bitmap that fits in the
// block: a known header size, one plane, a known bit depth, and the colour
// table and pixels within the block. Nothing for anything else.
std::optional<DibLayout> dib_layout(std::span<const uint8_t> block);
inline bool dib_fits(std::span<const uint8_t> block) { return dib_layout(block).has_value(); }

// Past this many pixels a bitmap is not drawn whole (the system's conversion
// of it would cost as much memory as it claims), only as a preview.
inline constexpr uint64_t kMaxDrawnPixels = uint64_t{1} << 26;  // 8192 x 8192

// A bitmap made small: at most `max_width` x `max_height`, scaled down (never
// up) keeping its proportions, each pixel the nearest of the source's. Top
// down, 0x00RRGGBB. Uncompressed and RLE-compressed bitmaps of any depth are
// decoded here, so that whatever size a bitmap claims, the preview costs its
// own pixels plus one pass over the data present.
struct DibPreview {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};
std::optional<DibPreview> dib_preview(std::span<const uint8_t> block, uint32_t max_width, uint32_t max_height);
// Whether the system may be handed the bitmap to draw whole: uncompressed and
// within kMaxDrawnPixels.
bool dib_drawable_whole(std::span<const uint8_t> block);

}  // namespace kestrin
