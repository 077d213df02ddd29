#include "history/history_store_win.h"

#include <memory>
#include <new>

#include "raii_win.h"
#include "res/resource.h"
#include "wide_win.h"

namespace kestrin {

namespace {

bool write_all(HANDLE file, std::string_view bytes) { return write_whole(file, bytes.data(), bytes.size()); }

// A mapped view of a whole file, unmapped when the last entry viewing it goes.
struct FileView {
  const void* base = nullptr;
  std::string_view bytes;
  ~FileView() {
    if (base) UnmapViewOfFile(base);
  }
};

std::string last_error_text() { return system_error_text(GetLastError()); }

// A whole file mapped for reading, kept mapped while anyone holds the view (an
// empty file gives an empty view); nothing, with the error in `error`, when it
// cannot be. The loader's entries view the history where it lies, and a
// compaction reads its new file back the same way.
std::optional<std::shared_ptr<const std::string_view>> map_for_reading(const std::wstring& path, DWORD share,
                                                                      DWORD& error) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    error = GetLastError();
    return std::nullopt;
  }
  auto view = std::make_shared<FileView>();
  if (size.QuadPart > 0) {
    UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping) view->base = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view->base) {
      error = GetLastError();
      return std::nullopt;
    }
    view->bytes = std::string_view(static_cast<const char*>(view->base), static_cast<std::size_t>(size.QuadPart));
  }
  return std::shared_ptr<const std::string_view>(view, &view->bytes);
}

}  // namespace

std::string system_error_text(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said = n && text ? narrow(std::wstring_view(text, n)) : std::string();
  if (text) LocalFree(text);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' || said.back() == '.')) {
    said.pop_back();
  }
  return said.empty() ? "error " + std::to_string(error) : said;
}

StoreLoad load_history_file(const std::wstring& path, HistoryLimits limits, AnsiDecoder decode) {
  StoreLoad result;
  result.model = History(limits, decode);
  try {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return result;  // Missing
      result.outcome = StoreLoad::Outcome::Unusable;
      result.reason = system_error_text(error);
      return result;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      result.outcome = StoreLoad::Outcome::Unusable;
      result.reason = "a folder of that name is in its place";
      return result;
    }
    // The entries view the file where it lies: the system brings pages in as
    // they are read. A compaction first gives them bytes of their own.
    DWORD error = 0;
    const auto mapped = map_for_reading(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, error);
    if (!mapped) {
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return result;
      result.outcome = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                           ? StoreLoad::Outcome::Busy
                           : StoreLoad::Outcome::Unusable;
      result.reason = system_error_text(error);
      return result;
    }
    result.outcome = StoreLoad::Outcome::Read;
    const std::shared_ptr<const std::string_view>& bytes = *mapped;
    if (bytes->empty()) return result;
    HistoryLoad load = read_history(*bytes, bytes);
    if (load.newer) {
      result.outcome = StoreLoad::Outcome::Newer;
      return result;
    }
    result.version = load.version ? load.version : kHistoryVersion;
    if (load.version && load.whole_end < bytes->size()) result.cut_at = load.whole_end;
    if (load.foreign) result.cut_at = 0;  // rewritten as a history from its first byte
    result.damaged = load.damaged;
    result.damaged_bytes = load.damaged_bytes;
    result.foreign = load.foreign;
    result.kept = std::move(load.kept);
    result.records = load.records.size();
    for (const HistoryRecord& record : load.records) {
      result.record_bytes += record_size(record, result.version);
    }
    result.model.replay(load.records);
    result.expired = result.model.enforce_limit();
  } catch (const std::bad_alloc&) {
    result.model = History(limits, decode);
    result.kept.clear();
    result.outcome = StoreLoad::Outcome::Unusable;
    result.reason = "there is not enough memory to read it";
  }
  return result;
}

// -- The writer --------------------------------------------------------------

HistoryWriter::HistoryWriter(std::wstring path, Start start, HWND report_to)
    : path_(std::move(path)), start_(start), report_to_(report_to), thread_([this] { run(); }) {}

HistoryWriter::~HistoryWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void HistoryWriter::append(std::vector<HistoryRecord> records) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Append, std::move(records), {}});
  }
  wake_.notify_all();
}

void HistoryWriter::compact(std::vector<HistoryRecord> records, std::vector<std::string> kept) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Compact, std::move(records), std::move(kept)});
  }
  wake_.notify_all();
}

