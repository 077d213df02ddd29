#include "history/sync_win.h"

#include <shlobj.h>

#include <algorithm>
#include <new>

#include "frame_win.h"
#include "history/history_store_win.h"
#include "history/history_win.h"
#include "res/resource.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr DWORD kRescanMs = 3000;  // a look at the folder without a notice
constexpr uint64_t kMostLogRead = uint64_t{2} << 30;
constexpr std::size_t kLogHeadRead = 64;

std::wstring data_path(const wchar_t* name) {
  std::wstring path = history_file_path();
  const std::size_t slash = path.rfind(L'\\');
  return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + name;
}

std::optional<std::string> read_small_file(const std::wstring& path, std::size_t most) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > most) {
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  if (!read_at(file.get(), 0, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

// Replaces a small file of the program's own in one step.
bool write_small_file(const std::wstring& path, std::string_view bytes) {
  const std::wstring fresh = path + L".new";
  {
    UniqueHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file || !write_whole(file.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.get())) {
      file.reset();
      DeleteFileW(fresh.c_str());
      return false;
    }
  }
  return MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string log_key_text(const LogId& id) {
  return "Kestrin log " + std::string(id.begin(), id.end());
}

std::string machine_name() {
  wchar_t name[256] = {};
  DWORD size = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) {
    size = 256;
    if (!GetComputerNameW(name, &size)) return "another computer";
  }
  return narrow(std::wstring_view(name, size));
}

LogPlaces read_places() {
  LogPlaces places;
  const std::optional<std::string> bytes = read_small_file(data_path(L"Share.state"), 16u << 20);
  if (!bytes) return places;
  std::size_t at = 0;
  while (at < bytes->size()) {
    std::size_t end = bytes->find('\n', at);
    if (end == std::string::npos) end = bytes->size();
    const std::string_view line = std::string_view(*bytes).substr(at, end - at);
    at = end + 1;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) continue;
    uint64_t offset = 0;
    bool number = tab2 > tab1 + 1 && tab2 - tab1 <= 20;
    for (std::size_t i = tab1 + 1; number && i < tab2; ++i) {
      number = line[i] >= '0' && line[i] <= '9';
      offset = offset * 10 + static_cast<uint64_t>(line[i] - '0');
    }
    if (number) places[std::string(line.substr(0, tab1))] = {offset, std::string(line.substr(tab2 + 1))};
  }
  return places;
}

void write_places(const LogPlaces& places) {
  std::string out;
  for (const auto& [key, place] : places) {
    std::string machine = place.machine;
    std::replace(machine.begin(), machine.end(), '\n', ' ');
    std::replace(machine.begin(), machine.end(), '\t', ' ');
    out += key + '\t' + std::to_string(place.offset) + '\t' + machine + '\n';
  }
  write_small_file(data_path(L"Share.state"), out);
}

bool same_bytes(const uint8_t* a, const uint8_t* b, std::size_t n) {
  uint8_t diff = 0;
  for (std::size_t i = 0; i < n; ++i) diff = static_cast<uint8_t>(diff | (a[i] ^ b[i]));
  return diff == 0;
}

}  // namespace

// -- The key kept for this user -------------------------------------------------

std::optional<ShareKey> load_share_key() {
  const std::optional<std::string> blob = read_small_file(data_path(L"Share.key"), 64 * 1024);
  std::optional<std::string> secret = blob ? unwrap_for_user(*blob) : std::nullopt;
  if (!secret) return std::nullopt;
  std::optional<ShareKey> share;
  constexpr std::size_t kHead = Aead::kKeySize + sizeof(LogId);
  if (secret->size() >= kHead && (secret->size() - kHead) % sizeof(wchar_t) == 0) {
    share.emplace();
    std::copy_n(secret->begin(), Aead::kKeySize, share->key.bytes.begin());
    std::copy_n(secret->begin() + Aead::kKeySize, sizeof(LogId), share->self.begin());
    share->folder.resize((secret->size() - kHead) / sizeof(wchar_t));
    std::copy_n(secret->data() + kHead, secret->size() - kHead, reinterpret_cast<char*>(share->folder.data()));
  }
  SecureZeroMemory(secret->data(), secret->size());
  return share;
}

bool store_share_key(const ShareKey& share) {
  std::string secret(share.key.view());
  secret.append(share.self.begin(), share.self.end());
  secret.append(reinterpret_cast<const char*>(share.folder.data()), share.folder.size() * sizeof(wchar_t));
  const std::optional<std::string> blob = wrap_for_user(secret);
  SecureZeroMemory(secret.data(), secret.size());
  return blob && write_small_file(data_path(L"Share.key"), *blob);
}

