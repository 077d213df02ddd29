#include "driver.h"
#include "utf.h"

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

namespace kestrin::test {

std::string kestrin_exe() {
  const char* unix_path = std::getenv("KESTRIN_EXE");
  if (!unix_path || !*unix_path) return "Kestrin.exe";
  std::string path = unix_path;
  if (path.front() == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

std::string windows_ini_path() {
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\Quorvane.INI";
}

std::string appdata_ini_path() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + "\\Kestrin\\Quorvane.INI";
}

void write_file(const std::string& path, const std::string& bytes) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::optional<std::string> read_file(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  return bytes;
}

void remove_file(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

std::string temp_dir() {
  static std::atomic<int> counter{0};
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "kestrin-test-" + std::to_string(GetCurrentProcessId()) +
                    "-" + std::to_string(counter++);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::vector<std::string> ini_keys(const std::string& ini) {
  std::vector<std::string> keys;
  std::string section;
  for (const std::string& line : lines_of(ini)) {
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else if (auto eq = line.find('='); eq != std::string::npos) {
      keys.push_back(section + "/" + line.substr(0, eq));
    }
  }
  return keys;
}

std::optional<std::string> ini_value(const std::string& ini, const std::string& section,
                                     const std::string& key) {
  std::string current;
  for (const std::string& line : lines_of(ini)) {
    if (!line.empty() && line.front() == '[') {
      current = line.substr(1, line.find(']') - 1);
    } else if (auto eq = line.find('='); eq != std::string::npos && current == section &&
                                         line.substr(0, eq) == key) {
      return line.substr(eq + 1);
    }
  }
  return std::nullopt;
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

std::vector<HWND> process_windows(DWORD pid, const char* class_name, const char* caption) {
  struct Query {
    DWORD pid;
    const char* class_name;
    const char* caption;
    std::vector<HWND> found;
  } query{pid, class_name, caption, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* q = reinterpret_cast<Query*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != q->pid) return TRUE;
        if (q->class_name) {
          char name[256] = {};
          GetClassNameA(window, name, sizeof name);
          if (std::strcmp(name, q->class_name) != 0) return TRUE;
        }
        if (q->caption && window_text(window) != q->caption) return TRUE;
        q->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&query));
  return query.found;
}

std::string window_text(HWND window) {
  char text[4096] = {};
  // WM_GETTEXT through a timeout: a hung program must not hang the test.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 5000, &length)) {
    return {};
  }
  return std::string(text, length);
}

std::vector<std::string> child_texts(HWND dialog) {
  std::vector<std::string> texts;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<std::string>*>(param)->push_back(window_text(child));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

void press_button(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool choose_file(HWND dialog, const std::string& name) {
  HWND field = nullptr;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        char cls[32] = {};
        GetClassNameA(child, cls, sizeof cls);
        // The name field: edt1 of the old dialogs, the edit of cmb13 of the new.
        if (lstrcmpiA(cls, "Edit") == 0 &&
            (GetDlgCtrlID(child) == 1152 || GetDlgCtrlID(GetParent(child)) == 1148)) {
          *reinterpret_cast<HWND*>(param) = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&field));
  if (!field) return false;
  SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  press_button(dialog, IDOK);
  return true;
}

struct Kestrin::DebugState {
  std::mutex mutex;
  std::vector<std::string> strings;
  std::thread thread;
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD pid = 0;
  HANDLE process = nullptr;
  ~DebugState() { CloseHandle(started); }
};

std::unique_ptr<Kestrin> Kestrin::start(const Options& options) {
  std::unique_ptr<Kestrin> kestrin(new Kestrin());
  std::string command_line = "\"" + kestrin_exe() + "\"";
  if (!options.arguments.empty()) command_line += " " + options.arguments;

  if (options.debug_output) {
    // The thread that starts a debugged process must be the one that waits for
    // its debug events.
    kestrin->debug_ = std::make_shared<DebugState>();
    auto state = kestrin->debug_;
    Kestrin* self = kestrin.get();
    state->thread = std::thread([self, command_line] { self->debug_loop(command_line); });
    WaitForSingleObject(state->started, 15000);
    kestrin->pid_ = state->pid;
    if (state->pid) {
      kestrin->process_ =
          OpenProcess(PROCESS_ALL_ACCESS, FALSE, state->pid);
    }
  } else {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE output = nullptr;
    if (!options.output_file.empty()) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      output = CreateFileA(options.output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdOutput = output;
      startup.hStdError = output;
    }
    PROCESS_INFORMATION info{};
    // The command line is UTF-8 and reaches the program whole, through the
    // wide function (a name outside the ANSI code page too).
    const std::u16string units = utf8_to_utf16(command_line);
    std::wstring wide(units.begin(), units.end());
    const BOOL started = CreateProcessW(nullptr, wide.data(), nullptr, nullptr,
                                        output != nullptr, 0, nullptr, nullptr, &startup, &info);
    if (output) CloseHandle(output);
    if (!started) return nullptr;
    CloseHandle(info.hThread);
    kestrin->pid_ = info.dwProcessId;
    kestrin->process_ = info.hProcess;
  }
  if (!kestrin->process_) return nullptr;
  if (options.expect_window) {
    wait_until([&] {
      auto found = process_windows(kestrin->pid_, "Quorvane");
      if (!found.empty()) kestrin->window_ = found.front();
      return kestrin->window_ != nullptr;
    });
    // The window is listed while its creation sequence still runs, and that
    // sequence answers sent messages while it waits on other processes. Its last
    // step handles the clipboard as a change, whose layout titles the window with
    // the Text or bitmap layout line (other contents keep the analysis line).
    if (kestrin->window_) {
      // The first time the program waits for input is in its message loop, after
      // the creation sequence and the launcher's show command.
      WaitForInputIdle(kestrin->process_, 10000);
      wait_until([&] {
        const std::string title = window_text(kestrin->window_);
        const bool analysed_only =
            title.rfind("Size: ", 0) == 0 ||
            (title.rfind("Bitmap: ", 0) == 0 && title.find('(') == std::string::npos);
        return title != "Orsk's Clipboard Tool" && !title.empty() && !analysed_only &&
               (GetWindowLongA(kestrin->window_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
      });
      kestrin->sync();
    }
  }
  return kestrin;
}

void Kestrin::debug_loop(const std::string& command_line) {
  std::string line = command_line;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &startup, &info)) {
    SetEvent(debug_->started);
    return;
  }
  debug_->pid = info.dwProcessId;
  CloseHandle(info.hThread);
  SetEvent(debug_->started);
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 30000)) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) break;
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const auto& s = event.u.DebugString;
        std::string text(s.nDebugStringLength, '\0');
        SIZE_T got = 0;
        ReadProcessMemory(info.hProcess, s.lpDebugStringData, text.data(), text.size(), &got);
        text.resize(got);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        std::lock_guard<std::mutex> lock(debug_->mutex);
        debug_->strings.push_back(text);
        break;
      }
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
  }
  CloseHandle(info.hProcess);
}

