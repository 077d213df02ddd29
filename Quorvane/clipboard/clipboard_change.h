// One clipboard change as the monitor read it, once, in one open clipboard:
// the value every step after the read works on (the analysis, the append join,
// the cleanup, the history), so that none of them opens the clipboard again.
// Platform-free; format numbers are the system's own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text_value.h"

namespace kestrin {

// Whether the copy's program marked it as not for monitors or history. Unknown:
// the clipboard could not be opened to read the mark.
enum class Privacy : uint8_t { Public, Private, Unknown };

struct ClipboardChange {
  uint32_t sequence = 0;  // the clipboard's sequence number when it was read
  SharedText text;        // the text in its kind; none: no text, or hidden
  // CF_DIB of a copy without text (none for a hidden one): the whole block, or
  // its first bytes only when it is larger than the monitor keeps.
  std::shared_ptr<const std::string> dib;
  uint64_t dib_bytes = 0;  // the whole block's size
  Privacy privacy = Privacy::Unknown;
  std::vector<uint32_t> formats;  // present, in the clipboard's order

  // Not shown beyond that there is something, not joined, cleaned up or
  // recorded: marked private, or its mark could not be read (a private copy
  // must never be shown because the clipboard was busy).
  bool hidden() const { return privacy != Privacy::Public; }
  bool has(uint32_t format) const { return std::find(formats.begin(), formats.end(), format) != formats.end(); }
  bool dib_whole() const { return dib && dib->size() == dib_bytes; }
};

}  // namespace kestrin