// -- The folder's thread ----------------------------------------------------------

ShareSync::ShareSync(ShareKey share, LogPlaces places, bool receive, HWND window)
    : share_(std::move(share)),
      places_(std::move(places)),
      receive_(receive),
      window_(window),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      thread_([this] { run(); }) {}

ShareSync::~ShareSync() {
  SetEvent(stop_.get());
  thread_.join();
}

void ShareSync::send(std::vector<LogChange> changes) {
  if (changes.empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (LogChange& change : changes) queued_.push_back(std::move(change));
  }
  SetEvent(wake_.get());
}

const CngAead* ShareSync::log_cipher(const LogId& id) {
  auto found = ciphers_.find(id);
  if (found == ciphers_.end()) {
    const std::optional<SecretKey> key = derived_key(share_.key, log_key_text(id));
    if (!key) return nullptr;
    found = ciphers_.emplace(id, std::make_unique<CngAead>(*key)).first;
  }
  return found->second->usable() ? found->second.get() : nullptr;
}

void ShareSync::problem(const std::wstring& file, const std::string& what) {
  if (named_[file]) return;
  named_[file] = true;
  SyncBatch batch;
  batch.problems.push_back("The shared history file \"" + narrow(file) + "\" in " + narrow(share_.folder) + " " +
                           what + ". The other machines' files are read as before.");
  batch.places = places_;
  batches_.put(std::move(batch));
  PostMessageW(window_, WM_KESTRIN_SYNC, 0, 0);
}

