// Bitmap previews: an RLE bitmap decodes to the same picture as the same
// pixels uncompressed (the encoder here is the plain one of the format), any
// scale is the nearest-pixel sample of the full picture, and a hostile header
// never costs more than the preview asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "clipboard/dib.h"

namespace kestrin {
namespace {

void put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// A 40-byte header, a 16- or 256-colour table, then `pixels`.
std::vector<uint8_t> dib(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                         const std::vector<uint8_t>& pixels) {
  const uint32_t colours = bits == 4 ? 16 : 256;
  std::vector<uint8_t> b(40 + colours * 4);
  put32(b, 0, 40);
  put32(b, 4, static_cast<uint32_t>(width));
  put32(b, 8, static_cast<uint32_t>(height));
  b[12] = 1;
  b[14] = static_cast<uint8_t>(bits);
  put32(b, 16, compression);
  put32(b, 20, static_cast<uint32_t>(pixels.size()));
  for (uint32_t i = 0; i < colours; ++i) put32(b, 40 + 4 * i, i * 0x010203u + 0x000010u);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// Bottom-up rows of palette indices, as the uncompressed format keeps them.
std::vector<uint8_t> uncompressed(const std::vector<std::vector<uint8_t>>& rows, uint16_t bits) {
  std::vector<uint8_t> out;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    std::vector<uint8_t> line((row->size() * bits + 31) / 32 * 4);
    for (std::size_t x = 0; x < row->size(); ++x) {
      if (bits == 8) line[x] = (*row)[x];
      else line[x / 2] |= static_cast<uint8_t>((*row)[x] << (x % 2 ? 0 : 4));
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// The plain RLE encoder: runs where pixels repeat, absolute stretches
// otherwise, an end of line per row and an end of bitmap.
std::vector<uint8_t> rle(const std::vector<std::vector<uint8_t>>& rows, bool four) {
  std::vector<uint8_t> out;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    std::size_t x = 0;
    while (x < row->size()) {
      std::size_t run = 1;
      while (x + run < row->size() && run < 255 && (*row)[x + run] == (*row)[x]) ++run;
      if (run >= 3 || row->size() - x < 3) {
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(four ? static_cast<uint8_t>((*row)[x] << 4 | (*row)[x]) : (*row)[x]);
        x += run;
        continue;
      }
      const std::size_t n = std::min<std::size_t>(row->size() - x, 3 + x % 5);
      out.push_back(0);
      out.push_back(static_cast<uint8_t>(n));
      std::vector<uint8_t> bytes;
      for (std::size_t i = 0; i < n; ++i) {
        if (!four) bytes.push_back((*row)[x + i]);
        else if (i % 2 == 0) bytes.push_back(static_cast<uint8_t>((*row)[x + i] << 4));
        else bytes.back() |= (*row)[x + i];
      }
      if (bytes.size() % 2) bytes.push_back(0);
      out.insert(out.end(), bytes.begin(), bytes.end());
      x += n;
    }
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(1);
  return out;
}

TEST(DibPreview, RleDecodesAsTheSamePixelsUncompressedAtEveryScale) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    const bool four = round % 2;
    const int width = 1 + static_cast<int>(random() % 40), height = 1 + static_cast<int>(random() % 30);
    std::vector<std::vector<uint8_t>> rows(static_cast<std::size_t>(height), std::vector<uint8_t>(static_cast<std::size_t>(width)));
    for (auto& row : rows) {
      for (auto& p : row) p = static_cast<uint8_t>(random() % 3 ? random() % (four ? 16 : 256) : 7);
    }
    const auto plain = dib(width, height, four ? 4 : 8, 0, uncompressed(rows, four ? 4 : 8));
    const auto packed = dib(width, height, four ? 4 : 8, four ? 2 : 1, rle(rows, four));
    for (uint32_t side : {1000u, 17u, 3u}) {
      const auto a = dib_preview(plain, side, side), b = dib_preview(packed, side, side);
      ASSERT_TRUE(a && b) << round;
      ASSERT_EQ(std::tie(a->width, a->height), std::tie(b->width, b->height)) << round;
      ASSERT_EQ(a->pixels, b->pixels) << "round " << round << " side " << side;
    }
    // At full size each pixel is its palette colour, the top row first.
    const auto full = dib_preview(plain, 1000, 1000);
    ASSERT_EQ(full->width, static_cast<uint32_t>(width));
    EXPECT_EQ(full->pixels[0], (rows[0][0] * 0x010203u + 0x000010u) & 0xFFFFFFu);
  }
}

TEST(DibPreview, AHostileClaimCostsOnlyThePreview) {
  std::mt19937 random(9);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> data(random() % 300);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    const uint32_t compression = random() % 4;
    const uint16_t bits = std::array<uint16_t, 6>{1, 4, 8, 16, 24, 32}[random() % 6];
    const int32_t width = static_cast<int32_t>(random() % 2 ? random() % 100000 : random());
    const int32_t height = static_cast<int32_t>(random());
    const auto block = dib(width, height, bits, compression, data);
    if (const auto preview = dib_preview(block, 64, 48)) {
      EXPECT_LE(preview->width, 64u);
      EXPECT_LE(preview->height, 48u);
      EXPECT_EQ(preview->pixels.size(), std::size_t{preview->width} * preview->height);
    }
  }
  // The 60000x60000 RLE4 bitmap of 168 bytes: a preview of what was asked.
  std::vector<uint8_t> runs;
  for (int i = 0; i < 31; ++i) runs.insert(runs.end(), {0xFF, 0x12});
  runs.insert(runs.end(), {0, 1});
  const auto hostile = dib(60000, 60000, 4, 2, runs);
  EXPECT_FALSE(dib_drawable_whole(hostile));
  const auto preview = dib_preview(hostile, 300, 200);
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width, 200u);
  EXPECT_EQ(preview->height, 200u);
  EXPECT_TRUE(dib_drawable_whole(dib(640, 480, 8, 0, std::vector<uint8_t>(640 * 480))));
}

}  // namespace
}  // namespace kestrin
