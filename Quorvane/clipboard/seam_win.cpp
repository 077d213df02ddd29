#include "clipboard/seam_win.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "utf.h"
#include "wide_win.h"

namespace kestrin {

namespace {

// The innermost close in progress on this thread.
struct Closing {
  bool wrote;
  bool notification_taken;
};
thread_local Closing* closing = nullptr;

std::atomic<int> own_reads{0};  // reads of the change reader holding the clipboard

}  // namespace

OwnClipboardRead::OwnClipboardRead() { ++own_reads; }
OwnClipboardRead::~OwnClipboardRead() { --own_reads; }

ClipboardSession::ClipboardSession(HWND owner, bool open, DWORD patience_ms) : open_(false) {
  constexpr DWORD kPauseMs = 5;
  constexpr DWORD kPatienceBehindOwnRead = 2000;
  const DWORD attempts = std::max<DWORD>(patience_ms / kPauseMs, 1);
  const DWORD attempts_behind_own_read = std::max(attempts, kPatienceBehindOwnRead / kPauseMs);
  if (!open) return;
  for (DWORD attempt = 0; !open_; ++attempt) {
    if (attempt >= attempts && (own_reads.load() == 0 || attempt >= attempts_behind_own_read)) break;
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

bool add_to_clipboard(ClipboardSession& session, UINT format, GlobalBlock& block) {
  if (!session.is_open() || !block) return false;
  if (SetClipboardData(format, block.get()) == nullptr) return false;
  block.release();
  return true;
}

bool add_metafile_to_clipboard(ClipboardSession& session, std::string_view bits) {
  if (!session.is_open() || bits.empty() || bits.size() > UINT_MAX) return false;
  HENHMETAFILE metafile = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), reinterpret_cast<const BYTE*>(bits.data()));
  if (!metafile) return false;
  if (SetClipboardData(CF_ENHMETAFILE, metafile) == nullptr) {
    DeleteEnhMetaFile(metafile);
    return false;
  }
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

namespace {

// The code page CF_TEXT is in: that of CF_LOCALE when the copy carries one.
UINT ansi_code_page_of_copy() {
  if (!IsClipboardFormatAvailable(CF_LOCALE)) return GetACP();
  ClipboardBytes locale(CF_LOCALE);
  const std::string_view block = locale ? locale.whole_block() : std::string_view();
  if (block.size() < sizeof(LCID)) return GetACP();
  LCID id = 0;
  std::memcpy(&id, block.data(), sizeof id);
  char page[16] = {};
  if (GetLocaleInfoA(id, LOCALE_IDEFAULTANSICODEPAGE, page, sizeof page) <= 0) return GetACP();
  const UINT number = static_cast<UINT>(std::strtoul(page, nullptr, 10));
  return number == 0 ? GetACP() : number;
}

// An ASCII text is the same in both formats, unit for byte.
bool same_ascii(std::u16string_view wide, std::string_view ansi) {
  if (wide.size() != ansi.size()) return false;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] != static_cast<unsigned char>(ansi[i])) return false;
  }
  return true;
}

// The ANSI code page's bytes for `wide`, with no character replaced or
// fitted; nothing as soon as a piece of it does not convert so (a text in
// another script is told at its first piece, not after converting it all).
std::optional<std::string> exact_ansi_of(std::u16string_view wide) {
  constexpr std::size_t kPiece = 1 << 16;
  std::string out;
  std::size_t at = 0;
  while (at < wide.size()) {
    std::size_t n = std::min(kPiece, wide.size() - at);
    if (at + n < wide.size() && wide[at + n - 1] >= 0xD800 && wide[at + n - 1] <= 0xDBFF) --n;
    BOOL lossy = FALSE;
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data() + at);
    const int length = static_cast<int>(n);
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source, length, nullptr, 0,
                                         nullptr, &lossy);
    if (size <= 0 || lossy) return std::nullopt;
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source, length, out.data() + before, size,
                        nullptr, &lossy);
    if (lossy) return std::nullopt;
    at += n;
  }
  return out;
}

