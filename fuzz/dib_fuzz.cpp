// libFuzzer target: a bitmap's preview from any bytes. It must never read past
// them, and whatever the header claims, the preview is at most the size asked
// for (taken from the input too) and costs no more.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "clipboard/dib.h"

using namespace kestrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const uint32_t width = 1 + data[0] % 200, height = 1 + data[1] % 200;
  const std::span<const uint8_t> dib(data + 2, size - 2);
  dib_drawable_whole(dib);
  if (const auto preview = dib_preview(dib, width, height)) {
    if (preview->width == 0 || preview->width > width || preview->height == 0 || preview->height > height ||
        preview->pixels.size() != std::size_t{preview->width} * preview->height) {
      std::abort();
    }
  }
  return 0;
}
