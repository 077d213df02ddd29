#include "commands_win.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

#include "clipboard/change_win.h"
#include "clipboard/floating_status_win.h"
#include "clipboard/viewer_win.h"
#include "dialogs_win.h"
#include "extras/extras_win.h"
#include "files/files_win.h"
#include "files/shell_win.h"
#include "frame_win.h"
#include "history/history_win.h"
#include "history/sync_win.h"
#include "transform/frames_win.h"
#include "transform/long_command_win.h"
#include "transform/rules.h"
#include "res/resource.h"
#include "slots/slots_win.h"

namespace kestrin {

namespace {

void exit_program(App& app, unsigned) { SendMessageA(app.main_window, WM_CLOSE, 0, 0); }

// Looks up the local host name; the answer is not used.
void next_idea(App&, unsigned) {
  WinsockSession sockets(MAKEWORD(1, 1));
  if (!sockets) return;
  char host[260] = {};
  if (gethostname(host, sizeof host - 1) == 0) gethostbyname(host);
}

void debug_display(App& app, unsigned) {
  flip_flag(app.settings.DebugClipboardTypes);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void log_debugging(App& app, unsigned) { flip_flag(app.settings.DebugLogging); }
void auto_focus(App& app, unsigned) { flip_flag(app.settings.AutoFocus); }
void beep_on_change(App& app, unsigned) { flip_flag(app.settings.BeepOnChange); }
void confirm_exit(App& app, unsigned) { flip_flag(app.settings.ConfirmQuit); }
void launch_on_save(App& app, unsigned) { flip_flag(app.settings.LaunchOnSave); }
void shell_automatically(App& app, unsigned) { flip_flag(app.settings.AutoShell); }
void auto_cleanup(App& app, unsigned) { flip_flag(app.settings.AutoCleanup); }

// "Fetch URLs in clipboard" has no function of its own.
void not_implemented(App& app, unsigned) { show_not_implemented(app); }

constexpr CommandEntry one(unsigned id, CommandHandler handler, LRESULT result = 0) {
  return {id, id, handler, result};
}
constexpr CommandEntry range(unsigned first, unsigned last, CommandHandler handler) {
  return {first, last, handler, 0};
}

void cancel_command(App& app, unsigned) { cancel_long_command(app); }

// The commands that are not text commands (those are the rule table's), in the
// order of the menus they come from.
constexpr CommandEntry kCommands[] = {
    // File
    one(IDM_OPEN, open_file),
    one(IDM_SAVE, save_file),
    one(IDM_SAVE_AS, save_file),
    one(IDM_EXIT, exit_program),
    // Edit (the Replace, Remove and Add items are text commands)
    one(IDM_DELETE, delete_clipboard),
    one(IDM_APPEND, toggle_append),
    one(IDM_BINARY_WITH_NEW_LINES, ask_binary_count, 1),
    one(IDM_CANCEL_COMMAND, cancel_command),
    one(IDM_SHELL_OPEN, shell_clipboard),
    // Cleanup (the recipes are text commands)
    one(IDM_AUTO_CLEANUP, auto_cleanup),
    // Recall
    range(IDM_RECALL_FIRST, IDM_RECALL_LAST, recall_slot),
    range(IDM_STORE_FIRST, IDM_STORE_LAST, store_slot),
    one(IDM_SORT_NONE, order_slots_command),
    one(IDM_SORT_ALPHABETICALLY, order_slots_command),
    one(IDM_SORT_TIME_ADDED, order_slots_command),
    one(IDM_SORT_LAST_USED, order_slots_command),
    one(IDM_SORT_TIMES_USED, order_slots_command),
    one(IDM_LOAD_CLIPS, load_clips),
    one(IDM_SAVE_CLIPS, save_clips),
    one(IDM_CLEAR_CLIPS, clear_clips),
    one(IDM_AUTO_CLIP_FILE, toggle_auto_clip_file),
    one(IDM_HISTORY, show_history),
    one(IDM_CLEAR_HISTORY, clear_history),
    // Options
    one(IDM_APPEND_OPTIONS, toggle_append),
    range(IDM_APPEND_NO_SEPARATOR, IDM_APPEND_FORM_FEED, choose_separator),
    one(IDM_OPTIONS, show_options),
    one(IDM_STATUS_BAR, toggle_status_bar),
    one(IDM_SHOW_MENU, toggle_menu_bar),
    one(IDM_TOOL_WINDOW_STYLE, toggle_tool_window),
    one(IDM_HIDE_CAPTION_BAR, toggle_caption),
    one(IDM_ALWAYS_ON_TOP, toggle_always_on_top),
    one(IDM_WINDOW_TO_BOTTOM, window_to_bottom),
    one(IDM_TOGGLE_MAXIMIZED, toggle_maximized),
    one(IDM_TOGGLE_VISIBILITY, toggle_visibility),
    one(IDM_SHOW_STATUS_WINDOW, toggle_floating_status),
    one(IDM_BEEP_ON_CHANGE, beep_on_change),
    one(IDM_CONFIRM_EXIT, confirm_exit),
    one(IDM_LAUNCH_ON_SAVE, launch_on_save),
    one(IDM_SHELL_AUTOMATICALLY, shell_automatically),
    one(IDM_KEEP_HISTORY, toggle_history),
    one(IDM_SHARE_HISTORY, share_history),
    range(IDM_DROP_IGNORES, IDM_DROP_FILE_NAMES, choose_drop_mode),
    one(IDM_FOREGROUND_COLOR, choose_foreground_colour),
    one(IDM_BACKGROUND_COLOR, choose_background_colour),
    one(IDM_FONT, choose_viewer_font),
    one(IDM_DEBUG_DISPLAY, debug_display),
    one(IDM_LOG_DEBUGGING, log_debugging),
    // Extras (the chess flips are text commands)
    one(IDM_DIAL, dial, 1),
    one(IDM_MODEM_OPTIONS, modem_options),
    one(IDM_FETCH_CSV, fetch_stock_history),
    one(IDM_CSV_DATE_RANGE, stock_date_range),
    one(IDM_FETCH_URLS, not_implemented),
    one(IDM_FAKE_EMAIL_HTML, fake_email_addresses),
    one(IDM_AD_SERVER_TO_HOST, add_ad_servers_to_hosts),
    one(IDM_CD_TRAY, toggle_cd_door),
    one(IDM_CD_SWAP, cd_swap),
    one(IDM_SCREEN_SAVER, start_screen_saver),
    one(IDM_MONITOR_LOW_POWER, monitor_power),
    one(IDM_MONITOR_OFF, monitor_power),
    one(IDM_MINIMIZE_ALL, set_all_windows),
    one(IDM_RESTORE_ALL, set_all_windows),
    one(IDM_MAXIMIZE_ALL, set_all_windows),
    one(IDM_SWAP_MINIMIZED_RESTORED, swap_window_states),
    one(IDM_SWAP_MINIMIZED_MAXIMIZED, swap_window_states),
    one(IDM_SWAP_MAXIMIZED_RESTORED, swap_window_states),
    one(IDM_NEXT_IDEA, next_idea),
    // Help
    one(IDM_ABOUT, show_about),
    one(IDM_MY_HOME_PAGE, open_home_page),
    one(IDM_KESTRIN_PAGE, open_home_page),
    // The menu that is never shown
    one(IDM_SHELL_EXPLORE, shell_clipboard),
    one(IDM_AUTO_FOCUS, auto_focus),
    one(IDM_TOGGLE_ALL_VISIBILITY, toggle_all_visibility),
};
constexpr std::size_t kCommandCount = std::size(kCommands);

// The rows in the order of their identifiers, worked out by the compiler.
constexpr auto kByIdentifier = [] {
  std::array<std::uint16_t, kCommandCount> order{};
  std::iota(order.begin(), order.end(), std::uint16_t{0});
  std::sort(order.begin(), order.end(),
            [](std::uint16_t a, std::uint16_t b) { return kCommands[a].first < kCommands[b].first; });
  return order;
}();

constexpr bool rows_apart() {
  for (const CommandEntry& row : kCommands) {
    if (row.last < row.first) return false;
  }
  for (std::size_t i = 1; i < kCommandCount; ++i) {
    if (kCommands[kByIdentifier[i - 1]].last >= kCommands[kByIdentifier[i]].first) return false;
  }
  return true;
}
static_assert(rows_apart(), "every identifier has at most one row in the command table");

const CommandEntry* find_entry(unsigned id) {
  const auto* end = kByIdentifier.data() + kCommandCount;
  const auto* after = std::upper_bound(kByIdentifier.data(), end, id,
                                       [](unsigned key, std::uint16_t row) {
                                         return key < kCommands[row].first;
                                       });
  if (after == kByIdentifier.data()) return nullptr;
  const CommandEntry& row = kCommands[*(after - 1)];
  return id <= row.last ? &row : nullptr;
}

}  // namespace

std::span<const CommandEntry> command_table() { return kCommands; }

CommandHandler find_command(unsigned id) {
  const CommandEntry* entry = find_entry(id);
  return entry ? entry->handler : nullptr;
}

LRESULT dispatch_command(App& app, WPARAM wparam) {
  const unsigned id = LOWORD(wparam);
  if (const TextCommand* text = find_text_command(id)) {
    run_text_command(app, *text);
    return 0;
  }
  const CommandEntry* entry = find_entry(id);
  if (!entry) {
    show_not_implemented(app);
    return 0;
  }
  entry->handler(app, id);
  return entry->result;
}

}  // namespace kestrin
