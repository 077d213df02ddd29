// The clipboard text as the program works on it: ANSI bytes when CF_TEXT holds
// the text exactly, otherwise the Unicode text as UTF-8. The clipboard seam
// decides the kind once per change; the value travels with its kind, and a text
// is written back in the kind it was read in. Platform-free.
#pragma once

#include <memory>
#include <string>

namespace kestrin {

struct TextValue {
  std::string bytes;     // up to the text's first NUL
  bool unicode = false;  // the bytes are UTF-8 (the clipboard's CF_UNICODETEXT)
  bool operator==(const TextValue&) const = default;
};

// A text read once and shared by whoever needs it after the change.
using SharedText = std::shared_ptr<const TextValue>;

}  // namespace kestrin
