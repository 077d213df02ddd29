#include "clipboard/dib.h"

#include <algorithm>

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

namespace {

struct Header {
  uint32_t width = 0, height = 0, bits = 0, compression = 0;
  bool top_down = false;
  uint32_t masks[3] = {0, 0, 0};  // 16 and 32 bits: where red, green and blue lie
};

Header read_header(std::span<const uint8_t> block, const DibLayout& layout) {
  Header h;
  if (layout.header == 12) {
    h.width = le16(block, 4);
    h.height = le16(block, 6);
    h.bits = le16(block, 10);
    return h;
  }
  const auto signed_height = static_cast<int32_t>(le32(block, 8));
  h.width = le32(block, 4);
  h.height = static_cast<uint32_t>(signed_height < 0 ? -static_cast<int64_t>(signed_height) : signed_height);
  h.top_down = signed_height < 0;
  h.bits = le16(block, 14);
  h.compression = le32(block, 16);
  if (h.compression == 3) {
    // Right after a 40-byte header, or in the place a larger one keeps them.
    for (std::size_t i = 0; i < 3; ++i) h.masks[i] = le32(block, 40 + 4 * i);
  } else if (h.bits == 16) {
    h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
  } else {
    h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
  }
  return h;
}

// A channel taken out by its mask, scaled to 8 bits.
uint32_t channel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t top = mask >> shift;
  return static_cast<uint32_t>((uint64_t{(value & mask) >> shift} * 255 + top / 2) / top);
}

class Palette {
 public:
  Palette(std::span<const uint8_t> block, const DibLayout& layout) {
    const std::size_t entry = layout.header == 12 ? 3 : 4;
    const std::size_t at = layout.header;
    const std::size_t count = std::min<std::size_t>(256, static_cast<std::size_t>(layout.table) / entry);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t p = at + i * entry;
      colours_[i] = uint32_t{block[p + 2]} << 16 | uint32_t{block[p + 1]} << 8 | block[p];
    }
  }
  uint32_t operator[](uint32_t index) const { return colours_[index & 0xFF]; }

 private:
  uint32_t colours_[256] = {};
};

// Which output column or row shows source column or row `s`: the first output
// index whose nearest source is `s` or later.
uint32_t first_out(uint64_t s, uint32_t source, uint32_t out) {
  return static_cast<uint32_t>((s * out + source - 1) / source);
}

}  // namespace

bool dib_drawable_whole(std::span<const uint8_t> block) {
  if (block.size() < 12) return false;
  const uint32_t header = le32(block, 0);
  if (header == 12) return uint64_t{le16(block, 4)} * le16(block, 6) <= kMaxDrawnPixels;
  if (header < 40 || block.size() < 40) return false;
  const auto height = static_cast<int32_t>(le32(block, 8));
  const uint64_t rows = height < 0 ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(height)) : static_cast<uint64_t>(height);
  const uint32_t compression = le32(block, 16);
  return (compression == 0 || compression == 3) && uint64_t{le32(block, 4)} * rows <= kMaxDrawnPixels;
}

