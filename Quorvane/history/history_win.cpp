#include "history/history_win.h"

#include <shlobj.h>

#include <ctime>
#include <cstring>
#include <new>

#include "clipboard/seam_win.h"
#include "history/history_file.h"
#include "frame_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "text_format.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr int kFirstHotkeyId = 0x100;  // RegisterHotKey ids of the [Hotkeys] lines

uint64_t now_seconds() { return static_cast<uint64_t>(std::time(nullptr)); }

HistoryLimits limits_of(const Settings& s) {
  HistoryLimits limits;
  limits.max_entries = static_cast<std::size_t>(std::max<int32_t>(s.HistoryLimit, 1));
  // Within what a record's 32-bit length holds.
  limits.max_item_bytes = uint64_t{static_cast<uint32_t>(std::clamp<int32_t>(s.HistoryMaxItemMiB, 1, 1024))} << 20;
  return limits;
}

// How the ANSI code page folds case, when it has one byte a character.
AnsiFold ansi_fold_table() {
  AnsiFold fold = ascii_fold();
  CPINFO info{};
  if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return fold;
  for (unsigned b = 0x80; b < 256; ++b) {
    const char in = static_cast<char>(b);
    wchar_t wide = 0;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &in, 1, &wide, 1) != 1) continue;
    const auto folded = static_cast<wchar_t>(fold_case(wide));
    if (folded == wide) continue;
    char out = 0;
    BOOL used_default = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &folded, 1, &out, 1, nullptr,
                            &used_default) == 1 &&
        !used_default) {
      fold[b] = static_cast<uint8_t>(out);
    }
  }
  return fold;
}

bool write_all(HANDLE file, std::string_view bytes) { return write_whole(file, bytes.data(), bytes.size()); }

// The file mapped whole: entries view their bytes where they lie, and the
// system brings them in as they are read (no copy, no read of the whole file
// before the first entry is used). The view stays while an entry uses it, so
// the file is never replaced or deleted under it: a compaction first gives the
// entries bytes of their own.
std::shared_ptr<const std::string_view> map_whole_file(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return nullptr;
    throw std::bad_alloc();  // there, but not to be read now: judged as unreadable
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) throw std::bad_alloc();
  if (size.QuadPart == 0) return nullptr;
  if (static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) throw std::bad_alloc();
  UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) throw std::bad_alloc();
  struct View {
    const void* base = nullptr;
    std::string_view bytes;
    ~View() {
      if (base) UnmapViewOfFile(base);
    }
  };
  auto view = std::make_shared<View>();
  view->base = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (!view->base) throw std::bad_alloc();
  view->bytes = std::string_view(static_cast<const char*>(view->base), static_cast<std::size_t>(size.QuadPart));
  return std::shared_ptr<const std::string_view>(view, &view->bytes);
}

// A new file with the live entries replaces the old one. The entries take bytes
// of their own first: the old file's view must go before it can be replaced.
void compact(HistoryPart& h) {
  if (!h.writer) return;
  h.model.own_data();
  h.writer->compact(h.model.snapshot());
}

void append_records(App& app, std::vector<HistoryRecord> records) {
  HistoryPart& h = *app.history;
  if (records.empty()) return;
  ++h.changes;
  if (h.writer) h.writer->append(std::move(records));
}

void add_entry(App& app, EntryKind kind, SharedBytes data, uint64_t size) {
  HistoryPart& h = *app.history;
  if (!h.loaded) {
    h.pending.push_back({kind, std::move(data), size, now_seconds()});
    return;
  }
  append_records(app, h.model.add(kind, std::move(data), size, now_seconds()));
  refresh_history_window(app);
}

// The hotkeys that stand while history is kept: all of them; otherwise those
// that do not act on the history (Ctrl+Shift+V stays free for other programs
// until the user asks for a history).
void register_hotkeys(App& app, bool report) {
  HistoryPart& h = *app.history;
  for (std::size_t i = 0; i < h.registered.size(); ++i) {
    if (h.registered[i]) UnregisterHotKey(app.main_window, h.registered[i]);
  }
  h.registered.assign(h.hotkeys.size(), 0);
  std::string taken;
  for (std::size_t i = 0; i < h.hotkeys.size(); ++i) {
    const Hotkey& k = h.hotkeys[i];
    if (k.action != HotkeyAction::Command && !app.settings.History) continue;
    const int id = kFirstHotkeyId + static_cast<int>(i);
    if (RegisterHotKey(app.main_window, id, k.modifiers | MOD_NOREPEAT, k.key)) {
      h.registered[i] = id;
    } else {
      taken += "\n" + k.chord + " (the line \"" + k.line + "\" in [Hotkeys])";
    }
  }
  if (report && !taken.empty()) {
    const std::string text = "These hotkeys are already held by another program and do not work "
                             "in Kestrin; the others do:" + taken;
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin Hotkeys", MB_ICONWARNING);
  }
}

