#include "commands.h"

#include <winsock2.h>

#include <algorithm>

#include "clipboard/change.h"
#include "clipboard/floating_status.h"
#include "clipboard/viewer.h"
#include "dialogs.h"
#include "res/resource.h"

namespace kestrin {

namespace {

void flip(int32_t& flag) { flag = flag ? 0 : 1; }

void exit_program(App& app, unsigned) { SendMessageA(app.main_window, WM_CLOSE, 0, 0); }

// Looks up the local host name; the answer is not used.
void next_idea(App&, unsigned) {
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return;
  char host[260] = {};
  if (gethostname(host, sizeof host - 1) == 0) gethostbyname(host);
  WSACleanup();
}

void debug_display(App& app, unsigned) {
  flip(app.settings.DebugClipboardTypes);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void log_debugging(App& app, unsigned) { flip(app.settings.DebugLogging); }
void auto_focus(App& app, unsigned) { flip(app.settings.AutoFocus); }
void beep_on_change(App& app, unsigned) { flip(app.settings.BeepOnChange); }
void confirm_exit(App& app, unsigned) { flip(app.settings.ConfirmQuit); }
void launch_on_save(App& app, unsigned) { flip(app.settings.LaunchOnSave); }
void shell_automatically(App& app, unsigned) { flip(app.settings.AutoShell); }
void auto_cleanup(App& app, unsigned) { flip(app.settings.AutoCleanup); }

constexpr CommandEntry kCommands[] = {
    {IDM_DEBUG_DISPLAY, debug_display},
    {IDM_EXIT, exit_program},
    {IDM_BEEP_ON_CHANGE, beep_on_change},
    {IDM_AUTO_FOCUS, auto_focus},
    {IDM_DELETE, delete_clipboard},
    {IDM_FOREGROUND_COLOR, choose_foreground_colour},
    {IDM_BACKGROUND_COLOR, choose_background_colour},
    {IDM_FONT, choose_viewer_font},
    {IDM_APPEND, toggle_append},
    {IDM_APPEND_OPTIONS, toggle_append},
    {IDM_CONFIRM_EXIT, confirm_exit},
    {IDM_LAUNCH_ON_SAVE, launch_on_save},
    {IDM_SHOW_STATUS_WINDOW, toggle_floating_status},
    {IDM_APPEND_NO_SEPARATOR, choose_separator},
    {IDM_APPEND_SPACE, choose_separator},
    {IDM_APPEND_NEW_LINE, choose_separator},
    {IDM_APPEND_DOUBLE_NEW_LINE, choose_separator},
    {IDM_APPEND_FORM_FEED, choose_separator},
    {IDM_SHELL_AUTOMATICALLY, shell_automatically},
    {IDM_NEXT_IDEA, next_idea},
    {IDM_AUTO_CLEANUP, auto_cleanup},
    {IDM_LOG_DEBUGGING, log_debugging},
};

constexpr bool sorted_and_unique() {
  for (std::size_t i = 1; i < std::size(kCommands); ++i) {
    if (kCommands[i - 1].id >= kCommands[i].id) return false;
  }
  return true;
}
static_assert(sorted_and_unique(), "the command table must be sorted by identifier");

}  // namespace

std::span<const CommandEntry> command_table() { return kCommands; }

CommandHandler find_command(unsigned id) {
  auto it = std::lower_bound(std::begin(kCommands), std::end(kCommands), id,
                             [](const CommandEntry& e, unsigned key) { return e.id < key; });
  return it != std::end(kCommands) && it->id == id ? it->handler : nullptr;
}

void dispatch_command(App& app, WPARAM wparam) {
  const unsigned id = LOWORD(wparam);
  if (CommandHandler handler = find_command(id)) {
    handler(app, id);
  } else {
    show_not_implemented(app);
  }
}

void run_command(const App& app, unsigned id) {
  SendMessageA(app.main_window, WM_COMMAND, id, 0);
}

}  // namespace kestrin
