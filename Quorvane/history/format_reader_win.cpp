#include "history/format_reader_win.h"
#include "clipboard/seam_win.h"

#include <cstring>
#include <new>
#include <thread>

#include "history/formats.h"
#include "res/resource.h"

namespace kestrin {

namespace {

// One format's bytes, read while the clipboard is open: a memory block's, or
// the enhanced metafile's bits. None when the program did not hand it over;
// `over` (and nothing copied) when it is larger than `room`.
std::optional<std::string> read_format(uint32_t number, uint64_t room, bool& over) {
  over = false;
  HANDLE handle = GetClipboardData(number);
  if (!handle) return std::nullopt;
  if (number == cf::kEnhMetafile) {
    const auto metafile = static_cast<HENHMETAFILE>(handle);
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    if (size == 0) return std::nullopt;
    if (size > room) {
      over = true;
      return std::nullopt;
    }
    std::string bits(size, '\0');
    if (GetEnhMetaFileBits(metafile, size, reinterpret_cast<BYTE*>(bits.data())) != size) return std::nullopt;
    return bits;
  }
  const SIZE_T size = GlobalSize(handle);
  if (size > room) {
    over = true;
    return std::nullopt;
  }
  const void* data = size ? GlobalLock(handle) : nullptr;
  if (!data) return std::nullopt;
  std::string bytes(static_cast<const char*>(data), size);
  GlobalUnlock(handle);
  return bytes;
}

void read_all(FormatReading& reading, uint32_t sequence, uint64_t budget) {
  {
    std::lock_guard lock(reading.mutex);
    reading.started = true;
    reading.since = GetTickCount64();
  }
  // Another program may hold the clipboard for a moment.
  const WorkerClipboardWindow window;
  bool open = false;
  for (int attempt = 0; attempt < 200 && !(open = OpenClipboard(window.get())); ++attempt) Sleep(1);
  if (!open) return;
  const bool same_copy = GetClipboardSequenceNumber() == sequence;
  uint64_t used = 0;
  for (std::size_t i = 0; same_copy; ++i) {
    uint32_t number = 0;
    {
      std::lock_guard lock(reading.mutex);
      if (reading.given_up || i >= reading.formats.size()) break;
      reading.since = GetTickCount64();
      const KeptFormat& f = reading.formats[i];
      if (f.role != FormatRole::Data) continue;
      number = f.number;
    }
    // A list of files is kept whatever the rest weighs (the names are small).
    constexpr uint64_t kListRoom = uint64_t{64} << 20;
    const uint64_t room = number == cf::kHDrop ? kListRoom : (budget > used ? budget - used : 0);
    std::optional<std::string> bytes;
    bool over = false;
    try {
      bytes = read_format(number, room, over);
    } catch (const std::bad_alloc&) {
      bytes.reset();
    }
    std::lock_guard lock(reading.mutex);
    KeptFormat& f = reading.formats[i];
    if (over) {
      f.role = FormatRole::OverLimit;
    } else if (!bytes) {
      f.role = FormatRole::Late;
    } else {
      used += bytes->size();
      f.data = share_bytes(std::move(*bytes));
    }
  }
  CloseClipboard();
}

}  // namespace

FormatReader::~FormatReader() {
  if (!queue_) return;
  std::lock_guard lock(queue_->mutex);
  queue_->stop = true;
  queue_->wake.notify_all();
}

void FormatReader::replace_thread() { start_thread(); }

void FormatReader::start_thread() {
  auto fresh = std::make_shared<Queue>();
  if (queue_) {
    // The old thread ends when the program it waits on lets it go, and reads
    // nothing more; the new one takes the copies it had not begun.
    std::lock_guard lock(queue_->mutex);
    fresh->jobs = std::move(queue_->jobs);
    queue_->jobs.clear();
    queue_->stop = true;
    queue_->wake.notify_all();
  }
  queue_ = std::move(fresh);
  // Detached: it holds its queue (and the readings in it) alive until it ends.
  std::thread([queue = queue_, notify = notify_] {
    for (;;) {
      Job job;
      {
        std::unique_lock lock(queue->mutex);
        queue->wake.wait(lock, [&] { return queue->stop || !queue->jobs.empty(); });
        if (queue->stop) return;
        job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
      }
      read_all(*job.reading, job.sequence, job.budget);
      {
        std::lock_guard lock(job.reading->mutex);
        job.reading->finished = true;
      }
      PostMessageW(notify, WM_KESTRIN_HISTORY_FORMATS, 0, 0);
    }
  }).detach();
}

std::shared_ptr<FormatReading> FormatReader::read(uint32_t sequence, std::vector<KeptFormat> plan, uint64_t budget) {
  auto reading = std::make_shared<FormatReading>();
  reading->formats = std::move(plan);
  if (!queue_) start_thread();
  std::lock_guard lock(queue_->mutex);
  queue_->jobs.push_back({reading, sequence, budget});
  queue_->wake.notify_one();
  return reading;
}

std::optional<std::vector<KeptFormat>> take_formats(FormatReading& reading, std::optional<ULONGLONG> now,
                                                    bool* stuck) {
  std::lock_guard lock(reading.mutex);
  if (now && !reading.finished && (!reading.started || *now - reading.since < kFormatWaitMs)) return std::nullopt;
  reading.given_up = true;
  if (stuck) *stuck = !reading.finished;
  std::vector<KeptFormat> formats = reading.formats;
  for (KeptFormat& f : formats) {
    if (f.role == FormatRole::Data && !f.data) f.role = FormatRole::Late;
  }
  return formats;
}

}  // namespace kestrin