void HistoryWriter::delete_file() {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Delete, {}, {}});
  }
  wake_.notify_all();
}

void HistoryWriter::flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return jobs_.empty() && !busy_; });
}

void HistoryWriter::report(Report::Kind kind, std::string reason) {
  reports_.put({kind, std::move(reason)});
  PostMessageW(report_to_, WM_KESTRIN_HISTORY_STORE, 0, 0);
}

bool HistoryWriter::open_for_append() {
  if (file_ != INVALID_HANDLE_VALUE) return true;
  file_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file_, &size)) return false;
  if (start_.cut_at && static_cast<uint64_t>(size.QuadPart) > *start_.cut_at) {
    // A record torn at the end (a crash, a full disk): appends go after the
    // last whole record, or the next load would drop them with the torn one.
    // (A file that was not a history at all is cut to nothing.)
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(*start_.cut_at);
    if (!SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) return false;
    size = end;
  }
  start_.cut_at.reset();
  if (size.QuadPart == 0) {
    start_ = {};  // a new file is written in this version
    return write_all(file_, history_file_header());
  }
  return true;
}

// Writes a record's head and bytes from where they lie.
static bool write_record(HANDLE file, const HistoryRecord& record, uint32_t version) {
  if (!write_all(file, record_head(record, version))) return false;
  for (const std::string_view piece : record_data(record, version)) {
    if (!write_all(file, piece)) return false;
  }
  return true;
}

bool HistoryWriter::write_records(const std::vector<HistoryRecord>& records) {
  for (const HistoryRecord& record : records) {
    // A file of an older format (not rewritten yet) has no place for an
    // entry of formats alone; it is kept in memory, and in the file once the
    // file is rewritten.
    if (start_.version < 3 && record.op == RecordOp::Add && record.entry.kind == EntryKind::Data) continue;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file_, {}, &start, FILE_END)) return false;
    if (!write_record(file_, record, start_.version)) {
      // A disk that filled up half way: the part written goes, so that the
      // records that come later are whole records after whole records.
      SetFilePointerEx(file_, start, nullptr, FILE_BEGIN);
      SetEndOfFile(file_);
      return false;
    }
  }
  return true;
}

bool HistoryWriter::write_compacted(const Job& job) {
  const std::wstring fresh = path_ + L".new";
  std::string why;
  {
    UniqueHandle out(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    bool written = out && write_all(out.get(), history_file_header());
    for (const HistoryRecord& record : job.records) {
      written = written && write_record(out.get(), record, kHistoryVersion);
    }
    for (const std::string& payload : job.kept) written = written && write_all(out.get(), frame_payload(payload));
    written = written && FlushFileBuffers(out.get());
    if (!written) why = last_error_text();
  }
  // Read back before it replaces anything: the new file must hold every record.
  if (why.empty()) {
    DWORD error = 0;
    const auto back = map_for_reading(fresh, FILE_SHARE_READ, error);
    const HistoryLoad check = back ? read_history(**back, *back) : HistoryLoad{};
    if (!back || check.damaged || check.foreign || check.version != kHistoryVersion ||
        check.records.size() != job.records.size() || check.kept.size() != job.kept.size()) {
      why = "the new file did not read back whole";
    }
  }
  // The old file stays whole until the new one replaces it in one step.
  if (why.empty() && !MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    why = last_error_text();
  }
  if (!why.empty()) {
    DeleteFileW(fresh.c_str());
    report(Report::Kind::CompactionFailed, why);
    return false;
  }
  start_ = {};
  report(Report::Kind::Compacted, {});
  return true;
}

void HistoryWriter::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      busy_ = false;
      idle_.notify_all();
      wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, everything written
      job = std::move(jobs_.front());
      jobs_.pop_front();
      busy_ = true;
    }
    auto close_file = [&] {
      if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
    };
    switch (job.kind) {
      case JobKind::Append:
        if (open_for_append() && write_records(job.records)) {
          // On the disk before the next copy: a crash of the system keeps it.
          FlushFileBuffers(file_);
        } else {
          const std::string why = last_error_text();
          close_file();
          if (!write_failed_) report(Report::Kind::WriteFailed, why);
          write_failed_ = true;
        }
        break;
      case JobKind::Compact:
        close_file();
        write_compacted(job);
        break;
      case JobKind::Delete:
        close_file();
        DeleteFileW(path_.c_str());
        start_ = {};
        break;
    }
  }
}

}  // namespace kestrin
