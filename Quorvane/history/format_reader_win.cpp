#include "history/format_reader_win.h"

#include <cstring>
#include <new>
#include <thread>

#include "history/formats.h"
#include "res/resource.h"

namespace kestrin {

namespace {

// One format's bytes, read while the clipboard is open: a memory block's, or
// the enhanced metafile's bits. None when the program did not hand it over.
std::optional<std::string> read_format(uint32_t number) {
  HANDLE handle = GetClipboardData(number);
  if (!handle) return std::nullopt;
  if (number == cf::kEnhMetafile) {
    const auto metafile = static_cast<HENHMETAFILE>(handle);
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    if (size == 0) return std::nullopt;
    std::string bits(size, '\0');
    if (GetEnhMetaFileBits(metafile, size, reinterpret_cast<BYTE*>(bits.data())) != size) return std::nullopt;
    return bits;
  }
  const SIZE_T size = GlobalSize(handle);
  const void* data = size ? GlobalLock(handle) : nullptr;
  if (!data) return std::nullopt;
  std::string bytes(static_cast<const char*>(data), size);
  GlobalUnlock(handle);
  return bytes;
}

void read_all(FormatReading& reading, uint32_t sequence, uint64_t budget) {
  // Another program may hold the clipboard for a moment.
  bool open = false;
  for (int attempt = 0; attempt < 20 && !(open = OpenClipboard(nullptr)); ++attempt) Sleep(10);
  if (!open) return;
  const bool same_copy = GetClipboardSequenceNumber() == sequence;
  uint64_t used = 0;
  for (std::size_t i = 0; same_copy; ++i) {
    uint32_t number = 0;
    {
      std::lock_guard lock(reading.mutex);
      if (reading.given_up || i >= reading.formats.size()) break;
      reading.next = i;
      reading.since = GetTickCount64();
      const KeptFormat& f = reading.formats[i];
      if (f.role != FormatRole::Data) continue;
      number = f.number;
    }
    std::optional<std::string> bytes;
    try {
      bytes = read_format(number);
    } catch (const std::bad_alloc&) {
      bytes.reset();
    }
    std::lock_guard lock(reading.mutex);
    KeptFormat& f = reading.formats[i];
    if (!bytes) {
      f.role = FormatRole::Late;
    } else if (used + bytes->size() > budget && number != cf::kHDrop) {
      f.role = FormatRole::OverLimit;
    } else {
      used += bytes->size();
      f.data = share_bytes(std::move(*bytes));
    }
  }
  CloseClipboard();
}

}  // namespace

std::shared_ptr<FormatReading> start_reading_formats(HWND notify, uint32_t sequence, std::vector<KeptFormat> plan,
                                                     uint64_t budget) {
  auto reading = std::make_shared<FormatReading>();
  reading->formats = std::move(plan);
  reading->since = GetTickCount64();
  // Detached: a program that never hands its format over keeps this thread,
  // not the program, waiting; it holds the reading alive until it returns.
  std::thread([reading, notify, sequence, budget] {
    read_all(*reading, sequence, budget);
    {
      std::lock_guard lock(reading->mutex);
      reading->finished = true;
    }
    PostMessageW(notify, WM_KESTRIN_HISTORY_FORMATS, 0, 0);
  }).detach();
  return reading;
}

std::optional<std::vector<KeptFormat>> take_formats(FormatReading& reading, ULONGLONG now) {
  std::lock_guard lock(reading.mutex);
  if (!reading.finished && now - reading.since < kFormatWaitMs) return std::nullopt;
  reading.given_up = true;
  std::vector<KeptFormat> formats = reading.formats;
  for (KeptFormat& f : formats) {
    if (f.role == FormatRole::Data && !f.data) f.role = FormatRole::Late;
  }
  return formats;
}

}  // namespace kestrin
