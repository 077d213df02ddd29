#include "history/history_win.h"

#include <shlobj.h>

#include <cstring>
#include <ctime>
#include <new>

#include "clipboard/dib.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"
#include "frame_win.h"
#include "history/hotkeys_win.h"
#include "history/sync_win.h"
#include "raii_win.h"
#include "res/resource.h"
#include "text_format.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr ULONGLONG kBusyRetryMs = 3000;        // a file another program holds is read again
constexpr ULONGLONG kCompactionRetryMs = 30000; // a compaction that failed is tried again

uint64_t now_seconds() { return static_cast<uint64_t>(std::time(nullptr)); }

// The settings reader keeps both values in their range (a limit of at least
// one entry, 1 to 1024 MiB an item: within what a record's 32-bit length holds).
HistoryLimits limits_of(const Settings& s) {
  HistoryLimits limits;
  limits.max_entries = static_cast<std::size_t>(s.HistoryLimit);
  limits.max_item_bytes = uint64_t{static_cast<uint32_t>(s.HistoryMaxItemMiB)} << 20;
  return limits;
}

History empty_model(const App& app) { return History(limits_of(app.settings), ansi_to_utf8); }

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

// A new file with the live entries (and the records of a newer version)
// replaces the old one. The entries take bytes of their own first: the old
// file's view must go before it can be replaced. Only an optimisation: every
// change is in the file's records already, so on too little memory it waits.
void compact(App& app) {
  HistoryPart& h = *app.history;
  if (!h.writer) return;
  try {
    h.model.own_data();
    h.writer->compact(h.model.snapshot(), h.kept);
  } catch (const std::bad_alloc&) {
    h.compaction_failed = true;
    h.compact_at = GetTickCount64() + kCompactionRetryMs;
  }
}

// What changed here: appended to the file and, as `send` says, to this
// machine's log in the shared folder (a copy's evictions, and what the limit
// removes, stay here: the limit is this machine's).
void append_records(App& app, std::vector<HistoryRecord> records, SyncSend send = SyncSend::None) {
  HistoryPart& h = *app.history;
  if (records.empty()) return;
  ++h.changes;
  sync_records(app, records, send);
  if (h.writer) h.writer->append(std::move(records));
}

std::vector<HistoryRecord> add_to_model(History& model, PendingCopy& copy) {
  return model.add(copy.kind, std::move(copy.data), copy.size, copy.time, std::move(copy.formats));
}

void add_entry(App& app, PendingCopy copy) {
  HistoryPart& h = *app.history;
  if (h.store == HistoryPart::Store::Loading || h.store == HistoryPart::Store::Busy) {
    // Recorded once the file is read: its ids come first.
    if (h.pending.size() >= h.model.limits().max_entries) h.pending.erase(h.pending.begin());
    h.pending.push_back(std::move(copy));
    return;
  }
  append_records(app, add_to_model(h.model, copy), SyncSend::First);
  refresh_history_window(app);
}

// A copy whose formats are all in: a copy of files alone becomes a list of
// them, shown and searched by their names; one with nothing that could be put
// back is not kept.
void finish_copy(App& app, PendingCopy copy) {
  auto other = [](const KeptFormat& f) { return f.role != FormatRole::Main; };
  if (copy.kind == EntryKind::Data) {
    for (const KeptFormat& f : copy.formats) {
      if (!is_file_list(f)) continue;
      if (const auto names = drop_file_names(*f.data)) {
        std::string lines;
        for (const std::string& name : *names) lines += (lines.empty() ? "" : "\n") + name;
        copy.kind = EntryKind::Files;
        copy.size = lines.size();
        copy.data = share_bytes(std::move(lines));
        break;
      }
    }
    if (!any_bytes(copy.formats)) return;  // nothing that could be put back
    if (!copy.data) copy.data = share_bytes({});
  }
  // Nothing beside the text or bitmap: kept as that alone.
  if (std::none_of(copy.formats.begin(), copy.formats.end(), other)) copy.formats.clear();
  add_entry(app, std::move(copy));
}

