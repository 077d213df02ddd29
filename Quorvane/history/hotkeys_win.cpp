#include "history/hotkeys_win.h"

#include <versionhelpers.h>

#include <cstring>
#include <vector>

#include "history/history_win.h"
#include "clipboard/seam_win.h"
#include "history/paste_win.h"
#include "res/resource.h"
#include "run_command_win.h"
#include "wide_win.h"

namespace kestrin {

static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT && kModWin == MOD_WIN,
              "the chords' modifier bits are the system's own");

namespace {

constexpr int kFirstHotkeyId = 0x100;  // RegisterHotKey ids of the [Hotkeys] lines

// A command some menu of the program has (the main menu holds them all, the
// tray menu a few of its own).
bool on_a_menu(const App& app, unsigned id) {
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (menu && GetMenuState(menu, id, MF_BYCOMMAND) != static_cast<UINT>(-1)) return true;
  }
  return false;
}

}  // namespace

// The buffer grows until the section fits.
std::vector<std::string> profile_section_lines(const char* section, const std::string& ini) {
  std::vector<char> buffer(1 << 16);
  DWORD size = 0;
  for (;;) {
    size = GetPrivateProfileSectionA(section, buffer.data(), static_cast<DWORD>(buffer.size()), ini.c_str());
    // Cut short, the function returns the buffer's size less two.
    if (size + 2 < buffer.size() || buffer.size() >= (std::size_t{1} << 26)) break;
    buffer.resize(buffer.size() * 4);
  }
  std::vector<std::string> lines;
  for (const char* line = buffer.data(); line < buffer.data() + size && *line; line += std::strlen(line) + 1) {
    lines.emplace_back(line);
  }
  return lines;
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
  if (present) lines = profile_section_lines("Hotkeys", ini);
  std::vector<std::string> errors;
  app.history->hotkeys =
      parse_hotkeys(lines, present, &errors, [&app](unsigned id) { return on_a_menu(app, id); });
  if (!errors.empty()) {
    const std::string text = "These lines of [Hotkeys] in the settings are not used:" + refused_lines_text(errors);
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin Hotkeys", MB_ICONWARNING);
  }
}

void unregister_hotkeys(App& app) {
  HistoryPart& h = *app.history;
  for (int id : h.registered) {
    if (id) UnregisterHotKey(app.main_window, id);
  }
  h.registered.clear();
}

void register_hotkeys(App& app, bool report) {
  HistoryPart& h = *app.history;
  unregister_hotkeys(app);
  h.registered.assign(h.hotkeys.size(), 0);
  // Windows before 7 refuse MOD_NOREPEAT, and with it the hotkey.
  const UINT no_repeat = IsWindows7OrGreater() ? MOD_NOREPEAT : 0;
  std::vector<std::string> taken;
  for (std::size_t i = 0; i < h.hotkeys.size(); ++i) {
    const Hotkey& k = h.hotkeys[i];
    const bool needs_history = k.action == HotkeyAction::History || k.action == HotkeyAction::PasteHistory;
    if (needs_history && !app.settings.History) continue;
    const int id = kFirstHotkeyId + static_cast<int>(i);
    if (RegisterHotKey(app.main_window, id, k.modifiers | no_repeat, k.key)) {
      h.registered[i] = id;
    } else {
      taken.push_back(k.chord + " (the line \"" + k.line + "\" in [Hotkeys])");
    }
  }
  if (report && !taken.empty()) {
    const std::string text = "These hotkeys are already held by another program and do not work "
                             "in Kestrin; the others do:" + refused_lines_text(taken);
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin Hotkeys", MB_ICONWARNING);
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
        if (const HistoryEntry* e = h.model.shown_at(k.value); e && recall_history_entry(app, e->id).done) {
          const PasteResult result = paste_into_foreground(GetForegroundWindow());
          if (result != PasteResult::Sent) MessageBeep(MB_ICONASTERISK);
        } else {
          MessageBeep(MB_ICONASTERISK);
        }
        break;
      case HotkeyAction::PastePlainText:
        if (!make_clipboard_plain(app) || paste_into_foreground(GetForegroundWindow()) != PasteResult::Sent) {
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

void read_history_rules(App& app) {
  HistoryPart& h = *app.history;
  h.format_filter = FormatFilter(app.settings.HistoryFormats);
  std::vector<std::string> lines = profile_section_lines("HistoryIgnore", app.settings_location.profile_name);
  for (std::string& line : lines) line = ansi_to_utf8(line);
  std::vector<std::string> errors;
  h.ignore_rules = parse_ignore_rules(lines, &errors);
  if (!errors.empty()) {
    const std::string text = "These lines of [HistoryIgnore] in the settings are not used:" + refused_lines_text(errors);
    MessageBoxW(app.main_window, widen(text).c_str(), L"Kestrin History", MB_ICONWARNING);
  }
}

std::string ignore_rules_text(const App& app) {
  const std::size_t n = app.history ? app.history->ignore_rules.size() : 0;
  if (n == 0) return "none";
  return std::to_string(n) + (n == 1 ? " rule" : " rules");
}

}  // namespace kestrin
