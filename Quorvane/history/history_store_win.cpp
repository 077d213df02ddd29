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

std::optional<HistoryKey> new_history_key() {
  std::optional<SecretKey> key = random_key();
  if (!key) return std::nullopt;
  std::optional<std::string> wrapped = wrap_for_user(key->view());
  HistoryKey made;
  if (!wrapped || !random_bytes(made.header.file_id.data(), made.header.file_id.size())) return std::nullopt;
  made.key = *key;
  made.header.wrapped_key = std::move(*wrapped);
  return made;
}

namespace {

// Writes the records sealed under `key` into a new file beside `path`, reads it
// back, and only then lets it replace `path` in one step. Returns why not.
std::string replace_with_sealed(const std::wstring& path, const HistoryKey& key,
                                const std::vector<HistoryRecord>& records, const std::vector<std::string>& kept) {
  const std::wstring fresh = path + L".new";
  const CngAead aead(key.key);
  std::string why;
  if (!aead.usable()) why = "the system's cipher is not available";
  if (why.empty()) {
    UniqueHandle out(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string head = sealed_file_header(key.header);
    bool written = out && write_all(out.get(), head);
    uint64_t at = head.size();
    auto put = [&](const std::string& sealed) {
      written = written && !sealed.empty() && write_all(out.get(), sealed);
      at += sealed.size();
    };
    for (const HistoryRecord& record : records) put(seal_record(aead, key.header, at, record));
    for (const std::string& payload : kept) put(seal_payload(aead, key.header, at, payload));
    written = written && FlushFileBuffers(out.get());
    if (!written) why = last_error_text();
  }
  // Read back before it replaces anything: the new file must hold every record.
  if (why.empty()) {
    DWORD error = 0;
    const auto back = map_for_reading(fresh, FILE_SHARE_READ, error);
    const HistoryLoad check = back ? read_history(**back, nullptr, &aead) : HistoryLoad{};
    if (!back || check.damaged || check.foreign || check.version != kSealedVersion ||
        check.records.size() != records.size() || check.kept.size() != kept.size()) {
      why = "the new file did not read back whole";
    }
  }  // its view goes before it replaces the old file
  if (why.empty() && !MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    why = last_error_text();
  }
  if (!why.empty()) DeleteFileW(fresh.c_str());
  return why;
}

// A name beside `path` for a file that is kept but no longer used.
std::wstring aside_name(const std::wstring& path) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t stamp[32];
  swprintf(stamp, 32, L"%04u-%02u-%02u %02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
           now.wSecond);
  const std::wstring base = path.size() > 4 ? path.substr(0, path.size() - 4) : path;
  return base + L" (another user, " + stamp + L").dat";
}

}  // namespace

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
    HistoryLoad load;
    std::shared_ptr<HistoryKey> key;
    uint64_t file_size = 0;
    {
      // Mapped while it is read only: each entry gets its bytes decrypted (or,
      // from a plain file, copied) into memory of its own.
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
      const std::string_view bytes = **mapped;
      file_size = bytes.size();
      if (bytes.empty()) {
        result.outcome = StoreLoad::Outcome::Read;
        return result;
      }
      if (auto header = read_sealed_header(bytes)) {
        if (std::optional<SecretKey> secret = unwrap_key_for_user(header->first.wrapped_key)) {
          key = std::make_shared<HistoryKey>(HistoryKey{*secret, header->first});
          const CngAead aead(key->key);
          if (!aead.usable()) {
            result.outcome = StoreLoad::Outcome::Unusable;
            result.reason = "the system's cipher is not available";
            return result;
          }
          load = read_history(bytes, nullptr, &aead);
        }
      } else {
        load = read_history(bytes);
      }
    }
    if (load.newer) {
      result.outcome = StoreLoad::Outcome::Newer;
      return result;
    }
    if (load.version == 0 && !load.foreign && !key) {
      // Sealed for another user, or on another machine: nothing of it can be
      // read here. It is kept as it is, under another name, and a new
      // history starts.
      result.set_aside = aside_name(path);
      if (!MoveFileExW(path.c_str(), result.set_aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
        result.outcome = StoreLoad::Outcome::Unusable;
        result.reason = "it was encrypted for another user or on another computer, and could not be set aside (" +
                        last_error_text() + ")";
        return result;
      }
      return result;  // Missing: a new one starts
    }
    result.outcome = StoreLoad::Outcome::Read;
    // A torn end: appends go after the last whole record.
    if (key && load.whole_end < file_size) result.cut_at = load.whole_end;
    if (load.foreign) result.cut_at = 0;  // rewritten as a history from its first byte
    result.damaged = load.damaged;
    result.damaged_bytes = load.damaged_bytes;
    result.foreign = load.foreign;
    result.kept = std::move(load.kept);
    result.records = load.records.size();
    result.version = load.version ? load.version : kSealedVersion;
    for (const HistoryRecord& record : load.records) {
      result.record_bytes += record_size(record, result.version);
    }
    result.model.replay(load.records);
    result.expired = result.model.enforce_limit();
    if (key) {
      result.key = std::move(key);
      return result;
    }
    // A plain file (or one that was no history at all) is replaced now by a
    // sealed one holding what it held: from here on nothing is written plain.
    std::optional<HistoryKey> fresh = new_history_key();
    if (!fresh) {
      result.outcome = StoreLoad::Outcome::Unusable;
      result.reason = "the system could not protect its key";
      return result;
    }
    if (load.version != 0) {
      const std::string why = replace_with_sealed(path, *fresh, result.model.snapshot(), result.kept);
      if (!why.empty()) {
        result.model = History(limits, decode);
        result.kept.clear();
        result.expired.clear();
        result.outcome = StoreLoad::Outcome::Plain;
        result.reason = why;
        return result;
      }
      // The new file is what the limit left, and holds live records only:
      // nothing in it to expire or compact again.
      result.expired.clear();
      result.records = 0;
      result.record_bytes = 0;
      result.cut_at.reset();
      result.version = kSealedVersion;
    }
    result.key = std::make_shared<HistoryKey>(std::move(*fresh));
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
  if (!start_.key) {
    // A new file: a key of its own.
    std::optional<HistoryKey> fresh = new_history_key();
    if (!fresh) {
      SetLastError(ERROR_ENCRYPTION_FAILED);
      return false;
    }
    start_.key = std::make_shared<HistoryKey>(std::move(*fresh));
    start_.cut_at = 0;
  }
  aead_.emplace(start_.key->key);
  if (!aead_->usable()) {
    SetLastError(ERROR_ENCRYPTION_FAILED);
    return false;
  }
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
  header_ = start_.key->header;
  if (size.QuadPart == 0) {
    header_.generation = 1;
    const std::string head = sealed_file_header(header_);
    end_ = head.size();
    return write_all(file_, head);
  }
  // This run's records are sealed in a generation of their own, on the disk
  // before the first of them: with the offsets, no nonce comes twice.
  header_.generation += 1;
  const std::string head = sealed_file_header(header_);
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(kGenerationAt);
  end_ = static_cast<uint64_t>(size.QuadPart);
  return SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) && write_all(file_, head.substr(kGenerationAt, 4)) &&
         FlushFileBuffers(file_);
}