// The formats present with the names of the registered ones.
std::vector<PresentFormat> present_with_names(const std::vector<uint32_t>& formats) {
  std::vector<PresentFormat> present;
  present.reserve(formats.size());
  for (uint32_t number : formats) {
    PresentFormat f{number, {}};
    if (number >= cf::kFirstRegistered) {
      wchar_t name[256] = {};
      const int n = GetClipboardFormatNameW(number, name, 256);
      if (n > 0) f.name = narrow(std::wstring_view(name, static_cast<std::size_t>(n)));
    }
    present.push_back(std::move(f));
  }
  return present;
}

// Who made the copy, while the clipboard still holds it: the owner window's
// program and captions. None when the copy is gone or its owner with it.
std::optional<CopyOrigin> copy_origin(uint32_t sequence) {
  if (GetClipboardSequenceNumber() != sequence) return std::nullopt;
  const HWND owner = GetClipboardOwner();
  if (!owner || !IsWindow(owner)) return std::nullopt;
  CopyOrigin origin;
  DWORD process_id = 0;
  GetWindowThreadProcessId(owner, &process_id);
  if (UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id)); process) {
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
      path.resize(length);
      const std::size_t slash = path.find_last_of(L"\\/");
      origin.program = narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
    }
  }
  // The system keeps another program's caption: reading it sends that program nothing.
  const HWND top = GetAncestor(owner, GA_ROOT);
  for (HWND window : {owner, top}) {
    wchar_t caption[512] = {};
    const int n = GetWindowTextW(window, caption, 512);
    if (n > 0) origin.captions.push_back(narrow(std::wstring_view(caption, static_cast<std::size_t>(n))));
    if (top == owner || !top) break;
  }
  return origin;
}

bool ignored_by_rules(const HistoryPart& h, const ClipboardChange& change) {
  std::optional<CopyOrigin> origin;
  if (rules_need_origin(h.ignore_rules)) origin = copy_origin(change.sequence);
  std::optional<std::string> text;
  if (change.text && rules_need_text(h.ignore_rules)) {
    text = change.text->unicode ? change.text->bytes : ansi_to_utf8(change.text->bytes);
  }
  return ignored_copy(h.ignore_rules, origin,
                      text ? std::optional<std::string_view>(*text) : std::optional<std::string_view>());
}

void say_memory_only(App& app, const std::string& why) {
  const std::string text = "The clipboard history cannot be kept in " + narrow(history_file_path()) + ": " + why +
                           ".\n\nIt is kept in memory only: what is copied from now on is gone when Kestrin ends.";
  MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin", MB_ICONWARNING);
}

// A load the worker finished that nobody will take (the window goes, or the
// history was switched off).
void drop_finished_loads(App& app) {
  HistoryPart& h = *app.history;
  if (h.loader.joinable()) h.loader.join();
  h.loads.take_all();
}

void start_loading(App& app) {
  HistoryPart& h = *app.history;
  if (h.loader.joinable()) h.loader.join();
  h.store = HistoryPart::Store::Loading;
  const std::wstring path = history_file_path();
  const HistoryLimits limits = limits_of(app.settings);
  const HWND window = app.main_window;
  h.loader = std::thread([window, path, limits, part = app.history.get()] {
    auto load = std::make_unique<StoreLoad>(load_history_file(path, limits, ansi_to_utf8));
    part->loads.put(std::move(load));
    PostMessageW(window, WM_KESTRIN_HISTORY_LOADED, 0, 0);
  });
}

