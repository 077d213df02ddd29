// Copies between files and the clipboard.
#pragma once

#include <windows.h>

namespace kestrin {

// Puts the whole file, byte for byte and followed by a zero, on the clipboard as
// CF_TEXT. A file that cannot be opened or read, or is too large for a clipboard
// block, leaves the clipboard alone. Returns whether the clipboard was replaced.
bool copy_file_to_clipboard(HWND owner, const wchar_t* path);

}  // namespace kestrin
