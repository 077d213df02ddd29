// Packed DIBs (the CF_DIB clipboard format) on plain bytes: where the colour
// table and the pixels lie, and whether they fit in the block. Platform-free.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

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

}  // namespace kestrin
