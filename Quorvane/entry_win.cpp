#include "entry_win.h"

#include "app_win.h"
#include "command_line.h"
#include "files/file_clipboard_win.h"
#include "main_window_win.h"
#include "settings_win.h"
#include "raii_win.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr int kExitCommandLine = 1;
constexpr int kExitNormal = 0;

int copy_to_clipboard(const std::string& file_name) {
  const std::wstring path = widen(file_name);
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    copy_file_to_clipboard(nullptr, path.c_str());
    MessageBoxW(nullptr, path.c_str(), L"Tried to copy file contents to clipboard.",
                MB_ICONWARNING);
  } else {
    MessageBoxW(nullptr, path.c_str(), L"Can not open file to copy to the clipboard.",
                MB_ICONWARNING);
  }
  return kExitCommandLine;
}

// The arguments after the program's name, from the wide command line, as
// UTF-8: a file name outside the ANSI code page arrives whole.
std::string arguments() {
  const wchar_t* line = GetCommandLineW();
  if (!line) return {};
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return narrow(line);
}

}  // namespace

int run_kestrin(HINSTANCE instance, const char*, int show_command) {
  const std::string command_line = arguments();
  const CommandLine parsed = parse_command_line(command_line);
  switch (parsed.kind) {
    case CommandLine::Kind::CopyTo:
      return copy_to_clipboard(parsed.file_name);
    case CommandLine::Kind::Refused:
      MessageBoxW(nullptr, widen(command_line).c_str(), L"Command line not understood",
                  MB_ICONWARNING);
      return kExitCommandLine;
    case CommandLine::Kind::None:
      break;
  }

  UniqueHandle mutex(CreateMutexA(nullptr, TRUE, kMutexName));
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    mutex.reset();
    MessageBoxA(nullptr, "Can not run more than one copy of this program at a time.", "Error",
                MB_ICONWARNING);
    return kExitNormal;
  }

  App app;  // the twenty slots start empty
  app.instance = instance;
  app.settings_location = choose_settings_location();
  if (!register_main_class(app)) return kExitNormal;
  if (!create_main_window(app)) return kExitNormal;
  ShowWindow(app.main_window, show_command);
  UpdateWindow(app.main_window);

  // A wide loop: characters typed into the program's Unicode windows (the
  // history's search box) reach them whole; ANSI windows get theirs converted.
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (mutex) ReleaseMutex(mutex.get());
  return static_cast<int>(message.wParam);
}

}  // namespace kestrin