void read_hotkeys(App& app) {
  const std::string& ini = app.settings_location.profile_name;
  std::vector<char> names(1 << 14);
  const DWORD n = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), ini.c_str());
  bool present = false;
  for (const char* name = names.data(); name < names.data() + n && *name; name += std::strlen(name) + 1) {
    if (lstrcmpiA(name, "Hotkeys") == 0) present = true;
  }
  std::vector<std::string> lines;
  if (present) {
    std::vector<char> section(1 << 16);
    const DWORD size = GetPrivateProfileSectionA("Hotkeys", section.data(), static_cast<DWORD>(section.size()), ini.c_str());
    for (const char* line = section.data(); line < section.data() + size && *line; line += std::strlen(line) + 1) {
      lines.emplace_back(line);
    }
  }
  std::vector<std::string> errors;
  app.history->hotkeys = parse_hotkeys(lines, present, &errors);
  if (!errors.empty()) {
    std::string text = "These lines of [Hotkeys] in the settings are not used:";
    for (const std::string& e : errors) text += "\n" + e;
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin Hotkeys", MB_ICONWARNING);
  }
}

// A load the worker posted and nobody will take (the window goes, or the
// history was switched off): freed here, as its message would free it.
void drop_posted_loads(App& app) {
  MSG message;
  while (PeekMessageW(&message, app.main_window, WM_KESTRIN_HISTORY_LOADED, WM_KESTRIN_HISTORY_LOADED, PM_REMOVE)) {
    delete reinterpret_cast<HistoryLoad*>(message.lParam);
  }
}

void start_loading(App& app) {
  HistoryPart& h = *app.history;
  if (h.loader.joinable() || h.loaded) return;
  const std::wstring path = history_file_path();
  h.writer = std::make_unique<HistoryWriter>(path);
  const HWND window = app.main_window;
  h.loader = std::thread([window, path] {
    auto* load = new (std::nothrow) HistoryLoad;
    if (!load) return;
    try {
      if (auto bytes = map_whole_file(path)) *load = read_history(*bytes, bytes);
    } catch (const std::bad_alloc&) {
      load->records.clear();
      load->unreadable = true;
    }
    if (!PostMessageW(window, WM_KESTRIN_HISTORY_LOADED, 0, reinterpret_cast<LPARAM>(load))) delete load;
  });
}

}  // namespace

// -- The writer --------------------------------------------------------------

HistoryWriter::HistoryWriter(std::wstring path) : path_(std::move(path)), thread_([this] { run(); }) {}

HistoryWriter::~HistoryWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void HistoryWriter::append(std::vector<HistoryRecord> records) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Append, std::move(records)});
  }
  wake_.notify_all();
}

void HistoryWriter::compact(std::vector<HistoryRecord> records) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Compact, std::move(records)});
  }
  wake_.notify_all();
}

void HistoryWriter::delete_file() {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({JobKind::Delete, {}});
  }
  wake_.notify_all();
}

void HistoryWriter::flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return jobs_.empty() && !busy_; });
}

void HistoryWriter::write_records(HANDLE file, const std::vector<HistoryRecord>& records) {
  for (const HistoryRecord& record : records) {
    LARGE_INTEGER start{}, end{};
    if (!SetFilePointerEx(file, {}, &start, FILE_END)) return;
    if (!write_all(file, record_head(record)) || !write_all(file, record_data(record))) {
      // A disk that filled up half way: the part written goes, so that the
      // records that come later are whole records after whole records.
      end.QuadPart = start.QuadPart;
      SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
      SetEndOfFile(file);
      return;
    }
  }
}

void HistoryWriter::run() {
  UniqueHandle file;
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
    switch (job.kind) {
      case JobKind::Append:
        if (!file) {
          file.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
          LARGE_INTEGER size{};
          if (file && GetFileSizeEx(file.get(), &size) && size.QuadPart == 0) {
            write_all(file.get(), history_file_header());
          }
        }
        if (file) {
          write_records(file.get(), job.records);
          // On the disk before the next copy: a crash of the system keeps it.
          FlushFileBuffers(file.get());
        }
        break;
      case JobKind::Compact: {
        file.reset();
        const std::wstring fresh = path_ + L".new";
        bool written = false;
        {
          UniqueHandle out(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
          if (out) {
            written = write_all(out.get(), history_file_header());
            for (const HistoryRecord& record : job.records) {
              written = written && write_all(out.get(), record_head(record)) &&
                        write_all(out.get(), record_data(record));
            }
            written = written && FlushFileBuffers(out.get());
          }
        }
        // The old file stays whole until the new one replaces it in one step.
        if (!written || !MoveFileExW(fresh.c_str(), path_.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
          DeleteFileW(fresh.c_str());
        }
        break;
      }
      case JobKind::Delete:
        file.reset();
        DeleteFileW(path_.c_str());
        break;
    }
  }
}

// -- The part ----------------------------------------------------------------

std::wstring history_file_path() {
  wchar_t appdata[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, appdata))) {
    return L"Kestrin History.dat";
  }
  std::wstring folder = std::wstring(appdata) + L"\\Kestrin";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\History.dat";
}

