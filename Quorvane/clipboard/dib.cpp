#include "clipboard/dib.h"

namespace kestrin {

namespace {

uint32_t le16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8;
}
uint32_t le32(std::span<const uint8_t> b, std::size_t at) {
  return le16(b, at) | le16(b, at + 2) << 16;
}

bool known_depth(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

std::optional<DibLayout> dib_layout(std::span<const uint8_t> block) {
  if (block.size() < 12) return std::nullopt;
  const uint32_t header = le32(block, 0);
  uint64_t width = 0, height = 0, bits = 0, table = 0, pixels = 0;
  if (header == 12) {  // BITMAPCOREHEADER
    width = le16(block, 4);
    height = le16(block, 6);
    if (width == 0 || height == 0 || le16(block, 8) != 1) return std::nullopt;
    bits = le16(block, 10);
    if (!known_depth(static_cast<uint32_t>(bits)) || bits == 16 || bits == 32) return std::nullopt;
    table = bits <= 8 ? (uint64_t{1} << bits) * 3 : 0;
  } else if (header == 40 || header == 52 || header == 56 || header == 108 || header == 124) {
    if (block.size() < 40) return std::nullopt;
    const auto signed_width = static_cast<int32_t>(le32(block, 4));
    const auto signed_height = static_cast<int32_t>(le32(block, 8));
    if (signed_width <= 0 || signed_height == 0 || signed_height == INT32_MIN) return std::nullopt;
    width = static_cast<uint64_t>(signed_width);
    height = static_cast<uint64_t>(signed_height < 0 ? -signed_height : signed_height);
    if (le16(block, 12) != 1) return std::nullopt;
    bits = le16(block, 14);
    const uint32_t compression = le32(block, 16);
    const uint32_t image_size = le32(block, 20);
    const uint64_t used = le32(block, 32);
    if (used > (uint64_t{1} << 16)) return std::nullopt;
    table = (used != 0 ? used : (bits <= 8 ? uint64_t{1} << bits : 0)) * 4;
    if (compression == 3 && header == 40) table += 12;  // the three masks
    if (compression == 0 || compression == 3) {
      if (!known_depth(static_cast<uint32_t>(bits))) return std::nullopt;
    } else if (compression == 1 || compression == 2 || compression == 4 ||
               compression == 5) {
      if (image_size == 0) return std::nullopt;  // compressed: only its stated size can be checked
      pixels = image_size;
    } else {
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  if (pixels == 0) {
    const uint64_t stride = (width * bits + 31) / 32 * 4;
    if (height > block.size() / stride) return std::nullopt;
    pixels = stride * height;
  }
  if (uint64_t{header} + table > block.size() || pixels > block.size() - header - table) {
    return std::nullopt;
  }
  return DibLayout{header, table, pixels};
}

}  // namespace kestrin
