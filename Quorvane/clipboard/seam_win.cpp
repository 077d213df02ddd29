#include "clipboard/seam_win.h"

#include <cstring>
#include <new>
#include <utility>

namespace kestrin {

namespace {

// The innermost close in progress on this thread.
struct Closing {
  bool wrote;
  bool notification_taken;
};
thread_local Closing* closing = nullptr;

}  // namespace

ClipboardSession::ClipboardSession(HWND owner) : open_(false) {
  constexpr int kAttempts = 20;
  constexpr DWORD kPauseMs = 5;
  for (int attempt = 0; attempt < kAttempts && !open_; ++attempt) {
    if (attempt > 0) Sleep(kPauseMs);
    open_ = OpenClipboard(owner) != FALSE;
  }
}

void ClipboardSession::empty() {
  if (!open_) return;
  EmptyClipboard();
  wrote_ = true;
}

void ClipboardSession::close() {
  if (!open_) return;
  open_ = false;
  Closing state{wrote_, false};
  Closing* outer = std::exchange(closing, &state);
  CloseClipboard();
  closing = outer;
}

ChangeSource classify_change_notification() {
  if (!closing) return ChangeSource::Elsewhere;
  if (!closing->wrote) return ChangeSource::OwnRead;
  if (closing->notification_taken) return ChangeSource::Elsewhere;
  closing->notification_taken = true;
  return ChangeSource::OwnWrite;
}

GlobalBlock& GlobalBlock::operator=(GlobalBlock&& other) noexcept {
  if (this != &other) {
    if (handle_) GlobalFree(handle_);
    handle_ = other.release();
  }
  return *this;
}

GlobalBlock::~GlobalBlock() {
  if (handle_) GlobalFree(handle_);
}

GlobalBlock GlobalBlock::allocate(std::size_t size) {
  GlobalBlock block;
  block.handle_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
  return block;
}

HGLOBAL GlobalBlock::release() { return std::exchange(handle_, nullptr); }

LockedBlock::LockedBlock(HGLOBAL block)
    : block_(block),
      data_(block ? static_cast<char*>(GlobalLock(block)) : nullptr),
      size_(data_ ? GlobalSize(block) : 0) {}

LockedBlock::~LockedBlock() {
  if (data_) GlobalUnlock(block_);
}

ClipboardBytes::ClipboardBytes(UINT format)
    : block_(static_cast<HGLOBAL>(GetClipboardData(format))) {
  if (!block_) return;
  std::size_t size = block_.size();
  if (format == CF_TEXT || format == CF_OEMTEXT) {
    const void* nul = std::memchr(block_.data(), '\0', size);
    if (nul) size = static_cast<std::size_t>(static_cast<const char*>(nul) - block_.data());
  }
  bytes_ = std::string_view(block_.data(), size);
}

std::optional<std::string> copy_clipboard_text(const ClipboardSession& session) {
  if (!session.is_open() || !IsClipboardFormatAvailable(CF_TEXT)) return std::nullopt;
  ClipboardBytes text(CF_TEXT);
  if (!text) return std::nullopt;
  try {
    return std::string(text.bytes());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool holds_private_content() {
  static const UINT exclude = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
  static const UINT ignore = RegisterClipboardFormatA("Clipboard Viewer Ignore");
  static const UINT history = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
  if (IsClipboardFormatAvailable(exclude) || IsClipboardFormatAvailable(ignore)) return true;
  if (!IsClipboardFormatAvailable(history)) return false;
  ClipboardBytes allowed(history);
  const std::string_view value = allowed ? allowed.whole_block() : std::string_view();
  return value.size() >= 4 && value[0] == 0 && value[1] == 0 && value[2] == 0 && value[3] == 0;
}

bool put_on_clipboard(ClipboardSession& session, UINT format, GlobalBlock& block) {
  if (!session.is_open() || !block) return false;
  session.empty();
  if (SetClipboardData(format, block.get()) == nullptr) return false;
  block.release();  // the system owns it now
  return true;
}

GlobalBlock make_text_block(std::string_view text) {
  GlobalBlock block = GlobalBlock::allocate(text.size() + 1);
  if (!block) return block;
  LockedBlock bytes(block.get());
  if (!bytes) return GlobalBlock();
  std::memcpy(bytes.data(), text.data(), text.size());
  bytes.data()[text.size()] = '\0';
  return block;
}

bool write_clipboard_text(HWND owner, std::string_view text) {
  GlobalBlock block = make_text_block(text);
  if (!block) return false;
  ClipboardSession session(owner);
  return put_on_clipboard(session, CF_TEXT, block);
}

}  // namespace kestrin
