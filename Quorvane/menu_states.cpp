#include "menu_states.h"

#include "res/resource.h"

namespace kestrin {

std::vector<MenuItemState> menu_states(const Settings& s, const Analysis& a,
                                       bool clipboard_empty) {
  std::vector<MenuItemState> states;
  auto check = [&](unsigned id, bool on) { states.push_back({id, MenuItemState::Check, on}); };
  auto enable = [&](unsigned id, bool on) { states.push_back({id, MenuItemState::Enable, on}); };
  const int32_t drop = s.DroppedFileOperation;

  check(IDM_TOOL_WINDOW_STYLE, s.ToolWindowStyle);
  check(IDM_SHOW_MENU, s.DisplayMainMenu);
  check(IDM_HIDE_CAPTION_BAR, s.HideCaptionBar);
  check(IDM_APPEND, s.Append);
  check(IDM_APPEND_OPTIONS, s.Append);
  check(IDM_AUTO_FOCUS, s.AutoFocus);
  check(IDM_SHELL_AUTOMATICALLY, s.AutoShell);
  check(IDM_AUTO_CLEANUP, s.AutoCleanup);
  check(IDM_ALWAYS_ON_TOP, s.AlwaysOnTop);
  check(IDM_BEEP_ON_CHANGE, s.BeepOnChange);
  check(IDM_AUTO_CLIP_FILE, s.ClipsAutoFile);
  check(IDM_CONFIRM_EXIT, s.ConfirmQuit);
  check(IDM_DROP_FILE_NAMES, drop == kDropFileNames);
  check(static_cast<unsigned>(s.AppendWith), true);
  check(static_cast<unsigned>(s.AutoCleanupCommand), true);
  check(IDM_DEBUG_DISPLAY, s.DebugClipboardTypes);
  check(IDM_LOG_DEBUGGING, s.DebugLogging);
  check(IDM_DROP_PALM_DOC, drop == kDropPalmDoc);
  check(IDM_DROP_PALM_DOC_LAUNCH, drop == kDropPalmDocLaunch);
  check(IDM_DROP_IGNORES, drop == kDropIgnores);
  check(IDM_DROP_READS, drop == kDropReads);
  check(IDM_DROP_WRITES, drop == kDropWrites);
  check(IDM_LAUNCH_ON_SAVE, s.LaunchOnSave);
  check(IDM_SHOW_STATUS_WINDOW, s.ShowStatus);
  check(IDM_STATUS_BAR, s.StatusWindow);

  const bool text = a.size != 0, cr = a.cr != 0, lf = a.lf != 0, ff = a.ff != 0;
  const bool spaces = a.sp != 0, tabs = a.tab != 0, non_ascii = a.na != 0;
  auto has = [&](char c) { return a.histogram[static_cast<unsigned char>(c)] != 0; };
  for (unsigned id : {IDM_REVERSE_CASE, IDM_LOWER_CASE, IDM_UPPER_CASE, IDM_PHONE_NUMBER}) {
    enable(id, text);
  }
  for (unsigned id : {IDM_CR_TO_LF, IDM_CR_TO_FF, IDM_EXCESS_CR, IDM_REMOVE_CR, IDM_CR_TO_SPACE,
                      IDM_ADD_CR}) {
    enable(id, cr);
  }
  for (unsigned id : {IDM_LF_TO_CR, IDM_LF_TO_FF, IDM_EXCESS_LF, IDM_REMOVE_LF, IDM_LF_TO_SPACE,
                      IDM_ADD_LF}) {
    enable(id, lf);
  }
  for (unsigned id : {IDM_FF_TO_NEW_LINES, IDM_FF_TO_CR, IDM_FF_TO_LF, IDM_EXCESS_FF,
                      IDM_REMOVE_FF, IDM_FF_TO_SPACE}) {
    enable(id, ff);
  }
  enable(IDM_NEW_LINES_TO_FF, cr || lf);
  for (unsigned id : {IDM_EXCESS_NEW_LINES, IDM_REMOVE_NEW_LINES, IDM_NEW_LINES_TO_SPACES,
                      IDM_ADD_NEW_LINES, IDM_EXCESS_NEW_LINES_LEAVE_ONE}) {
    enable(id, cr && lf);
  }
  for (unsigned id : {IDM_SPACE_TO_CR, IDM_SPACE_TO_LF, IDM_SPACE_TO_FF, IDM_SPACES_TO_NEW_LINES,
                      IDM_EXCESS_SPACES, IDM_REMOVE_SPACES}) {
    enable(id, spaces);
  }
  enable(IDM_TRAILING_WHITE_SPACE, spaces || tabs);
  enable(IDM_LEADING_WHITE_SPACE, spaces || tabs);
  enable(IDM_REMOVE_NON_ASCII, non_ascii);
  enable(IDM_BINARY_WITH_NEW_LINES, non_ascii);
  enable(IDM_REMOVE_PARENTHESES, has('(') && has(')'));
  enable(IDM_REMOVE_BRACKETS, has('[') && has(']'));
  enable(IDM_REMOVE_ANGLE_BRACKETS, has('<') && has('>'));
  enable(IDM_REMOVE_BRACES, has('{') && has('}'));
  enable(IDM_FORWARD_TO_REVERSE_SLASHES, has('/'));
  enable(IDM_REVERSE_TO_FORWARD_SLASHES, has('\\'));
  enable(IDM_FLIP_SLASHES, has('/') || has('\\'));
  enable(IDM_SAVE, text || a.bitmap_present);
  enable(IDM_DELETE, !clipboard_empty);
  return states;
}

}  // namespace kestrin
