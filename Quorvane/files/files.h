// The clipboard to and from files on plain data: the automatic file names, the
// BMP file header of a DIB, the list of dropped file names, and the drop modes.
// Platform-free: files_win.cpp does the dialogs, the files and the drops.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

struct FileStamp {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYYMMDDhhmmss", 14 digits.
std::string automatic_name(const FileStamp& now);

// `stem` + `extension`, or, when a file of that name exists already,
// `stem` + "-2" + `extension`, "-3", ...: two saves in one second keep both.
std::string unused_name(std::string_view stem, std::string_view extension,
                        const std::function<bool(const std::string&)>& exists);

// The 14-byte BMP file header for a DIB block: "BM", the file size (block + 14)
// and the offset of the pixels, from the DIB's header, colour table and masks
// (14 + 40 for a block whose header is not understood).
std::array<uint8_t, 14> bmp_file_header(std::span<const uint8_t> dib);

// The "Copy file names to clipboard" text of a drop: the paths from the last
// dropped to the first, each followed by CR LF.
std::string dropped_names_text(const std::vector<std::string>& paths);

}  // namespace kestrin