// The file was read whole: its records replayed become the model, and from
// now on every change is appended to it.
void take_load(App& app, StoreLoad& load) {
  HistoryPart& h = *app.history;
  h.model = std::move(load.model);
  h.kept = std::move(load.kept);
  h.store = HistoryPart::Store::Kept;
  HistoryWriter::Start start;
  start.key = load.key;
  start.cut_at = load.cut_at;
  h.writer = std::make_unique<HistoryWriter>(history_file_path(), start, app.main_window);
  const bool expiry = !load.expired.empty();
  append_records(app, std::move(load.expired));
  start_sync(app);
  if (h.clear_on_load) append_records(app, h.model.clear_unpinned(), SyncSend::All);
  uint64_t live_bytes = 0;
  for (const HistoryEntry& e : h.model.entries()) live_bytes += record_size({RecordOp::Add, e});
  const bool damaged = load.damaged != 0 || load.foreign;
  // Damage, an older format, or a file mostly of records that no longer matter: written anew.
  const bool wasteful = load.records > 64 && load.record_bytes > 2 * live_bytes + (1u << 20);
  if (damaged || expiry || h.clear_on_load || wasteful || load.version != kSealedVersion) compact(app);
  h.clear_on_load = false;
  for (PendingCopy& copy : h.pending) append_records(app, add_to_model(h.model, copy), SyncSend::First);
  h.pending.clear();
  ++h.changes;
  refresh_history_window(app);
  if (!load.set_aside.empty()) {
    const std::string text =
        "This history was encrypted for another user or on another computer, and cannot be read here. It was "
        "kept as it is, as \"" + narrow(load.set_aside) + "\", and a new history was started.";
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin", MB_ICONWARNING);
  }
  if (damaged) {
    std::string text;
    if (load.foreign) {
      text = "The clipboard history file did not start as a history file; nothing in it could be read, and "
             "it was started anew.";
    } else {
      text = "Some of the clipboard history could not be read: " + std::to_string(load.damaged_bytes) +
             " bytes in " + std::to_string(load.damaged) + (load.damaged == 1 ? " place" : " places") +
             " were damaged (the file was cut short, or changed on the disk), and the entries in them are "
             "lost. The " + std::to_string(load.records) + " whole records around them were kept.";
    }
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin", MB_ICONWARNING);
  }
}

}  // namespace

void append_history_records(App& app, std::vector<HistoryRecord> records) {
  append_records(app, std::move(records), SyncSend::None);
}

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
  h.model = empty_model(app);
  h.ansi_fold = ansi_fold_table();
  read_hotkeys(app);
  read_history_rules(app);
  register_hotkeys(app, true);
  if (app.settings.History) start_loading(app);
}

void stop_history(App& app) {
  if (!app.history) return;
  close_history_window(app);
  unregister_hotkeys(app);
  drop_finished_loads(app);
  // Copies still waiting for formats are kept with what has arrived.
  history_formats_arrived(app, true);
  app.history->reader.reset();
  stop_sync(app);  // writes what is queued for the folder
  app.history->writer.reset();  // writes what is queued
}

void history_loaded(App& app) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  for (std::unique_ptr<StoreLoad>& load : h.loads.take_all()) {
    if (h.store != HistoryPart::Store::Loading) continue;  // switched off meanwhile
    if (h.loader.joinable()) h.loader.join();
    switch (load->outcome) {
      case StoreLoad::Outcome::Read:
      case StoreLoad::Outcome::Missing:
        take_load(app, *load);
        break;
      case StoreLoad::Outcome::Busy:
      case StoreLoad::Outcome::Plain:
        // Nothing is written to a file that was not read (or not replaced by
        // an encrypted one yet): new copies wait in memory until it is.
        h.store = HistoryPart::Store::Busy;
        h.retry_at = GetTickCount64() + kBusyRetryMs;
        if (!h.busy_said) {
          h.busy_said = true;
          const std::string text =
              (load->outcome == StoreLoad::Outcome::Busy
                   ? "The clipboard history file is in use by another program (" + load->reason +
                         ") and cannot be read now."
                   : "The clipboard history file could not be replaced by an encrypted one (" + load->reason +
                         ").") +
              " Kestrin tries again every few seconds; until then new copies are kept in memory, and nothing in "
              "the file is changed.";
          MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin", MB_ICONWARNING);
        }
        break;
      case StoreLoad::Outcome::Unusable:
      case StoreLoad::Outcome::Newer: {
        h.store = HistoryPart::Store::MemoryOnly;
        h.model = empty_model(app);
        for (PendingCopy& copy : h.pending) add_to_model(h.model, copy);
        start_sync(app);
        h.pending.clear();
        h.clear_on_load = false;
        ++h.changes;
        refresh_history_window(app);
        say_memory_only(app, load->outcome == StoreLoad::Outcome::Newer
                                 ? "it was written by a newer version of Kestrin, and is left as it is"
                                 : "it cannot be read (" + load->reason + ")");
        break;
      }
    }
  }
}

