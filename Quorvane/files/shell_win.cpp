#include "files/shell_win.h"
#include "clipboard/seam_win.h"

#include <shellapi.h>

#include <cstdlib>

#include "files/shell.h"
#include "res/resource.h"
#include "wide_win.h"

namespace kestrin {

namespace {

constexpr const char* kDefaultPathExt = ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC";

bool file_exists(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void shell_clipboard(App& app, unsigned id) {
  const wchar_t* verb = id == IDM_SHELL_EXPLORE ? L"explore" : L"open";
  // The items as UTF-8, handed to the shell in UTF-16: a path outside the
  // ANSI code page is opened as it is named.
  std::optional<std::string> text;
  {
    ClipboardSession session(app.main_window);
    if (std::optional<TextValue> value = read_clipboard_text(session)) {
      text = value->unicode ? std::move(value->bytes) : ansi_to_utf8(value->bytes);
    }
  }
  if (!text) return;
  const ShellRules rules{app.settings.ShellSanityCheck, app.settings.DriveMappingSource,
                         app.settings.DriveMappingDestination};
  // The automatic run follows copies any program can make: nothing it opens
  // may be a program.
  const bool automatic = app.files.automatic_shell > 0;
  const char* path_ext = std::getenv("PATHEXT");
  for (const std::string& item : shell_items(*text, rules)) {
    if (automatic && automatic_run_skips(item, path_ext ? path_ext : kDefaultPathExt, file_exists)) {
      continue;
    }
    const std::wstring wide = widen(item);
    ShellExecuteW(nullptr, verb, wide.c_str(), nullptr, wide.c_str(), SW_SHOWNORMAL);
  }
}

}  // namespace kestrin
