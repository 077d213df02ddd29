#include "dialogs_win.h"

#include <string>

#include "run_command_win.h"
#include "frame_win.h"
#include "history/hotkeys_win.h"
#include "wide_win.h"
#include "res/resource.h"

namespace kestrin {

INT_PTR CALLBACK info_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          return TRUE;  // stays open: only OK or Enter closes it
        case IDM_MY_HOME_PAGE:
        case IDM_KESTRIN_PAGE:
          SendMessageA(GetParent(dialog), WM_COMMAND, wparam, lparam);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

namespace {

// The check boxes of the Options dialog, the settings they edit, and the menu
// command that flips the same setting (0: none).
struct OptionBox {
  int id;
  int32_t Settings::*setting;
  unsigned command;
};
constexpr OptionBox kOptionBoxes[] = {
    {IDM_APPEND, &Settings::Append, IDM_APPEND},
    {IDM_STATUS_BAR, &Settings::StatusWindow, IDM_STATUS_BAR},
    {IDM_ALWAYS_ON_TOP, &Settings::AlwaysOnTop, IDM_ALWAYS_ON_TOP},
    {IDM_LAUNCH_ON_SAVE, &Settings::LaunchOnSave, IDM_LAUNCH_ON_SAVE},
    {IDM_SHELL_AUTOMATICALLY, &Settings::AutoShell, IDM_SHELL_AUTOMATICALLY},
    {IDM_BEEP_ON_CHANGE, &Settings::BeepOnChange, IDM_BEEP_ON_CHANGE},
    {IDC_OPT_LEFT_CLICK, &Settings::LeftClickViewToggle, 0},
    {IDC_OPT_FLOATING, &Settings::ShowStatus, IDM_SHOW_STATUS_WINDOW},
    {IDM_AUTO_CLEANUP, &Settings::AutoCleanup, IDM_AUTO_CLEANUP},
    {IDM_DEBUG_DISPLAY, &Settings::DebugClipboardTypes, IDM_DEBUG_DISPLAY},
    {IDM_LOG_DEBUGGING, &Settings::DebugLogging, IDM_LOG_DEBUGGING},
    {IDM_SHOW_MENU, &Settings::DisplayMainMenu, IDM_SHOW_MENU},
    {IDM_TOOL_WINDOW_STYLE, &Settings::ToolWindowStyle, IDM_TOOL_WINDOW_STYLE},
    {IDM_CONFIRM_EXIT, &Settings::ConfirmQuit, IDM_CONFIRM_EXIT},
    {IDM_HIDE_CAPTION_BAR, &Settings::HideCaptionBar, IDM_HIDE_CAPTION_BAR},
    {IDC_OPT_AUTO_SCROLL, &Settings::AutoScrollClipboard, 0},
};

// What the Options dialog edits, and what it only shows.
struct OptionsDialog {
  Settings* settings;
  std::string hotkeys;  // the global hotkeys in force, one per line
  std::string ignore_rules;  // how many [HistoryIgnore] rules are in force
};

INT_PTR CALLBACK options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<OptionsDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  Settings* settings = state ? state->settings : nullptr;
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    state = reinterpret_cast<OptionsDialog*>(lparam);
    settings = state->settings;
    SetDlgItemTextW(dialog, IDC_OPT_HOTKEYS, widen(state->hotkeys).c_str());
    SetDlgItemTextW(dialog, IDC_OPT_IGNORE_RULES, widen(state->ignore_rules).c_str());
    // The stored value is the check state, as it is (a 7 shows checked).
    for (const OptionBox& box : kOptionBoxes) {
      CheckDlgButton(dialog, box.id, static_cast<UINT>(settings->*box.setting));
    }
    SetDlgItemInt(dialog, IDC_OPT_SHELL_ATTEMPTS, static_cast<UINT>(settings->ShellSanityCheck),
                  TRUE);
    SetDlgItemTextA(dialog, IDC_OPT_DRIVE_SOURCE, settings->DriveMappingSource.c_str());
    SetDlgItemTextA(dialog, IDC_OPT_DRIVE_DESTINATION, settings->DriveMappingDestination.c_str());
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wparam) == IDOK) {
    for (const OptionBox& box : kOptionBoxes) {
      settings->*box.setting = IsDlgButtonChecked(dialog, box.id) == BST_CHECKED ? 1 : 0;
    }
    BOOL valid = FALSE;
    const int attempts =
        static_cast<int>(GetDlgItemInt(dialog, IDC_OPT_SHELL_ATTEMPTS, &valid, TRUE));
    if (valid) settings->ShellSanityCheck = attempts;
    char source[kDriveMappingSourceMax + 1] = {};
    GetDlgItemTextA(dialog, IDC_OPT_DRIVE_SOURCE, source, sizeof source);
    settings->DriveMappingSource = source;
    char destination[kDriveMappingDestinationMax + 1] = {};
    GetDlgItemTextA(dialog, IDC_OPT_DRIVE_DESTINATION, destination, sizeof destination);
    settings->DriveMappingDestination = destination;
    EndDialog(dialog, 1);
    return TRUE;
  }
  if (LOWORD(wparam) == IDCANCEL) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

