#include "slots/slots_win.h"
#include "clipboard/seam_win.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "diagnostics_win.h"
#include "res/resource.h"
#include "slots/clip_file.h"
#include "slots/slots.h"
#include "utf.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr const wchar_t* kClipFilters = L"Clipboard Clips {*.clc}\0*.clc\0All files {*.*}\0*.*\0";

SlotTime utc_now() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay,
          now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

bool auto_clip_file(const App& app) {
  return app.settings.ClipsAutoFile != 0 && !app.settings.ClipFileName.empty();
}

void set_item_text(HMENU menu, UINT id, const ClipSlot& slot) {
  if (slot.format == kSlotUnicode) {
    // A Unicode label through the wide function: every character shows.
    std::u16string label = utf8_to_utf16(slot.label_text());
    MENUITEMINFOW wide{};
    wide.cbSize = sizeof wide;
    wide.fMask = MIIM_TYPE;
    wide.fType = MFT_STRING;
    wide.dwTypeData = reinterpret_cast<wchar_t*>(label.data());
    wide.cch = static_cast<UINT>(label.size());
    SetMenuItemInfoW(menu, id, FALSE, &wide);
    return;
  }
  MENUITEMINFOA item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_TYPE;
  item.fType = MFT_STRING;
  item.dwTypeData = const_cast<char*>(slot.label.data());
  item.cch = static_cast<UINT>(slot.label_text().size());
  SetMenuItemInfoA(menu, id, FALSE, &item);
}

void set_item_states(HMENU menu, UINT store_id, UINT recall_id, bool filled) {
  CheckMenuItem(menu, store_id, MF_BYCOMMAND | (filled ? MF_UNCHECKED : MF_CHECKED));
  if (filled) {
    EnableMenuItem(menu, recall_id, MF_BYCOMMAND | MF_ENABLED);
    CheckMenuItem(menu, recall_id, MF_BYCOMMAND | MF_CHECKED);
  } else {
    EnableMenuItem(menu, recall_id, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    CheckMenuItem(menu, recall_id, MF_BYCOMMAND | MF_UNCHECKED);
  }
}

// Slot i's two items in both menus.
void show_slot(App& app, std::size_t i) {
  const ClipSlot& slot = app.slots.store[i];
  const UINT store_id = IDM_STORE_FIRST + static_cast<UINT>(i);
  const UINT recall_id = IDM_RECALL_FIRST + static_cast<UINT>(i);
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (!menu) continue;
    set_item_text(menu, store_id, slot);
    set_item_text(menu, recall_id, slot);
    set_item_states(menu, store_id, recall_id, slot.filled());
  }
}

void refresh_menus(const App& app) {
  SendMessageA(app.main_window, WM_KESTRIN_SLOT_LABELS, 0, 0);
}

// The last-error box of a clip file operation: the system's text for `error`.
void report(DWORD error, unsigned site) {
  SetLastError(error);
  show_last_error(nullptr, kUnitMain, site);
}

// A file's bytes, mapped for reading for as long as this lives.
class MappedFile {
 public:
  explicit MappedFile(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
      return;
    }
    size_ = static_cast<std::size_t>(size.QuadPart);
    if (size_ == 0) {  // nothing to map: an empty view
      ok_ = true;
      return;
    }
    mapping_.reset(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping_) return;
    view_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    ok_ = view_ != nullptr;
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() {
    if (view_) UnmapViewOfFile(view_);
  }
  bool ok() const { return ok_; }
  std::span<const uint8_t> bytes() const { return {view_, view_ ? size_ : 0}; }

 private:
  UniqueHandle mapping_;
  const uint8_t* view_ = nullptr;
  std::size_t size_ = 0;
  bool ok_ = false;
};

// The dialog's file buffer, starting from the clip file name.
void start_dialog_name(App& app) {
  FileDialogRecord& dialog = app.file_dialog;
  dialog.file.fill(L'\0');
  const std::wstring name = widen(ansi_to_utf8(app.settings.ClipFileName));
  std::copy_n(name.begin(), std::min(name.size(), dialog.file.size() - 1), dialog.file.begin());
}

// The chosen name becomes the clip file name, which the settings file keeps in
// the ANSI code page: a name that code page cannot hold exactly is refused
// with a box, nothing loaded or saved.
bool take_dialog_name(App& app) {
  const std::string chosen = narrow(app.file_dialog.file.data());
  std::optional<std::string> name = exact_ansi(chosen);
  if (!name) {
    const std::string text = "The clip file's name is kept in Quorvane.INI, which holds only names "
                             "of the system's ANSI code page. Choose a name without the other "
                             "characters of " + chosen + ".";
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin", MB_ICONEXCLAMATION);
    return false;
  }
  if (name->size() > kClipFileNameMax) name->resize(kClipFileNameMax);
  app.settings.ClipFileName = std::move(*name);
  return true;
}

}  // namespace