void ShareSync::run() {
  const DWORD notify = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
  UniqueHandle folder(CreateFileW(share_.folder.c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  UniqueHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = changed.get();
  alignas(DWORD) char notices[8192];
  auto watch = [&] {
    return receive_ && folder && changed &&
           ReadDirectoryChangesW(folder.get(), notices, sizeof notices, FALSE, notify, nullptr, &overlapped,
                                 nullptr) != FALSE;
  };
  bool watching = watch();
  bool first = true;
  for (;;) {
    write_queued();
    if (receive_ || first) scan(first);
    first = false;
    const HANDLE waits[] = {stop_.get(), wake_.get(), changed.get()};
    const DWORD woke = WaitForMultipleObjects(watching ? 3 : 2, waits, FALSE, kRescanMs);
    if (woke == WAIT_OBJECT_0) break;
    if (watching && woke == WAIT_OBJECT_0 + 2) {
      DWORD got = 0;
      GetOverlappedResult(folder.get(), &overlapped, &got, FALSE);
      ResetEvent(changed.get());
      watching = watch();
    }
  }
  if (watching) {
    CancelIoEx(folder.get(), &overlapped);
    DWORD got = 0;
    GetOverlappedResult(folder.get(), &overlapped, &got, TRUE);  // the buffer is the system's until then
  }
  write_queued();
}

void ShareSync::scan(bool first) {
  SyncBatch batch;
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = share_.folder + L"\\*" + widen(kLogSuffix);
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::wstring& name : names) {
    const std::wstring path = share_.folder + L"\\" + name;
    // A sync engine may hold it a moment: read on the next look.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) continue;
    const auto file_size = static_cast<uint64_t>(size.QuadPart);
    std::string head(static_cast<std::size_t>(std::min<uint64_t>(file_size, kLogHeadRead)), '\0');
    if (!read_at(file.get(), 0, head.data(), head.size())) continue;
    const auto header = read_sealed_header(head, kLogMagic);
    if (!header) {
      // One being created is still short; anything longer is not a log.
      if (file_size >= kLogHeadRead) problem(name, "is not a shared history log Kestrin can read");
      continue;
    }
    const bool own = header->first.file_id == share_.self;
    if (own && !first) continue;
    // This machine's own log is read whole (at start); another from where it stopped.
    LogPlace own_place;
    LogPlace& place = own ? own_place : places_[log_id_hex(header->first.file_id) + "|" + narrow(name)];
    uint64_t from = place.offset;
    // Read before, and now shorter (written anew by its owner): from its start.
    if (from < header->second || from > file_size) from = header->second;
    if (from == file_size || (file_size == place.seen_size && from == place.offset)) continue;
    place.seen_size = file_size;
    if (file_size - from > kMostLogRead) {
      problem(name, "is larger than Kestrin reads");
      continue;
    }
    const CngAead* aead = log_cipher(header->first.file_id);
    if (!aead) continue;
    std::string tail;
    try {
      tail.resize(static_cast<std::size_t>(file_size - from));
    } catch (const std::bad_alloc&) {
      continue;
    }
    if (!read_at(file.get(), from, tail.data(), tail.size())) continue;
    const SealedRead sealed = read_sealed(tail, from, header->first, *aead);
    LogRead log = parse_log(sealed);
    if (sealed.damaged || log.bad) problem(name, "is damaged in places; what could be read of it was taken");
    if (own) {
      for (LogChange& change : log.changes) batch.own.push_back(std::move(change));
      continue;
    }
    if (log.machine) place.machine = *log.machine;
    if (place.machine.empty()) place.machine = "another computer";
    for (LogChange& change : log.changes) batch.changes.emplace_back(place.machine, std::move(change));
    place.offset = sealed.whole_end;
  }
  if (batch.changes.empty() && batch.own.empty()) return;
  batch.places = places_;
  batches_.put(std::move(batch));
  PostMessageW(window_, WM_KESTRIN_SYNC, 0, 0);
}

void ShareSync::write_queued() {
  std::vector<LogChange> changes;
  {
    std::lock_guard lock(mutex_);
    changes = std::move(queued_);
    queued_.clear();
  }
  if (changes.empty()) return;
  auto keep_for_later = [&] {
    std::lock_guard lock(mutex_);
    queued_.insert(queued_.begin(), std::make_move_iterator(changes.begin()), std::make_move_iterator(changes.end()));
  };
  const std::wstring name = widen(log_id_hex(share_.self)) + widen(kLogSuffix);
  const std::wstring path = share_.folder + L"\\" + name;
  const CngAead* aead = log_cipher(share_.self);
  if (!aead) return;
  // Only this machine writes its log; a sync engine may hold it a moment.
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) {
    keep_for_later();
    return;
  }
  SealedHeader header;
  header.file_id = share_.self;
  uint64_t start = 0;  // where what is written goes
  std::string out;
  if (size.QuadPart == 0) {
    out = sealed_file_header(header, kLogMagic);
  } else {
    // The whole log the first time in a run (to find its last whole record),
    // its header after that.
    std::string bytes(static_cast<std::size_t>(std::min<uint64_t>(
                          static_cast<uint64_t>(size.QuadPart), own_checked_ ? kLogHeadRead : kMostLogRead)),
                      '\0');
    if (!read_at(file.get(), 0, bytes.data(), bytes.size())) {
      keep_for_later();
      return;
    }
    const auto head = read_sealed_header(bytes, kLogMagic);
    if (!head || head->first.file_id != share_.self) {
      problem(name, "is not this machine's log any more; nothing more is written to it");
      return;
    }
    header = head->first;
    start = static_cast<uint64_t>(size.QuadPart);
    if (!own_checked_) {
      // A run that ended in the middle of a record: this one goes on after the
      // last whole record, so that the readers find no damage.
      start = read_sealed(std::string_view(bytes).substr(head->second), head->second, header, *aead).whole_end;
    }
    // Every opening appends in a generation of its own, on the disk before the
    // first record of it: no nonce comes twice.
    header.generation += 1;
    const std::string generation = sealed_file_header(header, kLogMagic).substr(kGenerationAt, 4);
    LARGE_INTEGER place{};
    place.QuadPart = static_cast<LONGLONG>(kGenerationAt);
    if (!SetFilePointerEx(file.get(), place, nullptr, FILE_BEGIN) ||
        !write_whole(file.get(), generation.data(), generation.size()) || !FlushFileBuffers(file.get())) {
      keep_for_later();
      return;
    }
  }
  auto at_end = [&] { return start + out.size(); };
  // The machine's name travels inside, sealed, once a run.
  if (!own_checked_) out += seal_payload(*aead, header, at_end(), name_payload(machine_name()));
  for (const LogChange& change : changes) out += seal_payload(*aead, header, at_end(), change_payload(change));
  LARGE_INTEGER place{};
  place.QuadPart = static_cast<LONGLONG>(start);
  if (!SetFilePointerEx(file.get(), place, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()) ||
      !write_whole(file.get(), out.data(), out.size()) || !FlushFileBuffers(file.get())) {
    // What was written of it goes; it is written again later.
    SetFilePointerEx(file.get(), place, nullptr, FILE_BEGIN);
    SetEndOfFile(file.get());
    keep_for_later();
    return;
  }
  own_checked_ = true;
}

// -- The window's side --------------------------------------------------------

void stop_sync(App& app) {
  if (!app.history || !app.history->sync) return;
  app.history->sync->share.reset();
  app.history->sync->merge.reset();
}

