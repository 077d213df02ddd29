#include "menu_states.h"

#include "res/resource.h"
#include "transform/rules.h"

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
  check(IDM_KEEP_HISTORY, s.History);

  const bool text = a.size != 0, cr = a.cr != 0, lf = a.lf != 0;
  const bool spaces = a.sp != 0, tabs = a.tab != 0, non_ascii = a.na != 0;
  auto has = [&](char c) { return a.histogram[static_cast<unsigned char>(c)] != 0; };
  auto holds = [&](Needs needs) {
    switch (needs) {
      case Needs::Nothing: break;
      case Needs::Text: return text;
      case Needs::Cr: return cr;
      case Needs::Lf: return lf;
      case Needs::Ff: return a.ff != 0;
      case Needs::CrOrLf: return cr || lf;
      case Needs::CrAndLf: return cr && lf;
      case Needs::Spaces: return spaces;
      case Needs::SpacesOrTabs: return spaces || tabs;
      case Needs::NonAscii: return non_ascii;
      case Needs::Parentheses: return has('(') && has(')');
      case Needs::Brackets: return has('[') && has(']');
      case Needs::AngleBrackets: return has('<') && has('>');
      case Needs::Braces: return has('{') && has('}');
      case Needs::Slash: return has('/');
      case Needs::Backslash: return has('\\');
      case Needs::AnySlash: return has('/') || has('\\');
    }
    return false;
  };
  std::size_t count = 0;
  const TextCommand* commands = text_commands(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (commands[i].needs != Needs::Nothing) enable(commands[i].id, holds(commands[i].needs));
  }
  enable(IDM_BINARY_WITH_NEW_LINES, non_ascii);
  enable(IDM_SAVE, text || a.bitmap_present);
  enable(IDM_DELETE, !clipboard_empty);
  return states;
}

}  // namespace kestrin