std::optional<DibPreview> dib_preview(std::span<const uint8_t> block, uint32_t max_width, uint32_t max_height) {
  const std::optional<DibLayout> layout = dib_layout(block);
  if (!layout || max_width == 0 || max_height == 0) return std::nullopt;
  const Header h = read_header(block, *layout);
  if (h.compression != 0 && h.compression != 1 && h.compression != 2 && h.compression != 3) return std::nullopt;
  DibPreview out;
  const double scale = std::min({1.0, double(max_width) / h.width, double(max_height) / h.height});
  out.width = std::clamp<uint32_t>(static_cast<uint32_t>(h.width * scale), 1, max_width);
  out.height = std::clamp<uint32_t>(static_cast<uint32_t>(h.height * scale), 1, max_height);
  out.pixels.assign(std::size_t{out.width} * out.height, 0);
  const Palette palette(block, *layout);
  const std::span<const uint8_t> data = block.subspan(static_cast<std::size_t>(layout->pixel_offset()),
                                                      static_cast<std::size_t>(layout->pixels));
  // Source row `y` counted from the top.
  auto out_row = [&](uint32_t oy) { return std::size_t{oy} * out.width; };

  if (h.compression == 1 || h.compression == 2) {
    // RLE8 and RLE4, bottom up: every run is mapped straight onto the output
    // rows and columns that show it, so skips and long runs cost nothing.
    const bool four = h.compression == 2;
    uint64_t x = 0, y = 0;  // y from the bottom
    auto put_run = [&](uint64_t count, auto colour_at) {
      if (y < h.height && x < h.width) {
        const uint32_t sy = static_cast<uint32_t>(h.height - 1 - y);
        const uint32_t oy0 = first_out(sy, h.height, out.height), oy1 = first_out(uint64_t{sy} + 1, h.height, out.height);
        const uint64_t end = std::min<uint64_t>(x + count, h.width);
        const uint32_t ox0 = first_out(x, h.width, out.width), ox1 = first_out(end, h.width, out.width);
        for (uint32_t oy = oy0; oy < oy1 && oy < out.height; ++oy) {
          for (uint32_t ox = ox0; ox < ox1 && ox < out.width; ++ox) {
            const uint64_t sx = uint64_t{ox} * h.width / out.width;
            out.pixels[out_row(oy) + ox] = palette[colour_at(sx - x)];
          }
        }
      }
      x += count;
    };
    std::size_t at = 0;
    while (at + 1 < data.size() && y < h.height) {
      const uint8_t count = data[at], value = data[at + 1];
      at += 2;
      if (count > 0) {
        put_run(count, [&](uint64_t i) -> uint32_t {
          return four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value;
        });
      } else if (value == 0) {  // end of line
        x = 0;
        ++y;
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        if (at + 1 >= data.size()) break;
        x += data[at];
        y += data[at + 1];
        at += 2;
      } else {  // absolute: `value` pixels follow, padded to a word
        const std::size_t bytes = four ? (value + 1u) / 2 : value;
        if (at + bytes > data.size()) break;
        const std::size_t start = at;
        put_run(value, [&](uint64_t i) -> uint32_t {
          if (!four) return data[start + i];
          const uint8_t b = data[start + i / 2];
          return i % 2 == 0 ? b >> 4 : b & 0x0F;
        });
        at += (bytes + 1) & ~std::size_t{1};
      }
    }
    return out;
  }

  const uint64_t stride = (uint64_t{h.width} * h.bits + 31) / 32 * 4;
  for (uint32_t oy = 0; oy < out.height; ++oy) {
    const uint64_t sy = uint64_t{oy} * h.height / out.height;  // from the top
    const uint64_t row = h.top_down ? sy : h.height - 1 - sy;
    const uint8_t* line = data.data() + row * stride;
    for (uint32_t ox = 0; ox < out.width; ++ox) {
      const uint64_t sx = uint64_t{ox} * h.width / out.width;
      uint32_t colour = 0;
      switch (h.bits) {
        case 1: colour = palette[(line[sx / 8] >> (7 - sx % 8)) & 1]; break;
        case 4: colour = palette[(line[sx / 2] >> (sx % 2 ? 0 : 4)) & 0x0F]; break;
        case 8: colour = palette[line[sx]]; break;
        case 16: {
          const uint32_t v = uint32_t{line[sx * 2]} | uint32_t{line[sx * 2 + 1]} << 8;
          colour = channel(v, h.masks[0]) << 16 | channel(v, h.masks[1]) << 8 | channel(v, h.masks[2]);
          break;
        }
        case 24: {
          const uint8_t* p = line + sx * 3;
          colour = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
          break;
        }
        case 32: {
          const uint8_t* p = line + sx * 4;
          const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
          colour = channel(v, h.masks[0]) << 16 | channel(v, h.masks[1]) << 8 | channel(v, h.masks[2]);
          break;
        }
      }
      out.pixels[out_row(oy) + ox] = colour;
    }
  }
  return out;
}

}  // namespace kestrin
