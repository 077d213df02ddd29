#include "files/file_clipboard_win.h"

#include "clipboard/seam_win.h"
#include "text_format.h"
#include "raii_win.h"

namespace kestrin {

bool copy_file_to_clipboard(HWND owner, const char* path) {
  UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
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
  ClipboardSession session(owner);
  return put_on_clipboard(session, CF_TEXT, block);
}

}  // namespace kestrin
