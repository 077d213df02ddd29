// The formats of a copy as the history keeps them: which of a clipboard's
// formats can be put back (memory blocks, the enhanced metafile through its
// bits, every registered format) and which are left to the system (handles,
// palettes, owner-display and private formats, and what the system makes from
// another format of the copy); the HistoryFormats setting; file lists
// (CF_HDROP). Platform-free; numbers and layouts are the system's own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history.h"

namespace kestrin {

namespace cf {
inline constexpr uint32_t kText = 1, kBitmap = 2, kMetafilePict = 3, kSylk = 4, kDif = 5, kTiff = 6,
                          kOemText = 7, kDib = 8, kPalette = 9, kPenData = 10, kRiff = 11, kWave = 12,
                          kUnicodeText = 13, kEnhMetafile = 14, kHDrop = 15, kLocale = 16, kDibV5 = 17,
                          kDspText = 0x81, kFirstRegistered = 0xC000;
}

// "CF_UNICODETEXT" for a standard format; empty for one the system does not name.
std::string_view system_format_name(uint32_t number);
// How a format is named to the user and in HistoryFormats: a registered
// format's name, a standard one's CF_ name, or "#n".
std::string format_label(uint32_t number, std::string_view name);
std::string format_label(const KeptFormat& format);

// HistoryFormats: patterns (with * and ?) separated by commas or semicolons;
// "*" (the default) keeps every format.
class FormatFilter {
 public:
  explicit FormatFilter(std::string_view setting = "*");
  bool keeps(std::string_view label) const;

 private:
  std::vector<std::string> patterns_;
};

// One format present on the clipboard, in its order.
struct PresentFormat {
  uint32_t number;
  std::string name;  // a registered format's name; empty for a standard one
};

// The formats of a copy to keep, in the clipboard's order: the first of the
// text formats and the first of the bitmap formats become the entry's own
// (role Main) when the entry holds a text or a bitmap (`main_group`: the kind
// it holds); every other format that can be put back and the filter keeps
// becomes a Data format still to be read. A format the system makes from
// another one of its group (the other text forms after the first, CF_DIB
// after CF_DIBV5 and back, CF_METAFILEPICT beside CF_ENHMETAFILE, CF_LOCALE
// after the text) is left out.
std::vector<KeptFormat> plan_formats(const std::vector<PresentFormat>& present, std::optional<EntryKind> main_group,
                                     const FormatFilter& filter);

// The names in a DROPFILES block (CF_HDROP), UTF-8; nothing when the block is
// not one. Never reads past the block.
std::optional<std::vector<std::string>> drop_file_names(std::string_view block);
// A DROPFILES block of wide names.
std::string make_drop_files(const std::vector<std::string>& names_utf8);
// "3 files: a.txt, b.txt, c.txt (C:\folder)".
std::string files_preview(const std::vector<std::string>& names);
// The lines of a Files entry's data.
std::vector<std::string> split_lines(std::string_view text);

// Formats of the shell that name the files of a list (left out when the list
// is put back without some of them).
bool names_the_files(std::string_view name);

}  // namespace kestrin
