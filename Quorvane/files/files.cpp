#include "files/files.h"

#include <cstdio>

#include "clipboard/dib.h"

namespace kestrin {

std::string automatic_name(const FileStamp& t) {
  char name[32];
  std::snprintf(name, sizeof name, "%04u%02u%02u%02u%02u%02u", t.year % 10000, t.month % 100,
                t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
  return name;
}

std::string unused_name(std::string_view stem, std::string_view extension,
                        const std::function<bool(const std::string&)>& exists) {
  std::string name = std::string(stem) + std::string(extension);
  for (unsigned n = 2; exists(name) && n < 100000; ++n) {
    name = std::string(stem) + "-" + std::to_string(n) + std::string(extension);
  }
  return name;
}

std::array<uint8_t, 14> bmp_file_header(std::span<const uint8_t> dib) {
  std::array<uint8_t, 14> header{'B', 'M'};
  auto put32 = [&](std::size_t at, uint64_t value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(2, dib.size() + 14);
  const std::optional<DibLayout> layout = dib_layout(dib);
  put32(10, 14 + (layout ? layout->pixel_offset() : 40));
  return header;
}

std::string dropped_names_text(const std::vector<std::string>& paths) {
  std::string text;
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) text += *it + "\r\n";
  return text;
}

}  // namespace kestrin
