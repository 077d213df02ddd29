#include "history/formats.h"

#include <algorithm>
#include <cstring>

#include "history/ignore_rules.h"
#include "utf.h"

namespace kestrin {

namespace {

constexpr std::string_view kStandardNames[] = {
    "",          "CF_TEXT",        "CF_BITMAP",      "CF_METAFILEPICT", "CF_SYLK", "CF_DIF",
    "CF_TIFF",   "CF_OEMTEXT",     "CF_DIB",         "CF_PALETTE",      "CF_PENDATA", "CF_RIFF",
    "CF_WAVE",   "CF_UNICODETEXT", "CF_ENHMETAFILE", "CF_HDROP",        "CF_LOCALE",  "CF_DIBV5"};

bool text_group(uint32_t n) { return n == cf::kText || n == cf::kOemText || n == cf::kUnicodeText; }
bool bitmap_group(uint32_t n) { return n == cf::kBitmap || n == cf::kDib || n == cf::kDibV5; }
bool metafile_group(uint32_t n) { return n == cf::kMetafilePict || n == cf::kEnhMetafile; }

// A format whose data is a block of bytes (or the enhanced metafile's bits).
bool restorable(uint32_t n) {
  if (n >= cf::kFirstRegistered) return n <= 0xFFFF;
  if (n == cf::kDspText) return true;
  return n >= 1 && n <= cf::kDibV5 && n != cf::kBitmap && n != cf::kMetafilePict && n != cf::kPalette;
}

uint32_t get32(std::string_view b, std::size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view system_format_name(uint32_t number) {
  if (number < std::size(kStandardNames)) return kStandardNames[number];
  return number == cf::kDspText ? "CF_DSPTEXT" : "";
}

std::string format_label(uint32_t number, std::string_view name) {
  if (!name.empty()) return std::string(name);
  const std::string_view standard = system_format_name(number);
  return standard.empty() ? "#" + std::to_string(number) : std::string(standard);
}

std::string format_label(const KeptFormat& format) { return format_label(format.number, format.name); }

FormatFilter::FormatFilter(std::string_view setting) {
  std::size_t start = 0;
  while (start <= setting.size()) {
    const std::size_t end = std::min(setting.find_first_of(",;", start), setting.size());
    const std::string_view pattern = trim(setting.substr(start, end - start));
    if (!pattern.empty()) patterns_.emplace_back(pattern);
    start = end + 1;
  }
}

bool FormatFilter::keeps(std::string_view label) const {
  return std::any_of(patterns_.begin(), patterns_.end(),
                     [&](const std::string& p) { return wildcard_match(p, label); });
}

std::vector<KeptFormat> plan_formats(const std::vector<PresentFormat>& present, std::optional<EntryKind> main_group,
                                     const FormatFilter& filter) {
  std::vector<KeptFormat> plan;
  bool text_seen = false, bitmap_seen = false, metafile_seen = false;
  const bool text_main = main_group && is_text(*main_group);
  const bool bitmap_main = main_group == EntryKind::Bitmap;
  for (const PresentFormat& f : present) {
    // The system adds CF_LOCALE after a text put without one: only one put
    // before the text is the program's own.
    if (f.number == cf::kLocale && text_seen) continue;
    // Only the first of a group is the program's own: the system makes the rest.
    bool* seen = text_group(f.number)       ? &text_seen
                 : bitmap_group(f.number)   ? &bitmap_seen
                 : metafile_group(f.number) ? &metafile_seen
                                            : nullptr;
    if (seen) {
      const bool first = !*seen;
      *seen = true;
      if (!first) continue;
      if ((text_main && seen == &text_seen) || (bitmap_main && seen == &bitmap_seen)) {
        plan.push_back({f.number, {}, FormatRole::Main, nullptr});
        continue;
      }
      // CF_BITMAP first: the system makes CF_DIB from it, and that is what is kept.
      if (f.number == cf::kBitmap && filter.keeps("CF_DIB")) plan.push_back({cf::kDib, {}, FormatRole::Data, nullptr});
      if (f.number == cf::kMetafilePict) continue;  // a handle inside a block: left to the system
    }
    if (!restorable(f.number)) continue;
    const std::string name = f.number >= cf::kFirstRegistered ? f.name : std::string();
    if (f.number >= cf::kFirstRegistered && name.empty()) continue;  // a name is how it comes back
    if (!filter.keeps(format_label(f.number, name))) continue;
    plan.push_back({f.number, name, FormatRole::Data, nullptr});
  }
  return plan;
}

std::optional<std::vector<std::string>> drop_file_names(std::string_view block) {
  // DROPFILES: pFiles (offset of the list), a point, fNC, fWide; then the
  // names, each ended by a NUL, the list by a second one.
  constexpr std::size_t kHeader = 20;
  if (block.size() < kHeader) return std::nullopt;
  const uint32_t offset = get32(block, 0);
  const bool wide = get32(block, 16) != 0;
  if (offset < kHeader || offset > block.size()) return std::nullopt;
  std::vector<std::string> names;
  std::size_t at = offset;
  if (wide) {
    std::u16string name;
    while (at + 2 <= block.size()) {
      char16_t c;
      std::memcpy(&c, block.data() + at, 2);
      at += 2;
      if (c != 0) {
        name.push_back(c);
        continue;
      }
      if (name.empty()) return names;
      names.push_back(utf16_to_utf8(name));
      name.clear();
    }
  } else {
    std::string name;
    while (at < block.size()) {
      const char c = block[at++];
      if (c != 0) {
        name.push_back(c);
        continue;
      }
      if (name.empty()) return names;
      names.push_back(std::move(name));
      name.clear();
    }
  }
  // No closing NUL: the names whole so far stand, a cut one does not.
  if (names.empty()) return std::nullopt;
  return names;
}

std::string make_drop_files(const std::vector<std::string>& names) {
  std::string block(20, '\0');
  const uint32_t offset = 20, wide = 1;
  std::memcpy(block.data(), &offset, 4);
  std::memcpy(block.data() + 16, &wide, 4);
  for (const std::string& name : names) {
    block += utf16_to_bytes(utf8_to_utf16(name));
    block.append(2, '\0');
  }
  block.append(2, '\0');
  return block;
}

std::string files_preview(const std::vector<std::string>& names) {
  if (names.empty()) return "0 files";
  constexpr std::size_t kNamed = 200;  // characters of names the line holds
  auto leaf = [](std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
  };
  std::string line = std::to_string(names.size()) + (names.size() == 1 ? " file: " : " files: ");
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) line += ", ";
    if (line.size() > kNamed) {
      line += "...";
      break;
    }
    line += leaf(names[i]);
  }
  const std::string_view first = names.front();
  const std::size_t slash = first.find_last_of("\\/");
  if (slash != std::string_view::npos && slash > 0) line += " (" + std::string(first.substr(0, slash)) + ")";
  return line;
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

bool names_the_files(std::string_view name) {
  for (std::string_view shell : {"Shell IDList Array", "FileName", "FileNameW", "FileGroupDescriptor",
                                 "FileGroupDescriptorW", "FileContents", "Shell Object Offsets"}) {
    if (name == shell) return true;
  }
  return false;
}

}  // namespace kestrin