Kestrin::~Kestrin() {
  if (process_) {
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
  }
  if (debug_ && debug_->thread.joinable()) debug_->thread.join();
}

bool Kestrin::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Kestrin::wait_exit(DWORD timeout_ms) {
  if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

std::optional<LRESULT> Kestrin::send(UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT timeout_ms) const {
  DWORD_PTR result = 0;
  if (!window_ ||
      !SendMessageTimeoutA(window_, message, wparam, lparam, SMTO_NORMAL, timeout_ms, &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

void Kestrin::post(UINT message, WPARAM wparam, LPARAM lparam) const {
  PostMessageA(window_, message, wparam, lparam);
}

bool Kestrin::find_window(DWORD timeout_ms) {
  return wait_until(
      [&] {
        auto found = process_windows(pid_, "Quorvane");
        if (!found.empty()) window_ = found.front();
        return window_ != nullptr;
      },
      timeout_ms);
}

bool Kestrin::command(unsigned id) const { return send(WM_COMMAND, id, 0).has_value(); }

HWND Kestrin::wait_for_window(const char* caption, DWORD timeout_ms) const {
  HWND found = nullptr;
  wait_until(
      [&] {
        for (HWND w : process_windows(pid_, nullptr, caption)) {
          if (IsWindowVisible(w)) {
            found = w;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

HWND Kestrin::wait_for_dialog_with_text(const std::string& text, DWORD timeout_ms) const {
  return find_dialog([&](const std::string& t) { return t == text; }, timeout_ms);
}

HWND Kestrin::wait_for_dialog_containing(const std::string& part, DWORD timeout_ms) const {
  return find_dialog([&](const std::string& t) { return t.find(part) != std::string::npos; }, timeout_ms);
}

HWND Kestrin::find_dialog(const std::function<bool(const std::string&)>& matches, DWORD timeout_ms) const {
  HWND found = nullptr;
  wait_until(
      [&] {
        for (HWND w : process_windows(pid_, "#32770")) {
          for (const std::string& t : child_texts(w)) {
            if (matches(t) && IsWindowVisible(w)) {
              found = w;
              return true;
            }
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

std::optional<DWORD> Kestrin::close() {
  post(WM_CLOSE);
  return wait_exit();
}

std::vector<std::string> Kestrin::debug_strings() const {
  if (!debug_) return {};
  std::lock_guard<std::mutex> lock(debug_->mutex);
  return debug_->strings;
}

namespace {

// The clipboard may be held for a moment by the program under test.
bool open_clipboard() {
  return wait_until([] { return OpenClipboard(nullptr) != FALSE; }, 5000);
}

}  // namespace

bool set_clipboard_formats(const std::vector<std::pair<UINT, std::string>>& formats) {
  if (!open_clipboard()) return false;
  EmptyClipboard();
  bool ok = true;
  for (const auto& [format, bytes] : formats) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes.size());
    if (!block) {
      ok = false;
      break;
    }
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    if (!SetClipboardData(format, block)) {
      GlobalFree(block);
      ok = false;
      break;
    }
  }
  CloseClipboard();
  return ok;
}

bool set_clipboard_data(UINT format, const std::string& bytes) {
  return set_clipboard_formats({{format, bytes}});
}

std::string make_dib(int width, int height, uint32_t bgra) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(width * height * 4);
  std::string dib(reinterpret_cast<const char*>(&header), sizeof header);
  for (int i = 0; i < width * height; ++i) {
    dib.append(reinterpret_cast<const char*>(&bgra), 4);
  }
  return dib;
}

UINT registered_format(const char* name) { return RegisterClipboardFormatA(name); }

bool set_clipboard_text(const std::string& text) {
  return set_clipboard_data(CF_TEXT, text + std::string(1, '\0'));
}

std::optional<std::string> clipboard_text() {
  if (!open_clipboard()) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(h))) {
      text = std::string(p, strnlen(p, GlobalSize(h)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

bool empty_clipboard() {
  if (!open_clipboard()) return false;
  EmptyClipboard();
  CloseClipboard();
  return true;
}

std::string beside_kestrin(const std::string& name) {
  std::string exe = kestrin_exe();
  return exe.replace(exe.rfind('\\') + 1, std::string::npos, name);
}

std::string run_console(const std::string& exe, const std::string& argument,
                        const std::string& input, DWORD& exit_code) {
  const std::string dir = temp_dir();
  const std::string in_path = dir + "\\in.txt", out_path = dir + "\\out.txt";
  write_file(in_path, input);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in = CreateFileA(in_path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                          0, nullptr);
  HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION info{};
  std::string command = "\"" + exe + "\" " + argument;
  exit_code = 999;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    WaitForSingleObject(info.hProcess, 30000);
    GetExitCodeProcess(info.hProcess, &exit_code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  CloseHandle(in);
  CloseHandle(out);
  return read_file(out_path).value_or("");
}

std::vector<std::string> list_items(HWND window) {
  std::vector<std::string> items;
  HWND list = FindWindowExA(window, nullptr, "SysListView32", nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!list || !process) return {"(no list)"};
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
  const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = reinterpret_cast<wchar_t*>(remote + 512);
    item.cchTextMax = 1000;
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    const auto length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote));
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ReadProcessMemory(process, remote + 512, text.data(), text.size() * 2, nullptr);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8, sizeof utf8 - 1, nullptr, nullptr);
    items.emplace_back(utf8);
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return items;
}

}  // namespace kestrin::test
