#include "files/shell_win.h"
#include "clipboard/seam_win.h"

#include <shellapi.h>

#include <cstdlib>

#include "files/shell.h"
#include "res/resource.h"

namespace kestrin {

namespace {

constexpr const char* kDefaultPathExt = ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC";

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void shell_clipboard(App& app, unsigned id) {
  const char* verb = id == IDM_SHELL_EXPLORE ? "explore" : "open";
  std::optional<std::string> text;
  {
    ClipboardSession session(app.main_window);
    text = copy_clipboard_text(session);
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
    ShellExecuteA(nullptr, verb, item.c_str(), nullptr, item.c_str(), SW_SHOWNORMAL);
  }
}

}  // namespace kestrin
