#include "files/files_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "diagnostics_win.h"
#include "files/file_clipboard_win.h"
#include "files/files.h"
#include "frame_win.h"
#include "palm_doc_file.h"
#include "res/resource.h"
#include "text_format.h"
#include "utf.h"
#include "wide_win.h"

namespace kestrin {

namespace {

// Last-error sites of the helper library's file writes.
constexpr unsigned kSiteSaveOpen = 1301;
constexpr unsigned kSiteSaveClipboard = 1302;
constexpr unsigned kSiteSaveText = 1311;
constexpr unsigned kSiteSaveBmpHeader = 1321;
constexpr unsigned kSiteSaveBmpData = 1322;
constexpr unsigned kSitePalmDocOpen = 1401;

constexpr wchar_t kTextFilters[] =
    L"Text files {*.txt}\0*.txt\0CMD Files{*.cmd}\0*.cmd\0Batch Files{*.bat}\0*.bat\0"
    L"HTML Files{*.html}\0*.html\0Chess files {*.pgn}\0*.pgn\0All files {*.*}\0*.*\0";
constexpr wchar_t kBitmapFilters[] = L"Bitmap files {*.bmp}\0*.bmp\0All files {*.*}\0*.*\0";

void open_with_shell(const std::string& path) {
  ShellExecuteW(nullptr, L"open", widen(path).c_str(), nullptr, L"", SW_SHOWNORMAL);
}

bool file_exists(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileStamp local_stamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// The shared dialog record, cleared or not, pointing at a file buffer that
// starts with `name`.
OPENFILENAMEW& dialog_record(App& app, const std::string& name, bool clear) {
  FileDialogRecord& dialog = app.file_dialog;
  if (clear) dialog.record = OPENFILENAMEW{};
  dialog.file.fill(L'\0');
  const std::wstring wide = widen(name);
  std::copy_n(wide.begin(), std::min(wide.size(), dialog.file.size() - 1), dialog.file.begin());
  OPENFILENAMEW& r = dialog.record;
  r.lStructSize = sizeof r;
  r.hwndOwner = app.main_window;
  r.lpstrFile = dialog.file.data();
  r.nMaxFile = static_cast<DWORD>(dialog.file.size());
  return r;
}

// The progress of a drop, painted straight onto the status bar: from the edge
// of its first part, position / count of the way to the end of its second.
void paint_progress(const App& app, std::size_t position, std::size_t count) {
  HWND bar = app.frame.status_bar;
  RECT client{};
  GetClientRect(bar, &client);
  int parts[3] = {};
  SendMessageA(bar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts));
  int borders[3] = {};  // horizontal, vertical, between parts
  SendMessageA(bar, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
  RECT done{};
  done.top = client.top + borders[1];
  done.bottom = client.bottom - borders[1];
  done.left = client.left + borders[0] + borders[2] + parts[0];
  const int full_right = parts[1] - borders[0] - borders[2];
  done.right = done.left + static_cast<int>(static_cast<double>(position) /
                                            static_cast<double>(count) * (full_right - done.left));
  const COLORREF colour =
      app.files.drop_serial % 2 ? RGB(127, 0, 127) : GetSysColor(COLOR_BTNFACE);
  WindowDC dc(bar);
  if (!dc.get()) return;
  UniqueGdiObject brush(CreateSolidBrush(colour));
  UniqueGdiObject pen(CreatePen(PS_SOLID, 1, colour));
  SelectedObject with_pen(dc.get(), pen.get());
  SetBkMode(dc.get(), TRANSPARENT);
  FillRect(dc.get(), &done, static_cast<HBRUSH>(brush.get()));
}

// The dropped file's three times, or the debug records of what failed.
void read_times(const App& app, DroppedFile& file) {
  UniqueHandle handle(CreateFileW(widen(file.path).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    debug_log(app.main_window, kUnitMain, kSiteCreateFile, "Error from CreateFile()");
    return;
  }
  if (!GetFileTime(handle.get(), &file.creation, &file.last_access, &file.last_write)) {
    debug_log(app.main_window, kUnitMain, kSiteFileTime, "Error from GetFileTime()");
  }
}

}  // namespace

void save_clipboard_to_file(App& app, const std::string& path, bool new_file_when_empty) {
  if (!path.empty()) SetWindowTextW(app.main_window, widen(path).c_str());
  // The file is touched only once there is something to write: a clipboard
  // another program holds open, or one with neither text nor a bitmap, leaves
  // it as it was.
  ClipboardSession session(app.main_window);
  if (!session.is_open()) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_ACCESS_DENIED);
    show_last_error(app.main_window, kUnitLib, kSiteSaveClipboard);
    return;
  }
  // A Unicode text is saved as UTF-8, with a byte order mark so that every
  // editor reads it as such (batch files without one); ANSI text as its bytes.
  std::optional<TextValue> text = read_clipboard_text(session);
  if (text && text->unicode && !wants_no_bom(path)) text->bytes.insert(0, "\xEF\xBB\xBF");
  ClipboardBytes dib(!text && IsClipboardFormatAvailable(CF_DIB) ? CF_DIB : 0);
  if (!text && !dib && new_file_when_empty && !file_exists(path)) {
    // Nothing to lose: a new file, as empty as the clipboard.
    if (!UniqueHandle(CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr))) {
      show_last_error(app.main_window, kUnitLib, kSiteSaveOpen);
    }
    return;
  }
  if (!text && !dib) {
    const std::string message =
        "The clipboard holds neither text nor a bitmap; nothing was written to " + path + ".";
    MessageBoxW(app.main_window, widen(message).c_str(), L"Kestrin", MB_ICONEXCLAMATION);
    return;
  }
  UniqueHandle file(CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) {
    show_last_error(app.main_window, kUnitLib, kSiteSaveOpen);
    return;
  }
  if (text) {
    if (!write_whole(file.get(), text->bytes.data(), text->bytes.size())) {
      show_last_error(app.main_window, kUnitLib, kSiteSaveText);
    }
  } else {
    const std::string_view block = dib.whole_block();
    const auto header =
        bmp_file_header({reinterpret_cast<const uint8_t*>(block.data()), block.size()});
    if (!write_whole(file.get(), header.data(), header.size())) {
      show_last_error(app.main_window, kUnitLib, kSiteSaveBmpHeader);
    }
    if (!write_whole(file.get(), block.data(), block.size())) {
      show_last_error(app.main_window, kUnitLib, kSiteSaveBmpData);
    }
  }
  // What a longer earlier file held after the new end goes.
  SetEndOfFile(file.get());
}