// The automatic save after a store and at the close. A clip file that was not
// read whole is left alone; the first store that finds it so says why.
void save_automatically(App& app, bool closing) {
  SlotsPart& slots = app.slots;
  if (!slots.file_incomplete) {
    save_clip_file(app, app.settings.ClipFileName, true);
    return;
  }
  if (closing || slots.incomplete_said) return;
  slots.incomplete_said = true;
  const std::string text =
      "The slots were not saved to " + app.settings.ClipFileName +
      ": that file could not be read whole when it was loaded, and saving now would replace it "
      "with less than it holds. Load Clips reads it again; Save Clips replaces it.";
  MessageBoxA(app.main_window, text.c_str(), "Kestrin", MB_ICONEXCLAMATION);
}

void start_slots(App& app) {
  if (auto_clip_file(app)) {
    load_clip_file(app, app.settings.ClipFileName);  // refreshes the menus
  } else {
    refresh_menus(app);  // no slot item shows the resource's text or state
  }
}

void stop_slots(App& app) {
  if (auto_clip_file(app)) save_automatically(app, true);
}

void refresh_slot_labels(App& app) {
  for (std::size_t i = kSlotCount; i-- > 0;) show_slot(app, i);
}

void load_clip_file(App& app, const std::string& path) {
  SlotsPart& slots = app.slots;
  bool whole = false;
  std::size_t refused = 0, unread = 0;
  {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      show_last_error(nullptr, kUnitMain, kSiteClipOpenRead);
      // A file that is not there yet holds nothing to lose.
      whole = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    } else if (MappedFile mapped(file.get()); !mapped.ok()) {
      show_last_error(nullptr, kUnitMain, kSiteClipHeaderRead);
    } else {
      ClipFileRead read = read_clip_file(mapped.bytes());
      if (read.header) slots.store = std::move(read.slots);
      if (read.failed_site != 0) report(ERROR_HANDLE_EOF, read.failed_site);
      whole = read.header && read.failed_site == 0;
      refused = read.refused;
      unread = read.unread;
    }
  }
  slots.file_incomplete = !whole;
  slots.incomplete_said = false;
  if (refused > 0 || unread > 0) {
    // Said once, with what became of the records.
    std::string text;
    if (unread > 0) {
      const std::size_t first = kSlotCount - unread + 1;
      text += path + " ends inside record " + std::to_string(first) + ": records " +
              std::to_string(first) + " to " + std::to_string(kSlotCount) +
              " could not be read. The automatic save leaves the file as it is until the clips "
              "are loaded again or saved with Save Clips.";
    }
    if (refused > 0) {
      if (!text.empty()) text += "\r\n\r\n";
      text += std::to_string(refused) + (refused == 1 ? " record" : " records") + " of " + path +
              " could not be loaded: a kind of clip this program does not take, or a bitmap "
              "that does not fit. Their slots show as empty; the records are kept and saved "
              "back unchanged unless something is stored in their slot.";
    }
    MessageBoxA(nullptr, text.c_str(), "Kestrin", MB_ICONWARNING);
  }
  refresh_menus(app);
}

bool save_clip_file(App& app, const std::string& path, bool automatic) {
  std::string fresh = path + ".saving";
  if (fresh.size() >= MAX_PATH) {
    // A long clip file name leaves no room for the suffix: a short name of our
    // own in the same folder.
    const std::size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char name[MAX_PATH] = {};
    if (GetTempFileNameA(folder.c_str(), "kcl", 0, name) == 0) {
      show_last_error(nullptr, kUnitMain, kSiteClipOpenWrite);
      return false;
    }
    fresh = name;
  }
  UniqueHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    show_last_error(nullptr, kUnitMain, kSiteClipOpenWrite);
    return false;
  }
  // The file's whole size first: the system places it at once instead of
  // growing it write by write.
  const uint64_t total = clip_file_size(app.slots.store, automatic);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(total);
  if (SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get())) {
    SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN);
  }
  unsigned failed = write_clip_file(
      app.slots.store, [&file](std::span<const uint8_t> piece) { return write_whole(file.get(), piece.data(), piece.size()); },
      automatic);
  if (failed == 0 && !FlushFileBuffers(file.get())) failed = kSiteClipDataWrite;
  const DWORD error = GetLastError();
  file.reset();
  // A read-only clip file is not replaced, as it would not be overwritten.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (failed == 0 && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    DeleteFileA(fresh.c_str());
    report(ERROR_ACCESS_DENIED, kSiteClipOpenWrite);
    return false;
  }
  if (failed == 0 &&
      !MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD move_error = GetLastError();
    DeleteFileA(fresh.c_str());
    report(move_error, kSiteClipOpenWrite);
    return false;
  }
  if (failed != 0) {
    DeleteFileA(fresh.c_str());
    report(error, failed);
    return false;
  }
  return true;
}

