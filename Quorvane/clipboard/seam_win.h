// The one way into the system clipboard and the global memory blocks it trades in.
//
// Ownership: a GlobalBlock frees its block unless the block was handed to the
// clipboard (SetClipboardData), from which point the system owns it.
#pragma once

#include <windows.h>

#include "raii_win.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "clipboard/change_rules.h"
#include "text_value.h"

namespace kestrin {

class GlobalBlock;

// An open clipboard, closed again when the session ends. Another program may hold
// the clipboard for a moment (a reader polling it, say); opening tries again for
// a short, bounded while before giving up, so that a change is not skipped, or an
// accumulated append text dropped, for so little.
class ClipboardSession {
 public:
  // `open` false: a session that is not open (nothing to read, as when the
  // clipboard is busy). A thread that may wait (a worker's) gives a longer
  // `patience_ms`.
  explicit ClipboardSession(HWND owner, bool open = true, DWORD patience_ms = 100);
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  ~ClipboardSession() { close(); }
  bool is_open() const { return open_; }
  // Empties the clipboard: this session now writes it.
  void empty();
  // Closes now; the notification of a write arrives before this returns.
  void close();

 private:
  friend bool put_on_clipboard(ClipboardSession& session, UINT format, GlobalBlock& block);
  bool open_;
  bool wrote_ = false;
};

// A read of the clipboard by another thread of the program (the change
// reader) while this object lives. A session of any other thread that finds
// the clipboard held tries again for up to two seconds while such a read
// holds it: the read takes a moment, and gives the clipboard back.
class OwnClipboardRead {
 public:
  OwnClipboardRead();
  OwnClipboardRead(const OwnClipboardRead&) = delete;
  OwnClipboardRead& operator=(const OwnClipboardRead&) = delete;
  ~OwnClipboardRead();
};

// A message-only window of the calling thread for a worker's clipboard
// sessions to open with. One opened with no window is told apart from
// another only by its thread, and Wine does not tell them apart at all: a
// worker that opened with none could get in while another program that
// opened with none was between emptying the clipboard and setting its data.
class WorkerClipboardWindow {
 public:
  WorkerClipboardWindow()
      : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  HWND get() const { return window_.get(); }

 private:
  UniqueWindow window_;
};

// Where a change notification comes from, as far as this thread's clipboard
// sessions tell.
ChangeSource classify_change_notification();

// A movable global block (GMEM_DDESHARE) that the program owns.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  GlobalBlock(GlobalBlock&& other) noexcept : handle_(other.release()) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept;
  ~GlobalBlock();

  // A new block of `size` bytes; an empty GlobalBlock when the system refuses.
  static GlobalBlock allocate(std::size_t size);
  HGLOBAL get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  HGLOBAL release();

 private:
  HGLOBAL handle_ = nullptr;
};

// The bytes of a block, locked while this object lives.
class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL block);
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  ~LockedBlock();
  char* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  HGLOBAL block_;
  char* data_;
  std::size_t size_;
};

// The bytes of one clipboard format, locked while this view lives. The clipboard
// is open. A text format ends at its first NUL, or at its block's end when it
// has none; any other format is its whole block (a DIB with its size).
class ClipboardBytes {
 public:
  explicit ClipboardBytes(UINT format);
  ClipboardBytes(const ClipboardBytes&) = delete;
  ClipboardBytes& operator=(const ClipboardBytes&) = delete;
  explicit operator bool() const { return static_cast<bool>(block_); }
  std::string_view bytes() const { return bytes_; }
  // The whole block, slack after a text's NUL included.
  std::string_view whole_block() const { return {block_.data(), block_.size()}; }

 private:
  LockedBlock block_;
  std::string_view bytes_;
};

// The clipboard text and its kind: the one reader that decides it. CF_TEXT's
// bytes when they hold the text exactly (pure ASCII, or CF_UNICODETEXT that
// converts to the ANSI code page with no default character and gives those
// very bytes); otherwise CF_UNICODETEXT as UTF-8, which also reads a CF_TEXT
// copy tagged by CF_LOCALE with another code page right. Up to the text's
// first NUL, never past its block. Nothing when the session is not open, there
// is no text, or no room for it.
std::optional<TextValue> read_clipboard_text(const ClipboardSession& session);
// The same, when the caller holds the clipboard open (nothing when it does not).
// For an ANSI text, `ansi_tail` gets what follows the text in its CF_TEXT
// block (its NUL first), when that is no longer than kKeptAnsiTail: a long
// text's command then needs no second read of the block.
inline constexpr std::size_t kKeptAnsiTail = 64 * 1024;
std::optional<TextValue> read_open_clipboard_text(std::optional<std::string>* ansi_tail = nullptr);

// The clipboard format a value is written in: CF_TEXT or CF_UNICODETEXT.
UINT text_format(const TextValue& text);
// A block in the value's own format, with its terminating NUL.
GlobalBlock make_value_block(const TextValue& text);
// The write of every text command for a value: new block, open, empty, set, close.
bool write_clipboard_value(HWND owner, const TextValue& text);

// UTF-8 in the ANSI code page when it converts there exactly (no best fit, no
// default character); nothing otherwise.
std::optional<std::string> exact_ansi(std::string_view utf8);
// ANSI bytes (CF_TEXT, the INI's strings) as UTF-8.
std::string ansi_to_utf8(std::string_view bytes);


// Whether the copy is marked as not for monitors or history (password managers
// mark theirs): the format "ExcludeClipboardContentFromMonitorProcessing" or
// "Clipboard Viewer Ignore" at all, or "CanIncludeInClipboardHistory" holding
// the DWORD 0. The clipboard is open.
bool holds_private_content();

// Empties the clipboard and hands it the block in `format`. On success the block
// belongs to the system; on failure it stays with the caller.
bool put_on_clipboard(ClipboardSession& session, UINT format, GlobalBlock& block);

// Adds one more format to what this session has written (after put_on_clipboard,
// or after empty()).
bool add_to_clipboard(ClipboardSession& session, UINT format, GlobalBlock& block);
// Adds CF_ENHMETAFILE made from a metafile's bits.
bool add_metafile_to_clipboard(ClipboardSession& session, std::string_view bits);

// A new block holding `text` and a terminating NUL.
GlobalBlock make_text_block(std::string_view text);

// The write sequence of every text command: new block, open, empty, set, close.
bool write_clipboard_text(HWND owner, std::string_view text);

}  // namespace kestrin
