// Paths and texts for the wide Windows functions. Inside the program a path is
// UTF-8; it meets the system only as UTF-16, never through a code page, where
// a best-fit conversion could turn a harmless character into a separator.
#pragma once

#include <string>
#include <string_view>

#include "utf.h"

namespace kestrin {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline std::wstring widen(std::string_view utf8) {
  const std::u16string wide = utf8_to_utf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string narrow(std::wstring_view wide) {
  return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace kestrin