// Whether the copy's program set CF_TEXT itself: it is listed before
// CF_UNICODETEXT, which the system then makes from it.
bool ansi_set_first() {
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (format == CF_TEXT) return true;
    if (format == CF_UNICODETEXT) return false;
  }
  return false;
}

}  // namespace

std::optional<TextValue> read_clipboard_text(const ClipboardSession& session) {
  if (!session.is_open()) return std::nullopt;
  return read_open_clipboard_text();
}

namespace {

// What follows an ANSI text in its block, kept when it is short.
void keep_tail(const ClipboardBytes& block, std::optional<std::string>* tail) {
  if (!tail) return;
  tail->reset();
  const std::string_view after = block.whole_block().substr(block.bytes().size());
  if (after.size() <= kKeptAnsiTail) tail->emplace(after);
}

}  // namespace

std::optional<TextValue> read_open_clipboard_text(std::optional<std::string>* ansi_tail) {
  if (ansi_tail) ansi_tail->reset();
  const bool has_ansi = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  const bool has_wide = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
  try {
    auto ansi_text = [has_ansi, ansi_tail]() -> std::optional<TextValue> {
      ClipboardBytes ansi(has_ansi ? CF_TEXT : 0);
      if (!ansi) return std::nullopt;
      keep_tail(ansi, ansi_tail);
      return TextValue{std::string(ansi.bytes()), false};
    };
    if (!has_wide) return ansi_text();
    // CF_TEXT can hold the text exactly only in this code page. The ANSI path
    // costs a look at the format list: a CF_TEXT its program set is the text
    // as it is (no conversion is read).
    const bool ansi_here = has_ansi && ansi_code_page_of_copy() == GetACP();
    if (ansi_here && ansi_set_first()) return ansi_text();
    ClipboardBytes wide_block(CF_UNICODETEXT);
    if (!wide_block) return ansi_text();
    // Read where it lies: the block stays locked while the view lives.
    const std::string_view raw = wide_block.whole_block();
    std::u16string_view wide(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
    wide = wide.substr(0, std::min(wide.size(), wide.find(u'\0')));
    if (ansi_here) {
      // CF_TEXT is read only when the text can be ANSI at all.
      const bool ascii = is_ascii(wide);
      const std::optional<std::string> converted =
          ascii ? std::optional<std::string>() : exact_ansi_of(wide);
      if (ascii || converted) {
        ClipboardBytes ansi(CF_TEXT);
        if (ansi && (ascii ? same_ascii(wide, ansi.bytes()) : *converted == ansi.bytes())) {
          keep_tail(ansi, ansi_tail);
          return TextValue{std::string(ansi.bytes()), false};
        }
      }
    }
    return TextValue{utf16_to_utf8(wide), true};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

UINT text_format(const TextValue& text) { return text.unicode ? CF_UNICODETEXT : CF_TEXT; }

GlobalBlock make_value_block(const TextValue& text) {
  if (!text.unicode) return make_text_block(text.bytes);
  const std::u16string wide = utf8_to_utf16(text.bytes);
  GlobalBlock block = GlobalBlock::allocate((wide.size() + 1) * sizeof(char16_t));
  if (!block) return block;
  LockedBlock bytes(block.get());
  if (!bytes) return GlobalBlock();
  std::memcpy(bytes.data(), wide.data(), wide.size() * sizeof(char16_t));
  std::memset(bytes.data() + wide.size() * sizeof(char16_t), 0, sizeof(char16_t));
  return block;
}

bool write_clipboard_value(HWND owner, const TextValue& text) {
  GlobalBlock block;
  try {
    block = make_value_block(text);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!block) return false;
  ClipboardSession session(owner);
  return put_on_clipboard(session, text_format(text), block);
}

std::optional<std::string> exact_ansi(std::string_view utf8) {
  const std::wstring wide = widen(utf8);
  return exact_ansi_of(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string ansi_to_utf8(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return std::string();
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return std::string();
  std::u16string wide(static_cast<std::size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                      size);
  return utf16_to_utf8(wide);
}

}  // namespace kestrin
