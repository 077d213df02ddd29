#include "files/file_clipboard_win.h"

#include "clipboard/seam_win.h"

#include <new>
#include <string>

#include "text_format.h"
#include "utf.h"
#include "raii_win.h"

namespace kestrin {

bool copy_file_to_clipboard(HWND owner, const wchar_t* path) {
  UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxClipboardFileSize) {
    return false;
  }
  const auto length = static_cast<std::size_t>(size.QuadPart);
  GlobalBlock block = GlobalBlock::allocate(length + 1);
  if (!block) return false;
  {
    LockedBlock bytes(block.get());
    if (!bytes) return false;
    std::size_t done = 0;
    while (done < length) {
      DWORD chunk = static_cast<DWORD>(
          length - done < (1u << 30) ? length - done : (1u << 30));
      DWORD read = 0;
      if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr) || read == 0) {
        return false;  // the file shrank or failed: keep the clipboard as it was
      }
      done += read;
    }
    bytes.data()[length] = '\0';
  }
  // The file's bytes stay CF_TEXT, as they are; a file that holds Unicode text
  // (a byte order mark, or UTF-8 beyond ASCII) gives its text as
  // CF_UNICODETEXT first, so that every reader (this program's own included)
  // takes that text and not the bytes read in the ANSI code page.
  GlobalBlock unicode;
  try {
    LockedBlock bytes(block.get());
    std::string utf8;
    if (bytes && decode_file_text({bytes.data(), length}, utf8)) {
      unicode = make_value_block(TextValue{std::move(utf8), true});
    }
  } catch (const std::bad_alloc&) {
    unicode = GlobalBlock();  // the bytes alone, then
  }
  ClipboardSession session(owner);
  if (!unicode) return put_on_clipboard(session, CF_TEXT, block);
  if (!put_on_clipboard(session, CF_UNICODETEXT, unicode)) return false;
  add_to_clipboard(session, CF_TEXT, block);
  return true;
}

}  // namespace kestrin