void start_history(App& app) {
  app.history = std::make_shared<HistoryPart>();
  HistoryPart& h = *app.history;
  h.model.set_limits(limits_of(app.settings));
  h.ansi_fold = ansi_fold_table();
  app.monitor.after_change = record_change;
  read_hotkeys(app);
  register_hotkeys(app, true);
  if (app.settings.History) start_loading(app);
}

void stop_history(App& app) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  close_history_window(app);
  for (int id : h.registered) {
    if (id) UnregisterHotKey(app.main_window, id);
  }
  h.registered.clear();
  if (h.loader.joinable()) h.loader.join();
  drop_posted_loads(app);
  h.writer.reset();  // writes what is queued
}

void history_loaded(App& app, LPARAM lparam) {
  std::unique_ptr<HistoryLoad> load(reinterpret_cast<HistoryLoad*>(lparam));
  if (!app.history || !load) return;
  HistoryPart& h = *app.history;
  if (h.loader.joinable()) h.loader.join();
  uint64_t record_bytes = 0;
  for (const HistoryRecord& record : load->records) {
    h.model.apply(record);
    record_bytes += kRecordHeadSize + record_data(record).size();
  }
  h.loaded = true;
  const std::size_t applied = load->records.size();
  load->records.clear();
  std::vector<HistoryRecord> expired = h.model.enforce_limit();
  uint64_t live_bytes = 0;
  for (const HistoryEntry& e : h.model.entries()) live_bytes += kRecordHeadSize + e.data->size();
  const bool damaged = load->damaged != 0 || load->foreign;
  if (load->unreadable) {
    // Nothing is judged, nothing rewritten: new copies are appended to it.
    MessageBoxW(app.main_window,
                L"The clipboard history file could not be read now; it is left as it is, and new "
                L"copies are added to it.",
                L"Kestrin", MB_ICONWARNING);
  }
  // Damage, or a file mostly of records that no longer matter: written anew.
  const bool wasteful = applied > 64 && record_bytes > 2 * live_bytes + (1u << 20);
  if (damaged || !expired.empty() || wasteful) compact(h);
  for (PendingCopy& copy : h.pending) {
    append_records(app, h.model.add(copy.kind, std::move(copy.data), copy.size, copy.time));
  }
  h.pending.clear();
  ++h.changes;
  refresh_history_window(app);
  if (damaged) {
    MessageBoxW(app.main_window,
                L"Some of the clipboard history could not be read (the file was cut short or "
                L"damaged); those entries were dropped, and every whole entry was kept.",
                L"Kestrin", MB_ICONWARNING);
  }
}

void record_change(App& app) {
  if (!app.history || !app.settings.History || app.history->suppress || app.monitor.private_content) {
    return;
  }
  try {
    if (const SharedText text = app.monitor.handled_text) {
      // The entry shares the text the monitor read: nothing is copied.
      SharedBytes bytes = share_view(text, text->bytes);
      uint64_t size = text->bytes.size();
      if (text->unicode) {
        size = app.monitor.analysed_text == text ? app.monitor.analysis.characters
                                                 : count_characters(text->bytes);
      }
      add_entry(app, text->unicode ? EntryKind::UnicodeText : EntryKind::AnsiText, std::move(bytes), size);
      return;
    }
    SharedBytes dib;
    {
      ClipboardSession session(app.main_window);
      if (!session.is_open() || !IsClipboardFormatAvailable(CF_DIB)) return;
      ClipboardBytes block(CF_DIB);
      if (!block || block.bytes().size() > app.history->model.limits().max_item_bytes) return;
      dib = share_bytes(std::string(block.bytes()));
    }
    if (!dib_size(*dib)) return;
    const uint64_t size = dib->size();
    add_entry(app, EntryKind::Bitmap, std::move(dib), size);
  } catch (const std::bad_alloc&) {
    // Too little memory for the entry: the copy is not recorded, nothing else changes.
  }
}

void handle_hotkey(App& app, WPARAM id) {
  if (!app.history) return;
  const HistoryPart& h = *app.history;
  for (std::size_t i = 0; i < h.registered.size(); ++i) {
    if (h.registered[i] != static_cast<int>(id)) continue;
    const Hotkey& k = h.hotkeys[i];
    switch (k.action) {
      case HotkeyAction::Command:
        run_command(app.main_window, k.value);
        break;
      case HotkeyAction::History:
        show_history(app, IDM_HISTORY);
        break;
      case HotkeyAction::PasteHistory:
        if (const HistoryEntry* e = h.model.shown_at(k.value); e && recall_history_entry(app, e->id)) {
          send_paste_keys();
        } else {
          MessageBeep(MB_ICONASTERISK);
        }
        break;
    }
    return;
  }
}