void start_sync(App& app) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  if (!h.sync) h.sync = std::make_shared<SyncPart>();
  SyncPart& s = *h.sync;
  s.share.reset();
  s.merge.reset();
  if (!h.loaded() || app.settings.HistorySyncFolder.empty()) return;
  std::optional<ShareKey> share = load_share_key();
  const std::wstring folder = widen(app.settings.HistorySyncFolder);
  if (!share || share->folder != folder) {
    if (!s.said_no_key) {
      s.said_no_key = true;
      set_status_bar_text(app, "The history is shared once its passphrase is given: Options, Share History...");
    }
    return;
  }
  s.merge = std::make_unique<SyncMerge>(share->self);
  s.merge->know(h.model);
  try {
    s.share = std::make_unique<ShareSync>(std::move(*share), read_places(), app.settings.HistorySyncReceive != 0,
                                          app.main_window);
  } catch (const std::system_error&) {
    s.merge.reset();
  }
}

void sync_records(App& app, const std::vector<HistoryRecord>& records, SyncSend send) {
  if (!app.history || !app.history->sync || send == SyncSend::None || !app.settings.HistorySyncSend) return;
  SyncPart& s = *app.history->sync;
  if (!s.share || !s.merge || records.empty()) return;
  std::vector<HistoryRecord> sent(records.begin(), send == SyncSend::First ? records.begin() + 1 : records.end());
  s.share->send(s.merge->outgoing(sent));
}

void sync_arrived(App& app) {
  if (!app.history || !app.history->sync) return;
  HistoryPart& h = *app.history;
  SyncPart& s = *h.sync;
  if (!s.share || !s.merge) return;
  for (SyncBatch& batch : s.share->take()) {
    s.merge->remember_own(batch.own);
    SyncMerge::Applied applied = s.merge->apply(h.model, batch.changes);
    const std::optional<uint64_t> newest = applied.newest;
    append_history_records(app, std::move(applied.records));
    write_places(batch.places);
    if (newest && app.settings.HistorySyncToClipboard) recall_history_entry(app, *newest);
    for (const std::string& problem : batch.problems) {
      MessageBoxW(app.main_window, widen(problem).c_str(), L"Kestrin", MB_ICONWARNING);
    }
  }
  refresh_history_window(app);
}

// -- "Share History..." -----------------------------------------------------------

namespace {

struct ShareDialog {
  App* app;
};

// The share in `folder` opened (or made) with the passphrase: its key, or why not.
std::optional<SecretKey> open_share(const std::wstring& folder, const std::string& passphrase, std::string& why) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    why = "There is no folder " + narrow(folder) + ".";
    return std::nullopt;
  }
  const std::wstring path = folder + L"\\" + widen(kShareFileName);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      const std::optional<std::string> bytes = read_small_file(path, 4096);
      const std::optional<ShareFile> share = bytes ? read_share_file(*bytes) : std::nullopt;
      if (!share) {
        why = "The file " + std::string(kShareFileName) + " in " + narrow(folder) +
              " is not one Kestrin can use, and was left as it is.";
        return std::nullopt;
      }
      std::optional<SecretKey> key = passphrase_key(
          passphrase, std::string_view(reinterpret_cast<const char*>(share->salt.data()), share->salt.size()),
          share->rounds);
      const std::optional<SecretKey> check = key ? derived_key(*key, kShareCheckText) : std::nullopt;
      if (!check || !same_bytes(check->bytes.data(), share->check.data(), share->check.size())) {
        why = "The passphrase does not open the history shared in " + narrow(folder) + ".";
        return std::nullopt;
      }
      return key;
    }
    // A new share: its salt and check value, made only if no other machine
    // made one meanwhile.
    ShareFile share;
    random_bytes(share.salt.data(), share.salt.size());
    std::optional<SecretKey> key = passphrase_key(
        passphrase, std::string_view(reinterpret_cast<const char*>(share.salt.data()), share.salt.size()), share.rounds);
    const std::optional<SecretKey> check = key ? derived_key(*key, kShareCheckText) : std::nullopt;
    if (!check) {
      why = "The system could not derive a key from the passphrase.";
      return std::nullopt;
    }
    std::copy(check->bytes.begin(), check->bytes.end(), share.check.begin());
    const std::string bytes = encode_share_file(share);
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      why = "Kestrin could not write in " + narrow(folder) + " (" + system_error_text(GetLastError()) + ").";
      return std::nullopt;
    }
    if (!write_whole(file.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.get())) {
      why = "Kestrin could not write in " + narrow(folder) + " (" + system_error_text(GetLastError()) + ").";
      file.reset();
      DeleteFileW(path.c_str());
      return std::nullopt;
    }
    return key;
  }
  why = "The share in " + narrow(folder) + " changed while it was read; try again.";
  return std::nullopt;
}