struct NumberPrompt {
  const char* prompt;
  int32_t value;
};

INT_PTR CALLBACK number_prompt_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<NumberPrompt*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<NumberPrompt*>(lparam);
      SetDlgItemInt(dialog, IDC_HOW_MANY_VALUE, static_cast<UINT>(state->value), TRUE);
      if (state->prompt) SetDlgItemTextA(dialog, IDC_HOW_MANY_PROMPT, state->prompt);
      return TRUE;
    case WM_COMMAND:
      if (wparam == IDOK) {
        BOOL valid = FALSE;
        const int value = static_cast<int>(GetDlgItemInt(dialog, IDC_HOW_MANY_VALUE, &valid, TRUE));
        if (valid) state->value = value;
        EndDialog(dialog, 1);
      } else if (wparam == IDCANCEL) {
        EndDialog(dialog, 1);
      } else {
        // Every other command, the field's change notifications included.
        MessageBeep(MB_ICONEXCLAMATION);
      }
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void show_options(App& app, unsigned) {
  const Settings before = app.settings;
  OptionsDialog dialog{&app.settings, active_hotkeys_text(app), ignore_rules_text(app)};
  DialogBoxParamA(app.instance, "Options", app.main_window, options_proc,
                  reinterpret_cast<LPARAM>(&dialog));
  Settings& now = app.settings;
  // A box that changed its setting changes it through the setting's own menu
  // command, so that whatever the command does with it (Append takes a new
  // snapshot, the floating window shows or hides) happens here too.
  for (const OptionBox& box : kOptionBoxes) {
    const int32_t chosen = now.*box.setting;
    if (box.command == 0 || (chosen != 0) == (before.*box.setting != 0)) continue;
    now.*box.setting = before.*box.setting;
    run_command(app.main_window, box.command);
    now.*box.setting = chosen;  // as the dialog stores it: 1 or 0
  }
  if (now.DisplayMainMenu != before.DisplayMainMenu) apply_menu_bar(app);
  if (now.HideCaptionBar != before.HideCaptionBar) apply_caption_rule(app);
  if (now.ToolWindowStyle != before.ToolWindowStyle) apply_extended_style_rule(app);
  SetWindowPos(app.main_window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  if (now.StatusWindow && !app.frame.status_bar) create_status_bar(app);
  if (!now.StatusWindow && app.frame.status_bar) destroy_status_bar(app);
  SetWindowPos(app.main_window, now.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED);
  InvalidateRect(app.main_window, nullptr, TRUE);
  app.frame.tray_icon_count = 0;  // a changed Append shows at the next tick
}

void show_about(App& app, unsigned) {
  DialogBoxParamA(app.instance, "AboutBox", app.main_window, info_dialog_proc, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

int32_t ask_number(App& app, HWND parent, const char* prompt, int32_t initial) {
  NumberPrompt state{prompt, initial};
  DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_HOW_MANY), parent, number_prompt_proc,
                  reinterpret_cast<LPARAM>(&state));
  return state.value;
}

void show_not_implemented(App& app) {
  DialogBoxParamA(app.instance, kNotImplementedTemplate, app.main_window, info_dialog_proc, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void ask_binary_count(App& app, unsigned) {
  if (!IsClipboardFormatAvailable(CF_TEXT)) return;
  app.settings.ConsecutiveBinaryCharactersToRemove =
      ask_number(app, app.main_window, "Number of consecutive non-ASCII characters:",
                 app.settings.ConsecutiveBinaryCharactersToRemove);
}

}  // namespace kestrin