void store_slot(App& app, unsigned id) {
  const std::size_t i = id - IDM_STORE_FIRST;
  ClipSlot& slot = app.slots.store[i];
  {
    ClipboardSession session(app.main_window);
    uint32_t format = 0;
    if (session.is_open()) {
      // A text CF_TEXT does not hold exactly is kept as its CF_UNICODETEXT block.
      const std::optional<TextValue> text = read_clipboard_text(session);
      if (text && text->unicode) {
        format = kSlotUnicode;
      } else if (IsClipboardFormatAvailable(CF_TEXT)) {
        format = kSlotText;
      } else if (IsClipboardFormatAvailable(CF_DIB)) {
        format = kSlotBitmap;
      }
    }
    const bool hidden = session.is_open() && holds_private_content();
    ClipboardBytes block(format);
    std::string_view bytes = format != 0 && block ? block.whole_block() : std::string_view();
    // Another program's block may end half way through a UTF-16 unit: what is
    // stored holds whole units, so that the clip file can load it again.
    if (format == kSlotUnicode) bytes.remove_suffix(bytes.size() % 2);
    try {
      store_block(slot, block ? format : 0,
                  {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, utc_now());
      slot.private_content = hidden && slot.filled();
    } catch (const std::bad_alloc&) {
      store_block(slot, 0, {}, utc_now());  // no room: the slot stays empty
    }
  }
  show_slot(app, i);
  if (auto_clip_file(app)) save_automatically(app, false);
}

void recall_slot(App& app, unsigned id) {
  ClipSlot& slot = app.slots.store[id - IDM_RECALL_FIRST];
  if (!slot.data) return;
  GlobalBlock copy;
  if (!slot.data->empty()) {
    copy = GlobalBlock::allocate(slot.data->size());
    if (LockedBlock target(copy.get()); target) {
      std::memcpy(target.data(), slot.data->data(), slot.data->size());
    } else {
      copy = GlobalBlock();
    }
  }
  {
    // Not the program's own change: in append mode a recalled text is joined.
    // The main window owns the clipboard, so that the change is told from a
    // write of another program in between.
    ClipboardSession session(app.main_window);
    if (copy) {
      put_on_clipboard(session, slot.format, copy);
    } else {
      session.empty();
    }
  }
  note_recall(slot, utc_now());
}

void order_slots_command(App& app, unsigned id) {
  SlotOrder order = SlotOrder::None;
  switch (id) {
    case IDM_SORT_ALPHABETICALLY: order = SlotOrder::Alphabetical; break;
    case IDM_SORT_TIME_ADDED: order = SlotOrder::TimeAdded; break;
    case IDM_SORT_LAST_USED: order = SlotOrder::LastUsed; break;
    case IDM_SORT_TIMES_USED: order = SlotOrder::TimesUsed; break;
    default: break;
  }
  order_slots(app.slots.store, order);
  refresh_menus(app);
}

void clear_clips(App& app, unsigned) {
  if (MessageBoxA(app.main_window,
                  "Are you sure you wish to clear you wish to clear the clipboard storage slots?",
                  "Question", MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
    return;
  }
  for (std::size_t i = kSlotCount; i-- > 0;) clear(app.slots.store[i]);
  refresh_menus(app);
}

void load_clips(App& app, unsigned) {
  FileDialogRecord& dialog = app.file_dialog;
  dialog.record = OPENFILENAMEW{};
  start_dialog_name(app);
  OPENFILENAMEW& r = dialog.record;
  r.lStructSize = sizeof r;
  r.hwndOwner = app.main_window;
  r.lpstrFilter = kClipFilters;
  r.lpstrFile = dialog.file.data();
  r.nMaxFile = static_cast<DWORD>(dialog.file.size());
  r.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  r.lpstrDefExt = L"clc";
  if (!GetOpenFileNameW(&r) || !take_dialog_name(app)) return;
  load_clip_file(app, app.settings.ClipFileName);
}

void save_clips(App& app, unsigned) {
  FileDialogRecord& dialog = app.file_dialog;
  start_dialog_name(app);
  dialog.title.fill(L'\0');
  OPENFILENAMEW& r = dialog.record;  // not cleared: the last filter list stays
  r.lStructSize = sizeof r;
  r.hwndOwner = app.main_window;
  r.lpstrFile = dialog.file.data();
  r.nMaxFile = static_cast<DWORD>(dialog.file.size());
  r.lpstrFileTitle = dialog.title.data();
  r.nMaxFileTitle = static_cast<DWORD>(dialog.title.size());
  r.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  r.lpstrDefExt = L"clc";
  if (!GetSaveFileNameW(&r) || !take_dialog_name(app)) return;
  // Replacing the file by hand is the user's choice; the automatic saves follow.
  if (save_clip_file(app, app.settings.ClipFileName)) app.slots.file_incomplete = false;
}

void toggle_auto_clip_file(App& app, unsigned) {
  flip_flag(app.settings.ClipsAutoFile);
  if (app.frame.main_menu) {
    CheckMenuItem(app.frame.main_menu, IDM_AUTO_CLIP_FILE,
                  MF_BYCOMMAND | (app.settings.ClipsAutoFile ? MF_CHECKED : MF_UNCHECKED));
  }
}

}  // namespace kestrin
