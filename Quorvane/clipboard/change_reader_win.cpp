#include "clipboard/change_reader_win.h"
#include "clipboard/seam_win.h"

#include <algorithm>
#include <new>
#include <span>
#include <system_error>
#include <thread>

#include "clipboard/dib.h"
#include "raii_win.h"
#include "res/resource.h"

namespace kestrin {

namespace {

void read_change(ChangeRead& read, bool history_on, std::size_t line_limit) {
  {
    // Another program (or the history's reader) may hold it a moment.
    const WorkerClipboardWindow window;
    ClipboardSession session(window.get(), true, 500);
    read.opened = session.is_open();
    if (!read.opened) return;
    const OwnClipboardRead holding;  // the window's sessions wait for it
    read.sequence = GetClipboardSequenceNumber();
    read.hidden = holds_private_content();
    read.formats = present_formats();
    if (!read.hidden) {
      try {
        if (std::optional<TextValue> text = read_open_clipboard_text(&read.ansi_tail)) {
          read.text = std::make_shared<const TextValue>(std::move(*text));
        }
        if (IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_BITMAP)) {
          read_change_dib(read.text != nullptr, history_on, read.dib, read.dib_bytes);
        }
      } catch (const std::bad_alloc&) {
        read.text.reset();
        read.dib.reset();
      }
    }
  }
  if (read.text && read.text->bytes.size() >= kAnalysedOnReader) {
    try {
      read.prepared = prepare_text(read.text, line_limit);
    } catch (const std::bad_alloc&) {
      read.prepared.reset();  // analysed by the window then
    }
  }
}

}  // namespace

std::vector<uint32_t> present_formats() {
  std::vector<uint32_t> formats;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    formats.push_back(format);
  }
  return formats;
}

void read_change_dib(bool has_text, bool history_on, std::shared_ptr<const std::string>& dib,
                     uint64_t& dib_bytes) {
  constexpr std::size_t kKeptDib = std::size_t{1} << 30;
  constexpr std::size_t kDibHead = 4096;
  ClipboardBytes block(CF_DIB);
  if (!block) return;
  const std::string_view bytes = block.bytes();
  const std::span<const uint8_t> head{reinterpret_cast<const uint8_t*>(bytes.data()),
                                      std::min(bytes.size(), kDibHead)};
  // Its first bytes are all the analysis needs; the whole block (up to what
  // the monitor keeps) only for a copy without text that something will use
  // whole: the history records it, or the viewer draws it as its own preview.
  const bool whole = !has_text && bytes.size() <= kKeptDib && (history_on || !dib_drawable_whole(head));
  dib_bytes = bytes.size();
  dib = std::make_shared<const std::string>(bytes.substr(0, whole ? bytes.size() : kDibHead));
}

std::shared_ptr<ChangeRead> start_change_read(HWND window, bool history_on, std::size_t line_limit,
                                              DWORD wait_ms) {
  auto read = std::make_shared<ChangeRead>();
  // The reader's signal to the window that waits for it.
  auto wake = std::make_shared<UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  try {
    std::thread([read, wake, window, history_on, line_limit] {
      read_change(*read, history_on, line_limit);
      read->done = true;
      if (*wake) SetEvent(wake->get());
      PostMessageA(window, WM_KESTRIN_CHANGE_READ, 0, 0);
    }).detach();
  } catch (const std::system_error&) {
    read_change(*read, history_on, line_limit);  // no thread to be had: read here
    read->done = true;
    return read;
  }
  if (*wake) WaitForSingleObject(wake->get(), wait_ms);
  return read;
}

}  // namespace kestrin
