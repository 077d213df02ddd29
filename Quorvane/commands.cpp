#include "commands.h"

#include <winsock2.h>

#include <algorithm>

#include "clipboard/change.h"
#include "clipboard/floating_status.h"
#include "clipboard/viewer_win.h"
#include "dialogs.h"
#include "frame.h"
#include "transform/frames.h"
#include "res/resource.h"

namespace kestrin {

namespace {

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

constexpr CommandEntry kCommands[] = {
    {IDM_ABOUT, show_about},
    {IDM_STATUS_BAR, toggle_status_bar},
    {IDM_SHOW_MENU, toggle_menu_bar},
    {IDM_TOOL_WINDOW_STYLE, toggle_tool_window},
    {IDM_HIDE_CAPTION_BAR, toggle_caption},
    {IDM_DEBUG_DISPLAY, debug_display},
    {IDM_EXIT, exit_program},
    {IDM_BEEP_ON_CHANGE, beep_on_change},
    {IDM_FF_TO_NEW_LINES, run_growing_command},
    {IDM_AUTO_FOCUS, auto_focus},
    {IDM_DELETE, delete_clipboard},
    {IDM_NEW_LINES_TO_FF, run_shrinking_command},
    {IDM_REVERSE_CASE, run_same_length_command},
    {IDM_LOWER_CASE, run_same_length_command},
    {IDM_UPPER_CASE, run_same_length_command},
    {IDM_PHONE_NUMBER, run_same_length_command},
    {IDM_CR_TO_LF, run_same_length_command},
    {IDM_LF_TO_CR, run_same_length_command},
    {IDM_CR_TO_FF, run_same_length_command},
    {IDM_FF_TO_CR, run_same_length_command},
    {IDM_FF_TO_LF, run_same_length_command},
    {IDM_LF_TO_FF, run_same_length_command},
    {IDM_EXCESS_FF, run_shrinking_command},
    {IDM_EXCESS_NEW_LINES, run_shrinking_command},
    {IDM_EXCESS_CR, run_shrinking_command},
    {IDM_EXCESS_LF, run_shrinking_command},
    {IDM_REMOVE_FF, run_shrinking_command},
    {IDM_REMOVE_NEW_LINES, run_shrinking_command},
    {IDM_REMOVE_CR, run_shrinking_command},
    {IDM_REMOVE_LF, run_shrinking_command},
    {IDM_FF_TO_SPACE, run_same_length_command},
    {IDM_NEW_LINES_TO_SPACES, run_shrinking_command},
    {IDM_CR_TO_SPACE, run_same_length_command},
    {IDM_LF_TO_SPACE, run_same_length_command},
    {IDM_SPACE_TO_CR, run_same_length_command},
    {IDM_SPACE_TO_LF, run_same_length_command},
    {IDM_SPACE_TO_FF, run_same_length_command},
    {IDM_SPACES_TO_NEW_LINES, run_growing_command},
    {IDM_CHESS_LEFT_RIGHT, run_same_length_command},
    {IDM_CHESS_TOP_BOTTOM, run_same_length_command},
    {IDM_CHESS_BOTH, run_same_length_command},
    {IDM_REMOVE_NON_ASCII, run_shrinking_command},
    {IDM_FOREGROUND_COLOR, choose_foreground_colour},
    {IDM_BACKGROUND_COLOR, choose_background_colour},
    {IDM_FONT, choose_viewer_font},
    {IDM_STAMP_COMPACT, run_stamp_command},
    {IDM_STAMP_SLASHED, run_stamp_command},
    {IDM_PREPEND_STAMP, run_prepend_stamp},
    {IDM_TRAILING_WHITE_SPACE, run_shrinking_command},
    {IDM_LEADING_WHITE_SPACE, run_shrinking_command},
    {IDM_ADD_CR, run_growing_command},
    {IDM_ADD_NEW_LINES, run_growing_command},
    {IDM_ADD_LF, run_growing_command},
    {IDM_EXCESS_SPACES, run_shrinking_command},
    {IDM_CLEANUP_SINGLE_SPACED, run_cleanup_recipe},
    {IDM_CLEANUP_DOUBLE_SPACED, run_cleanup_recipe},
    {IDM_CLEANUP_SOURCE_CODE, run_cleanup_recipe},
    {IDM_CLEANUP_PGN_COMMENTS, run_cleanup_recipe},
    {IDM_FORWARD_TO_REVERSE_SLASHES, run_same_length_command},
    {IDM_REVERSE_TO_FORWARD_SLASHES, run_same_length_command},
    {IDM_FLIP_SLASHES, run_same_length_command},
    {IDM_EXCESS_NEW_LINES_LEAVE_ONE, run_shrinking_command},
    {IDM_CLEANUP_MEMO_PAD, run_cleanup_recipe},
    {IDM_REMOVE_SPACES, run_shrinking_command},
    {IDM_ALWAYS_ON_TOP, toggle_always_on_top},
    {IDM_APPEND, toggle_append},
    {IDM_APPEND_OPTIONS, toggle_append},
    {IDM_CONFIRM_EXIT, confirm_exit},
    {IDM_LAUNCH_ON_SAVE, launch_on_save},
    {IDM_REMOVE_PARENTHESES, run_shrinking_command},
    {IDM_REMOVE_BRACKETS, run_shrinking_command},
    {IDM_REMOVE_ANGLE_BRACKETS, run_shrinking_command},
    {IDM_REMOVE_BRACES, run_shrinking_command},
    {IDM_CLEANUP_SINGLE_LINE, run_cleanup_recipe},
    {IDM_CLEANUP_WORD_PER_LINE, run_cleanup_recipe},
    {IDM_SHOW_STATUS_WINDOW, toggle_floating_status},
    {IDM_APPEND_NO_SEPARATOR, choose_separator},
    {IDM_APPEND_SPACE, choose_separator},
    {IDM_APPEND_NEW_LINE, choose_separator},
    {IDM_APPEND_DOUBLE_NEW_LINE, choose_separator},
    {IDM_APPEND_FORM_FEED, choose_separator},
    {IDM_TOGGLE_VISIBILITY, toggle_visibility},
    {IDM_SHELL_AUTOMATICALLY, shell_automatically},
    {IDM_OPTIONS, show_options},
    {IDM_NEXT_IDEA, next_idea},
    {IDM_BINARY_WITH_NEW_LINES, ask_binary_count, 1},
    {IDM_AUTO_CLEANUP, auto_cleanup},
    {IDM_LOG_DEBUGGING, log_debugging},
    {IDM_TOGGLE_MAXIMIZED, toggle_maximized},
    {IDM_WINDOW_TO_BOTTOM, window_to_bottom},
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

namespace {

const CommandEntry* find_entry(unsigned id) {
  auto it = std::lower_bound(std::begin(kCommands), std::end(kCommands), id,
                             [](const CommandEntry& e, unsigned key) { return e.id < key; });
  return it != std::end(kCommands) && it->id == id ? it : nullptr;
}

}  // namespace

CommandHandler find_command(unsigned id) {
  const CommandEntry* entry = find_entry(id);
  return entry ? entry->handler : nullptr;
}

LRESULT dispatch_command(App& app, WPARAM wparam) {
  const unsigned id = LOWORD(wparam);
  const CommandEntry* entry = find_entry(id);
  if (!entry) {
    show_not_implemented(app);
    return 0;
  }
  entry->handler(app, id);
  return entry->result;
}

void run_command(const App& app, unsigned id) {
  SendMessageA(app.main_window, WM_COMMAND, id, 0);
}

}  // namespace kestrin