int convert_palm_doc(App& app, const std::string& path, bool open_result) {
  const palm::FileConversion done = palm::convert_file(path);
  if (!done.source_opened && !done.to_database) {
    show_last_error(app.main_window, kUnitLib, kSitePalmDocOpen);
  }
  if (done.result == palm::kOk && open_result) open_with_shell(done.output);
  return done.result;
}

void open_file(App& app, unsigned) {
  OPENFILENAMEW& r = dialog_record(app, app.files.current_file_name, true);
  r.lpstrFilter = kTextFilters;
  r.nFilterIndex = 1;
  r.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  r.lpstrDefExt = L"txt";
  if (GetOpenFileNameW(&r)) {
    app.files.current_file_name = narrow(app.file_dialog.file.data());
    copy_file_to_clipboard(app.main_window, app.file_dialog.file.data());
  }
  SetWindowTextA(app.main_window, app.monitor->status_text.data());
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void save_file(App& app, unsigned id) {
  FilesPart& files = app.files;
  const bool save_as = id == IDM_SAVE_AS || files.save_as_count == 0;
  const wchar_t* filters = nullptr;
  const char* extension = nullptr;
  {
    ClipboardSession session(app.main_window);
    if (session.is_open()) {
      const bool bitmap = IsClipboardFormatAvailable(CF_DIB) != FALSE;
      filters = bitmap ? kBitmapFilters : kTextFilters;
      extension = bitmap ? ".bmp" : ".txt";
    }
  }
  const std::string stem = automatic_name(local_stamp());
  if (!save_as && extension) {
    files.current_file_name = unused_name(stem, extension, file_exists);
    save_clipboard_to_file(app, files.current_file_name, true);
    if (app.settings.LaunchOnSave) open_with_shell(files.current_file_name);
    return;
  }
  files.current_file_name = stem;
  OPENFILENAMEW& r = dialog_record(app, stem, false);
  app.file_dialog.title.fill(L'\0');
  r.lpstrFilter = filters;
  r.nFilterIndex = 1;
  r.lpstrFileTitle = app.file_dialog.title.data();
  r.nMaxFileTitle = static_cast<DWORD>(app.file_dialog.title.size());
  r.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  r.lpstrDefExt = extension && std::string_view(extension) == ".bmp" ? L"bmp" : L"txt";
  if (!GetSaveFileNameW(&r)) return;
  files.current_file_name = narrow(app.file_dialog.file.data());
  save_clipboard_to_file(app, files.current_file_name, true);
  if (app.settings.LaunchOnSave) open_with_shell(files.current_file_name);
  ++files.save_as_count;
}

void choose_drop_mode(App& app, unsigned id) {
  app.settings.DroppedFileOperation = static_cast<int32_t>(id - IDM_DROP_IGNORES);
}

void handle_drop(App& app, HDROP drop) {
  FilesPart& files = app.files;
  // A drop waits in its boxes; one that comes meanwhile would pull the list
  // it walks from under it. It is refused.
  if (files.dropping) {
    DragFinish(drop);
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  CountScope busy(files.dropping);
  const HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  files.drop.clear();
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  try {
    if (count > 0) {
      files.drop.resize(count);
      ++files.drop_serial;
      std::vector<std::string> names;
      for (UINT i = count; i-- > 0;) {
        DroppedFile& file = files.drop[i];
        // The name as the shell gives it, in UTF-16, and to the system again
        // only through the wide functions: never a code page, whose best-fit
        // conversion can turn a harmless character into a separator.
        std::wstring wide(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, wide.data(), static_cast<UINT>(wide.size() + 1));
        file.path = narrow(wide);
        const std::size_t slash = file.path.find_last_of('\\');
        file.base_name = slash == std::string::npos ? 0 : slash + 1;
        read_times(app, file);

        const std::size_t position = count - i;
        if (app.frame.status_bar) {
          char progress[kStatusTextSize];
          format_bounded(progress, sizeof progress, "Processing file %u of %u; %s.",
                         static_cast<unsigned>(position), count, file.path.c_str());
          SendMessageW(app.frame.status_bar, SB_SETTEXTW, 0,
                       reinterpret_cast<LPARAM>(widen(progress).c_str()));
          paint_progress(app, position, count);
        }
        switch (app.settings.DroppedFileOperation) {
          case kDropReads:
            copy_file_to_clipboard(app.main_window, widen(file.path).c_str());
            break;
          case kDropWrites:
            save_clipboard_to_file(app, file.path);
            if (app.settings.LaunchOnSave) open_with_shell(file.path);
            break;
          case kDropPalmDoc:
          case kDropPalmDocLaunch:
            if (convert_palm_doc(app, file.path,
                                 app.settings.DroppedFileOperation == kDropPalmDocLaunch) != 0) {
              MessageBoxW(app.main_window, widen(file.path).c_str(),
                          L"Error during conversion; conversion failed!", MB_ICONEXCLAMATION);
            }
            break;
          case kDropFileNames:
            names.push_back(file.path);
            break;
          default:
            break;
        }
      }
      if (!names.empty()) {
        // Collected last to first; the list runs from the last dropped to the first.
        std::reverse(names.begin(), names.end());
        // ANSI text when the code page holds every name, else Unicode text.
        const std::string list = dropped_names_text(names);
        const std::optional<std::string> ansi = exact_ansi(list);
        write_clipboard_value(app.main_window, ansi ? TextValue{*ansi, false} : TextValue{list, true});
      }
    }
  } catch (const std::bad_alloc&) {
    files.drop.clear();  // no room for the drop: it ends with nothing done
  }
  DragFinish(drop);
  MessageBeep(MB_ICONASTERISK);
  SetCursor(previous);
}

}  // namespace kestrin