std::string active_hotkeys_text(const App& app) {
  if (!app.history) return {};
  std::string text;
  const HistoryPart& h = *app.history;
  for (std::size_t i = 0; i < h.hotkeys.size(); ++i) {
    if (i >= h.registered.size() || !h.registered[i]) continue;
    if (!text.empty()) text += "\r\n";
    text += h.hotkeys[i].line;
  }
  return text.empty() ? "(none)" : text;
}

void toggle_history(App& app, unsigned) {
  HistoryPart& h = *app.history;
  flip_flag(app.settings.History);
  if (app.settings.History) {
    start_loading(app);
    set_status_bar_text(app, "Clipboard history on");
  } else {
    close_history_window(app);
    const int answer = MessageBoxW(app.main_window,
                                   L"The clipboard history is off. Delete the history kept so far, "
                                   L"pinned entries included?",
                                   L"Kestrin", MB_YESNO | MB_ICONQUESTION);
    if (h.loader.joinable()) h.loader.join();
    drop_posted_loads(app);  // it would fill the model again
    // What was loaded goes first (its view of the file with it); switched on
    // again, the file is read anew.
    h.model = History(limits_of(app.settings));
    h.pending.clear();
    h.loaded = false;
    if (!h.writer) h.writer = std::make_unique<HistoryWriter>(history_file_path());
    if (answer == IDYES) h.writer->delete_file();
    h.writer->flush();
    h.writer.reset();
    set_status_bar_text(app, "Clipboard history off");
  }
  register_hotkeys(app, false);
}

void show_history(App& app, unsigned) {
  if (!app.settings.History) {
    MessageBoxW(app.main_window, L"The clipboard history is off: switch on Options, Keep History.",
                L"Kestrin", MB_ICONINFORMATION);
    return;
  }
  open_history_window(app);
}

void clear_history(App& app, unsigned) {
  HistoryPart& h = *app.history;
  if (MessageBoxW(app.main_window, L"Remove every entry of the clipboard history but the pinned ones?",
                  L"Kestrin", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  h.pending.clear();
  if (!h.loaded) return;
  if (!h.model.clear_unpinned().empty()) ++h.changes;
  compact(h);
  refresh_history_window(app);
}

void remove_history_entry(App& app, uint64_t id) {
  append_records(app, app.history->model.remove(id));
  refresh_history_window(app);
}

void pin_history_entry(App& app, uint64_t id, bool pinned) {
  append_records(app, app.history->model.set_pinned(id, pinned));
  refresh_history_window(app);
}

bool recall_history_entry(App& app, uint64_t id) {
  HistoryPart& h = *app.history;
  const HistoryEntry* e = h.model.find(id);
  if (!e) return false;
  GlobalBlock block;
  UINT format = CF_DIB;
  if (e->kind == EntryKind::Bitmap) {
    block = GlobalBlock::allocate(e->data->size());
    if (LockedBlock target(block.get()); target) {
      std::memcpy(target.data(), e->data->data(), e->data->size());
    } else {
      return false;
    }
  } else {
    const TextValue value{std::string(*e->data), e->kind == EntryKind::UnicodeText};
    block = make_value_block(value);
    format = text_format(value);
  }
  if (!block) return false;
  // Not recorded again (the window keeps its order while the user pastes one
  // entry after another); in append mode it is joined, as a recalled slot is.
  CountScope quiet(h.suppress);
  ClipboardSession session(app.main_window);
  return put_on_clipboard(session, format, block);
}

bool apply_text_command_to_entry(App& app, uint64_t id, unsigned command) {
  const HistoryEntry* e = app.history->model.find(id);
  if (!e || e->kind == EntryKind::Bitmap || !recall_history_entry(app, id)) return false;
  run_command(app.main_window, command);
  return true;
}

void send_paste_keys() {
  // Keys still held from the chord that asked for the paste (Shift of
  // Shift+Enter, Alt of Ctrl+Alt+1) would turn Ctrl+V into another chord:
  // they are let go first.
  std::vector<INPUT> keys;
  auto key = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(input);
  };
  for (WORD held : {VK_SHIFT, VK_LSHIFT, VK_RSHIFT, VK_MENU, VK_LMENU, VK_RMENU, VK_LWIN, VK_RWIN}) {
    if (GetAsyncKeyState(held) < 0) key(held, true);
  }
  key(VK_CONTROL, false);
  key('V', false);
  key('V', true);
  key(VK_CONTROL, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

}  // namespace kestrin