bool HistoryWriter::write_records(const std::vector<HistoryRecord>& records) {
  for (const HistoryRecord& record : records) {
    const std::string sealed = seal_record(*aead_, header_, end_, record);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(end_);
    if (sealed.empty()) {
      SetLastError(ERROR_ENCRYPTION_FAILED);
      return false;
    }
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) || !write_all(file_, sealed)) {
      // A disk that filled up half way: the part written goes, so that the
      // records that come later are whole records after whole records.
      SetFilePointerEx(file_, at, nullptr, FILE_BEGIN);
      SetEndOfFile(file_);
      return false;
    }
    end_ += sealed.size();
  }
  return true;
}

bool HistoryWriter::write_compacted(const Job& job) {
  // A new file, a new key: nothing sealed under the old one is written again.
  std::optional<HistoryKey> fresh = new_history_key();
  std::string why = fresh ? replace_with_sealed(path_, *fresh, job.records, job.kept)
                          : std::string("the system could not protect its key");
  if (!why.empty()) {
    report(Report::Kind::CompactionFailed, why);
    return false;
  }
  start_ = {std::make_shared<HistoryKey>(std::move(*fresh)), std::nullopt};
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
        start_ = {};  // a new file, with a new key
        break;
    }
  }
}

}  // namespace kestrin