void history_store_report(App& app) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  if (!h.writer) return;
  for (const HistoryWriter::Report& report : h.writer->take_reports()) {
    switch (report.kind) {
      case HistoryWriter::Report::Kind::WriteFailed:
        if (h.store == HistoryPart::Store::Kept) {
          h.store = HistoryPart::Store::MemoryOnly;
          say_memory_only(app, "it cannot be written (" + report.reason + ")");
        }
        break;
      case HistoryWriter::Report::Kind::CompactionFailed:
        // Nothing is lost: the records appended say it all. Tried again later.
        h.compaction_failed = true;
        h.compact_at = GetTickCount64() + kCompactionRetryMs;
        break;
      case HistoryWriter::Report::Kind::Compacted:
        h.compaction_failed = false;
        break;
    }
  }
  if (h.store == HistoryPart::Store::MemoryOnly) h.writer.reset();
}

void history_tick(App& app) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  const ULONGLONG now = GetTickCount64();
  if (h.store == HistoryPart::Store::Busy && now >= h.retry_at) start_loading(app);
  if (h.store == HistoryPart::Store::Kept && h.compaction_failed && now >= h.compact_at) {
    h.compaction_failed = false;
    compact(app);
  }
}

void record_change(App& app, const ClipboardChange& change) {
  if (!app.history || !app.settings.History || app.history->suppress || change.hidden()) return;
  HistoryPart& h = *app.history;
  try {
    if (!h.ignore_rules.empty() && ignored_by_rules(h, change)) return;  // as if marked private
    PendingCopy copy{EntryKind::Data, nullptr, 0, now_seconds(), {}};
    const uint64_t limit = h.model.limits().max_item_bytes;
    if (const SharedText& text = change.text) {
      // The entry shares the text the monitor read: nothing is copied.
      copy.kind = text->unicode ? EntryKind::UnicodeText : EntryKind::AnsiText;
      copy.data = share_view(text, text->bytes);
      copy.size = text->bytes.size();
      if (text->unicode) {
        copy.size = app.monitor->analysed_text == text ? app.monitor->analysis.characters
                                                      : count_characters(text->bytes);
      }
    } else if (change.dib_whole() && change.dib->size() <= limit &&
               dib_layout({reinterpret_cast<const uint8_t*>(change.dib->data()), change.dib->size()})) {
      copy.kind = EntryKind::Bitmap;
      copy.data = share_view(change.dib, *change.dib);
      copy.size = change.dib->size();
    }
    const std::optional<EntryKind> main =
        copy.kind == EntryKind::Data ? std::nullopt : std::optional<EntryKind>(copy.kind);
    copy.formats = plan_formats(present_with_names(change.formats), main, h.format_filter);
    const bool to_read = std::any_of(copy.formats.begin(), copy.formats.end(),
                                     [](const KeptFormat& f) { return f.role == FormatRole::Data; });
    WaitingCopy waiting{std::move(copy), nullptr};
    if (to_read) {
      const uint64_t own = waiting.copy.data ? waiting.copy.data->size() : 0;
      if (!h.reader) h.reader = std::make_unique<FormatReader>(app.main_window);
      waiting.reading = h.reader->read(change.sequence, waiting.copy.formats, limit > own ? limit - own : 0);
    }
    h.waiting.push_back(std::move(waiting));
    history_formats_arrived(app);
  } catch (const std::bad_alloc&) {
    // Too little memory for the entry: the copy is not recorded, nothing else changes.
  }
}