std::wstring dialog_text(HWND dialog, int id) {
  const int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  GetDlgItemTextW(dialog, id, text.data(), static_cast<int>(text.size()));
  text.resize(wcslen(text.c_str()));
  return text;
}

void browse_for_folder(HWND dialog) {
  BROWSEINFOW info{};
  info.hwndOwner = dialog;
  info.lpszTitle = L"The folder your sync engine shares between your computers:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(chosen, path)) SetDlgItemTextW(dialog, IDC_SHARE_FOLDER, path);
  CoTaskMemFree(chosen);
}

// Sets the share up from the dialog; false (and the dialog stays) when it cannot be.
bool take_share(HWND dialog, App& app) {
  std::wstring folder = dialog_text(dialog, IDC_SHARE_FOLDER);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  std::wstring typed = dialog_text(dialog, IDC_SHARE_PASSPHRASE);
  std::string passphrase = narrow(typed);
  SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
  SetDlgItemTextW(dialog, IDC_SHARE_PASSPHRASE, L"");
  if (folder.empty() || passphrase.empty()) {
    MessageBoxW(dialog, L"Give the shared folder and the passphrase.", L"Share History", MB_ICONINFORMATION);
    return false;
  }
  std::string why;
  const HCURSOR before = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  std::optional<SecretKey> key = open_share(folder, passphrase, why);
  SetCursor(before);
  SecureZeroMemory(passphrase.data(), passphrase.size());
  if (!key) {
    MessageBoxW(dialog, widen(why).c_str(), L"Share History", MB_ICONWARNING);
    return false;
  }
  ShareKey share;
  share.key = *key;
  share.folder = folder;
  // This machine keeps its log when it shares the same folder again.
  if (std::optional<ShareKey> before_key = load_share_key(); before_key && before_key->folder == folder) {
    share.self = before_key->self;
  } else {
    random_bytes(share.self.data(), share.self.size());
  }
  if (!store_share_key(share)) {
    MessageBoxW(dialog, L"The key could not be stored for this user.", L"Share History", MB_ICONWARNING);
    return false;
  }
  Settings& s = app.settings;
  s.HistorySyncFolder = narrow(folder);
  s.HistorySyncSend = IsDlgButtonChecked(dialog, IDC_SHARE_SEND) == BST_CHECKED ? 1 : 0;
  s.HistorySyncReceive = IsDlgButtonChecked(dialog, IDC_SHARE_RECEIVE) == BST_CHECKED ? 1 : 0;
  s.HistorySyncToClipboard = IsDlgButtonChecked(dialog, IDC_SHARE_TO_CLIPBOARD) == BST_CHECKED ? 1 : 0;
  return true;
}

INT_PTR CALLBACK share_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<ShareDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    state = reinterpret_cast<ShareDialog*>(lparam);
    const Settings& s = state->app->settings;
    SetDlgItemTextW(dialog, IDC_SHARE_FOLDER, widen(s.HistorySyncFolder).c_str());
    CheckDlgButton(dialog, IDC_SHARE_SEND, s.HistorySyncSend ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SHARE_RECEIVE, s.HistorySyncReceive ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SHARE_TO_CLIPBOARD, s.HistorySyncToClipboard ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_SHARE_STOP), !s.HistorySyncFolder.empty());
    return TRUE;
  }
  if (message != WM_COMMAND || !state) return FALSE;
  switch (LOWORD(wparam)) {
    case IDC_SHARE_BROWSE:
      browse_for_folder(dialog);
      return TRUE;
    case IDOK:
      if (take_share(dialog, *state->app)) EndDialog(dialog, IDOK);
      return TRUE;
    case IDC_SHARE_STOP:
      state->app->settings.HistorySyncFolder.clear();
      DeleteFileW(data_path(L"Share.key").c_str());
      EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void share_history(App& app, unsigned) {
  ShareDialog state{&app};
  if (DialogBoxParamW(app.instance, MAKEINTRESOURCEW(IDD_SHARE_HISTORY), app.main_window, share_proc,
                      reinterpret_cast<LPARAM>(&state)) != IDOK) {
    return;
  }
  if (app.history) {
    if (app.history->sync) app.history->sync->said_no_key = false;
    start_sync(app);
  }
  set_status_bar_text(app, app.settings.HistorySyncFolder.empty() ? "The history is no longer shared"
                                                                    : "The history is shared");
}

}  // namespace kestrin
