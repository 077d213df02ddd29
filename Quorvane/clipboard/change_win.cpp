#include "clipboard/change_win.h"
#include "clipboard/seam_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <new>
#include <string>

#include "clipboard/analysis_win.h"
#include "clipboard/append.h"
#include "clipboard/floating_status_win.h"
#include "run_command_win.h"
#include "diagnostics_win.h"
#include "frame_win.h"
#include "res/resource.h"
#include "text_format.h"
#include "wide_win.h"

namespace kestrin {

namespace {

// Step 1: joins the text of the change onto the snapshot and writes the result
// back in the session the change was read in, so that no other copy can come in
// between. The write's own notification runs the whole handling nested, inside
// the close.
void append_join(App& app, ClipboardSession& session) {
  SelfChangeScope own_write(app);
  if (!app.monitor.snapshot || !app.monitor.handled_text || !session.is_open()) return;
  const std::string_view separator = append_separator(app.settings.AppendWith);
  const TextValue& before = *app.monitor.snapshot;
  const TextValue& added = *app.monitor.handled_text;
  std::shared_ptr<TextValue> joined;
  GlobalBlock block;
  try {
    // ANSI joined to Unicode becomes Unicode: the ANSI part is converted, never
    // the other way, so no character is lost.
    const bool unicode = before.unicode || added.unicode;
    std::string converted[2];
    auto part = [&](const TextValue& text, std::string& holder) -> std::string_view {
      if (!unicode || text.unicode) return text.bytes;
      return holder = ansi_to_utf8(text.bytes);
    };
    const std::string_view first = part(before, converted[0]);
    const std::string_view second = part(added, converted[1]);
    joined = std::make_shared<TextValue>();
    joined->unicode = unicode;
    joined->bytes.assign(first.size() + separator.size() + second.size() + 1, '\0');
    join_texts(joined->bytes.data(), first, separator, second);
    joined->bytes.pop_back();  // join_texts ends with a NUL
    block = make_value_block(*joined);
  } catch (const std::bad_alloc&) {
    return;
  }
  if (!block) return;
  app.monitor.snapshot.reset();
  app.monitor.written_text = joined;
  put_on_clipboard(session, text_format(*joined), block);
  session.close();
  app.monitor.written_text.reset();
}

}  // namespace

SharedText current_clipboard_text(App& app) {
  const DWORD sequence = GetClipboardSequenceNumber();
  ClipboardTextCache& cache = app.monitor.text_cache;
  if (cache.sequence != sequence) {
    cache.text.reset();
    cache.sequence = sequence;
    // The caller holds the clipboard open.
    try {
      if (std::optional<TextValue> text = read_open_clipboard_text()) {
        cache.text = std::make_shared<const TextValue>(std::move(*text));
      }
    } catch (const std::bad_alloc&) {
      cache.text.reset();
    }
  }
  return cache.text;
}

void take_snapshot(App& app) {
  app.monitor.snapshot.reset();
  ClipboardSession session(app.main_window);
  if (session.is_open()) app.monitor.snapshot = current_clipboard_text(app);
}

static void pass_on(const App& app, WPARAM wparam, LPARAM lparam) {
  if (app.monitor.next_viewer) SendMessageA(app.monitor.next_viewer, WM_DRAWCLIPBOARD, wparam, lparam);
}

void set_tray_tip(App& app, const char* text) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = app.main_window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_TIP;
  copy_bounded(data.szTip, sizeof data.szTip, text);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

// Steps 2 to 13 of one change, in their order.
static void run_change_steps(App& app, WPARAM wparam, LPARAM lparam) {
  const Settings& s = app.settings;
  const bool hidden = app.monitor.private_content;
  if (s.Append && !hidden) app.monitor.snapshot = app.monitor.handled_text;
  analyse_clipboard(app);
  restart_tray_animation(app);
  if (s.BeepOnChange) MessageBeep(MB_ICONASTERISK);
  if (s.AutoFocus) {
    app.monitor.saved_foreground = GetForegroundWindow();
    SetForegroundWindow(app.main_window);
  }
  if (app.viewer.floating_status) {
    MessageBeep(MB_ICONEXCLAMATION);
    refresh_floating_status(app);
  }
  set_tray_tip(app, app.monitor.status_text.data());
  if (s.AutoCleanup && s.AutoCleanupCommand != 0 && IsClipboardFormatAvailable(CF_TEXT) &&
      app.monitor.auto_clean_guard == 0 && !hidden) {
    CountScope guard(app.monitor.auto_clean_guard);
    run_command(app.main_window, static_cast<unsigned>(s.AutoCleanupCommand));
  }
  pass_on(app, wparam, lparam);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  if (s.AutoScrollClipboard) {
    SendMessageA(app.main_window, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageA(app.main_window, WM_HSCROLL, SB_LEFT, 0);
    if (s.DebugLogging) {
      debug_log(app.main_window, kUnitMain, kSiteAutoScroll, "Trying to AutoScroll!");
    }
  }
  if (s.AutoShell && !hidden) {
    CountScope automatic(app.files.automatic_shell);
    run_command(app.main_window, IDM_SHELL_OPEN);
  }
}

// The notice as the monitor stands now.
static Notice notice_now(const App& app, ChangeSource source) {
  return {source, GetClipboardSequenceNumber(), app.monitor.handled_sequence,
          app.monitor.change_depth};
}

// Reads the change and joins it in append mode, in one open clipboard: while it
// is open no other program can change what was read. Returns false when the
// clipboard did not change since the last change handled (handling it again
// would join the joined text onto itself).
static bool take_change(App& app, ChangeSource source) {
  ClipboardSession session(app.main_window);
  MonitorPart& m = app.monitor;
  ChangeFacts facts;
  facts.notice = notice_now(app, source);
  facts.we_own_clipboard = GetClipboardOwner() == app.main_window;
  facts.join_written = m.written_text != nullptr;
  // A copy marked private is seen but never joined, kept or shown.
  facts.private_content = session.is_open() && holds_private_content();
  facts.append = app.settings.Append != 0;
  facts.self_change = m.self_change;
  const ChangeDecision decision = decide_change(facts);
  if (!decision.changed) return false;
  if (decision.claim) m.handled_sequence = facts.notice.sequence;
  switch (decision.text) {
    case ChangeText::Keep:
      break;
    case ChangeText::Written:
      if (decision.claim) m.text_cache = {facts.notice.sequence, m.written_text};
      m.handled_text = m.written_text;
      break;
    case ChangeText::Read:
      m.handled_text = session.is_open() ? current_clipboard_text(app) : nullptr;
      break;
  }
  m.private_content = facts.private_content;
  if (decision.join) append_join(app, session);
  return true;
}

void handle_clipboard_change(App& app, WPARAM wparam, LPARAM lparam) {
  // Taken once: an own write's notice is claimed by the first look.
  const ChangeSource source = classify_change_notification();
  switch (decide_notice(notice_now(app, source))) {
    case NoticeAction::Drop:
      return;
    case NoticeAction::Repost:
      PostMessageA(app.main_window, WM_DRAWCLIPBOARD, wparam, lparam);
      return;
    case NoticeAction::Handle:
      break;
  }
  bool changed = false;
  {
    CountScope depth(app.monitor.change_depth);
    changed = take_change(app, source);
    if (changed) run_change_steps(app, wparam, lparam);
  }
  // Nothing changed since the last change handled: a re-posted notice, one
  // queued behind a copy already handled, or Wine's notice for rendering a
  // format. It is only passed on.
  if (!changed) pass_on(app, wparam, lparam);
  // Recorded once, as the change finally stands (a join or cleanup written
  // inside it included).
  if (changed && app.monitor.change_depth == 0 && app.monitor.after_change) app.monitor.after_change(app);
}

void check_viewer_chain(App& app) {
  MonitorPart& m = app.monitor;
  // Inside a handling, or before the first one, there is nothing to compare.
  if (m.change_depth > 0 || !m.handled_sequence ||
      GetClipboardSequenceNumber() == *m.handled_sequence) {
    m.missed_ticks = 0;
    return;
  }
  // One tick may fall between a copy and its notice; two in a row do not.
  if (++m.missed_ticks < 2) return;
  m.missed_ticks = 0;
  if (app.settings.DebugLogging) {
    debug_log(app.main_window, kUnitMain, kSiteClipboardChain,
              "A clipboard change did not come through the viewer chain; joining it again.");
  }
  if (m.next_viewer) ChangeClipboardChain(app.main_window, m.next_viewer);
  m.next_viewer = SetClipboardViewer(app.main_window);  // its notice handles the change
  if (m.handled_sequence != GetClipboardSequenceNumber()) {
    handle_clipboard_change(app, 0, 0);
  }
}

void forget_handled_change(App& app) {
  app.monitor.handled_sequence.reset();
}

void handle_chain_change(App& app, WPARAM wparam, LPARAM lparam) {
  HWND removed = reinterpret_cast<HWND>(wparam);
  if (removed == app.monitor.next_viewer) {
    app.monitor.next_viewer = reinterpret_cast<HWND>(lparam);
  } else if (app.monitor.next_viewer) {
    SendMessageA(app.monitor.next_viewer, WM_CHANGECBCHAIN, wparam, lparam);
  }
}

void start_monitor(App& app) {
  app.monitor.next_viewer = SetClipboardViewer(app.main_window);
  SetTimer(app.main_window, kChainTimerId, 1000, nullptr);
}

void stop_monitor(App& app) {
  KillTimer(app.main_window, kChainTimerId);
  app.monitor.snapshot.reset();
  if (!app.monitor.next_viewer) return;
  if (!ChangeClipboardChain(app.main_window, app.monitor.next_viewer)) {
    debug_log(app.main_window, kUnitMain, kSiteClipboardChain,
              "Problem with clipboard chain; this is a serious error!!");
  }
  app.monitor.next_viewer = nullptr;
}

void toggle_append(App& app, unsigned) {
  flip_flag(app.settings.Append);
  // The snapshot first: telling the tray waits on another process, and a copy
  // that comes in meanwhile is joined onto the text of this moment.
  app.monitor.snapshot.reset();
  if (app.settings.Append) take_snapshot(app);
  set_status_bar_text(app, app.settings.Append ? "Append mode enabled" : "Append mode disabled");
  restart_tray_animation(app);
}

void choose_separator(App& app, unsigned id) {
  const auto chosen = static_cast<int32_t>(id);
  if (chosen == app.settings.AppendWith) return;
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (menu) CheckMenuItem(menu, static_cast<UINT>(app.settings.AppendWith), MF_BYCOMMAND | MF_UNCHECKED);
  }
  app.settings.AppendWith = chosen;
  for (HMENU menu : {app.frame.main_menu, app.frame.tray_menu}) {
    if (menu) CheckMenuItem(menu, id, MF_BYCOMMAND | MF_CHECKED);
  }
}

void delete_clipboard(App& app, unsigned) {
  {
    SelfChangeScope own_write(app);
    {
      ClipboardSession session(app.main_window);
      session.empty();
    }
    app.monitor.snapshot.reset();
  }
  if (app.settings.DebugLogging) {
    char status[256];
    debug_log(app.main_window, kUnitMain, kSiteDeleteScrollBars,
              "Deleting leaving scroll bars, if any.");
    format_bounded(status, sizeof status, "Deleted; there are still %u lines in the buffer",
                   app.monitor.analysis.line_count);
    debug_log(app.main_window, kUnitMain, kSiteDeleteLines, status);
    format_bounded(status, sizeof status, "Deleted; the buffer is %p",
                   static_cast<const void*>(app.monitor.analysis.line_anchors.get()));
    debug_log(app.main_window, kUnitMain, kSiteDeleteBuffer, status);
  }
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void handle_clear_request(App& app) {
  if (app.settings.Append) run_command(app.main_window, IDM_APPEND);
  run_command(app.main_window, IDM_DELETE);
}

void handle_stamp_request(App& app) {
  if (!app.settings.Append) run_command(app.main_window, IDM_APPEND);
  bool has_text = false;
  {
    ClipboardSession session(app.main_window);
    has_text = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  }
  run_command(app.main_window, has_text ? IDM_PREPEND_STAMP : IDM_STAMP_SLASHED);
}

}  // namespace kestrin