void history_formats_arrived(App& app, bool ending) {
  if (!app.history) return;
  HistoryPart& h = *app.history;
  const std::optional<ULONGLONG> now = ending ? std::nullopt : std::optional<ULONGLONG>(GetTickCount64());
  try {
    while (!h.waiting.empty()) {
      WaitingCopy& front = h.waiting.front();
      if (front.reading) {
        bool stuck = false;
        std::optional<std::vector<KeptFormat>> formats = take_formats(*front.reading, now, &stuck);
        if (!formats) break;
        if (stuck && !ending) h.reader->replace_thread();
        front.copy.formats = std::move(*formats);
      }
      PendingCopy copy = std::move(front.copy);
      h.waiting.pop_front();
      finish_copy(app, std::move(copy));
    }
  } catch (const std::bad_alloc&) {
    h.waiting.pop_front();  // that copy is not recorded
  }
  if (h.waiting.empty() || ending) {
    KillTimer(app.main_window, kHistoryFormatsTimerId);
  } else {
    SetTimer(app.main_window, kHistoryFormatsTimerId, 100, nullptr);
  }
}

void toggle_history(App& app, unsigned) {
  HistoryPart& h = *app.history;
  flip_flag(app.settings.History);
  if (app.settings.History) {
    start_loading(app);
    set_status_bar_text(app, "Clipboard history on");
  } else {
    close_history_window(app);
    stop_sync(app);
    const int answer = MessageBoxW(app.main_window,
                                   L"The clipboard history is off. Delete the history kept so far, "
                                   L"pinned entries included?",
                                   L"Kestrin", MB_YESNO | MB_ICONQUESTION);
    drop_finished_loads(app);  // it would fill the model again
    // What was loaded goes first (its view of the file with it); switched on
    // again, the file is read anew.
    const bool file_known = h.store == HistoryPart::Store::Kept;
    h.model = empty_model(app);
    h.pending.clear();
    h.waiting.clear();  // copies whose formats are still on their way are not kept either
    h.kept.clear();
    h.clear_on_load = false;
    h.store = HistoryPart::Store::Off;
    if (answer == IDYES) {
      // A file another program holds, or one of a newer version, is deleted
      // only when asked here, and then as it is.
      if (!h.writer && !file_known) {
        h.writer = std::make_unique<HistoryWriter>(history_file_path(), HistoryWriter::Start{}, app.main_window);
      }
      if (h.writer) h.writer->delete_file();
    }
    if (h.writer) h.writer->flush();
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
  if (MessageBoxW(app.main_window, L"Remove every entry of the clipboard history but the pinned ones?",
                  L"Kestrin", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  clear_history_entries(app);
}

void clear_history_entries(App& app) {
  HistoryPart& h = *app.history;
  h.pending.clear();
  h.waiting.clear();  // made before the clear: cleared with it
  if (h.store == HistoryPart::Store::Loading || h.store == HistoryPart::Store::Busy) {
    // The file's entries are not known yet: they are removed once it is read.
    h.clear_on_load = true;
    return;
  }
  // The removals are records first; the compaction that follows only makes
  // the file smaller, and when it fails nothing cleared comes back.
  append_records(app, h.model.clear_unpinned(), SyncSend::All);
  compact(app);
  refresh_history_window(app);
}

bool add_history_text(App& app, std::string utf8) {
  if (!app.history || !app.settings.History) return false;
  const uint64_t characters = count_characters(utf8);
  add_entry(app, PendingCopy{EntryKind::UnicodeText, share_bytes(std::move(utf8)), characters, now_seconds(), {}});
  return true;
}

void remove_history_entry(App& app, uint64_t id) {
  append_records(app, app.history->model.remove(id), SyncSend::All);
  refresh_history_window(app);
}

void pin_history_entry(App& app, uint64_t id, bool pinned) {
  append_records(app, app.history->model.set_pinned(id, pinned), SyncSend::All);
  refresh_history_window(app);
}

}  // namespace kestrin
