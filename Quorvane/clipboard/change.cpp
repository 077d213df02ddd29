#include "clipboard/change.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "clipboard/analyse.h"
#include "clipboard/append.h"
#include "clipboard/floating_status.h"
#include "commands.h"
#include "diagnostics.h"
#include "frame.h"
#include "res/resource.h"
#include "text_format.h"

namespace kestrin {

namespace {

std::string_view block_text(const LockedBlock& bytes) {
  return std::string_view(bytes.data(), text_length(bytes.data(), bytes.size()));
}

// Snapshot text, separator and the clipboard's new text in a new block, or none.
GlobalBlock joined_block(const App& app) {
  HANDLE handle = GetClipboardData(CF_TEXT);
  if (!handle) return {};
  LockedBlock fresh(static_cast<HGLOBAL>(handle));
  LockedBlock old(app.snapshot.get());
  if (!fresh || !old) return {};
  const std::string_view separator = append_separator(app.settings.AppendWith);
  const std::string_view new_text = block_text(fresh);
  const std::string_view old_text = block_text(old);
  GlobalBlock joined =
      GlobalBlock::allocate(old_text.size() + separator.size() + new_text.size() + 1);
  if (!joined) return {};
  LockedBlock out(joined.get());
  if (!out) return {};
  join_texts(out.data(), old_text, separator, new_text);
  return joined;
}

// Under Wine one copy in an X11 program can reach the clipboard twice: the
// bridge imports the selection again a moment later, the same text. Joining
// that would double the copy, so a second import of the text just seen is not
// joined. (A user copying the same text twice within a second in X11 has it
// joined once.)
constexpr ULONGLONG kReimportWindowMs = 1000;

bool is_x11_reimport(const App& app) {
  if (GetTickCount64() - app.last_change_tick >= kReimportWindowMs || !owned_by_x11_bridge()) {
    return false;
  }
  HANDLE handle = GetClipboardData(CF_TEXT);
  if (!handle) return false;
  LockedBlock fresh(static_cast<HGLOBAL>(handle));
  LockedBlock old(app.snapshot.get());
  return fresh && old && block_text(fresh) == block_text(old);
}

// Step 1: joins the new text onto the snapshot and writes the result back; the
// write's own notification runs the whole handling nested, inside the close.
void append_join(App& app) {
  app.self_change = 1;
  if (app.snapshot) {
    ClipboardSession session(app.main_window);
    if (session.is_open() && IsClipboardFormatAvailable(CF_TEXT) && !is_x11_reimport(app)) {
      GlobalBlock joined = joined_block(app);
      if (joined) {
        app.snapshot = GlobalBlock();
        put_on_clipboard(session, CF_TEXT, joined);
      }
    }
  }
  --app.self_change;
}

}  // namespace

void take_snapshot(App& app) {
  app.snapshot = GlobalBlock();
  ClipboardSession session(app.main_window);
  if (!IsClipboardFormatAvailable(CF_TEXT)) return;
  HANDLE handle = GetClipboardData(CF_TEXT);
  if (!handle) return;
  LockedBlock source(static_cast<HGLOBAL>(handle));
  if (!source) return;
  GlobalBlock copy = GlobalBlock::allocate(source.size());
  if (!copy) return;
  {
    LockedBlock target(copy.get());
    if (!target) return;
    std::memcpy(target.data(), source.data(), source.size());
  }
  app.snapshot = std::move(copy);
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

// The steps of one change, in their order.
static void run_change_steps(App& app, WPARAM wparam, LPARAM lparam) {
  const Settings& s = app.settings;
  if (s.Append && app.self_change == 0) append_join(app);
  if (s.Append) take_snapshot(app);
  analyse_clipboard(app);
  restart_tray_animation(app);
  if (s.BeepOnChange) MessageBeep(MB_ICONASTERISK);
  if (s.AutoFocus) {
    app.saved_foreground = GetForegroundWindow();
    SetForegroundWindow(app.main_window);
  }
  if (app.floating_status) {
    MessageBeep(MB_ICONEXCLAMATION);
    refresh_floating_status(app);
  }
  set_tray_tip(app, app.status_text.data());
  if (s.AutoCleanup && s.AutoCleanupCommand != 0 && IsClipboardFormatAvailable(CF_TEXT) &&
      app.auto_clean_guard == 0) {
    ++app.auto_clean_guard;
    run_command(app, static_cast<unsigned>(s.AutoCleanupCommand));
    --app.auto_clean_guard;
  }
  if (app.next_viewer) SendMessageA(app.next_viewer, WM_DRAWCLIPBOARD, wparam, lparam);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  if (s.AutoScrollClipboard) {
    SendMessageA(app.main_window, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageA(app.main_window, WM_HSCROLL, SB_LEFT, 0);
    if (s.DebugLogging) {
      debug_log(app.main_window, kUnitMain, kSiteAutoScroll, "Trying to AutoScroll!");
    }
  }
  if (s.AutoShell) run_command(app, IDM_SHELL_OPEN);
}

void handle_clipboard_change(App& app, WPARAM wparam, LPARAM lparam) {
  // The program's own writes are handled nested, inside their close. Another
  // program's change can also arrive in the middle of a handling, while it waits
  // on another process (the tray); it waits its turn, so that it is not taken for
  // an own write and left unjoined.
  const ChangeSource source = classify_change_notification();
  if (source == ChangeSource::OwnRead) return;
  if (app.change_depth > 0 && source != ChangeSource::OwnWrite) {
    PostMessageA(app.main_window, WM_DRAWCLIPBOARD, wparam, lparam);
    return;
  }
  ++app.change_depth;
  run_change_steps(app, wparam, lparam);
  --app.change_depth;
  app.last_change_tick = GetTickCount64();
}

void handle_chain_change(App& app, WPARAM wparam, LPARAM lparam) {
  HWND removed = reinterpret_cast<HWND>(wparam);
  if (removed == app.next_viewer) {
    app.next_viewer = reinterpret_cast<HWND>(lparam);
  } else if (app.next_viewer) {
    SendMessageA(app.next_viewer, WM_CHANGECBCHAIN, wparam, lparam);
  }
}

void leave_viewer_chain(App& app) {
  if (!app.next_viewer) return;
  if (!ChangeClipboardChain(app.main_window, app.next_viewer)) {
    debug_log(app.main_window, kUnitMain, kSiteClipboardChain,
              "Problem with clipboard chain; this is a serious error!!");
  }
  app.next_viewer = nullptr;
}

void toggle_append(App& app, unsigned) {
  flip_flag(app.settings.Append);
  set_status_bar_text(app, app.settings.Append ? "Append mode enabled" : "Append mode disabled");
  restart_tray_animation(app);
  app.snapshot = GlobalBlock();
  if (app.settings.Append) take_snapshot(app);
}

void choose_separator(App& app, unsigned id) {
  const auto chosen = static_cast<int32_t>(id);
  if (chosen == app.settings.AppendWith) return;
  for (HMENU menu : {app.main_menu, app.tray_menu}) {
    if (menu) CheckMenuItem(menu, static_cast<UINT>(app.settings.AppendWith), MF_BYCOMMAND | MF_UNCHECKED);
  }
  app.settings.AppendWith = chosen;
  for (HMENU menu : {app.main_menu, app.tray_menu}) {
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
    app.snapshot = GlobalBlock();
  }
  if (app.settings.DebugLogging) {
    char* status = app.status_text.data();
    debug_log(app.main_window, kUnitMain, kSiteDeleteScrollBars,
              "Deleting leaving scroll bars, if any.");
    format_bounded(status, kStatusTextSize, "Deleted; there are still %u lines in the buffer",
                   app.analysis.line_count);
    debug_log(app.main_window, kUnitMain, kSiteDeleteLines, status);
    format_bounded(status, kStatusTextSize, "Deleted; the buffer is %p",
                   static_cast<const void*>(app.analysis.lines.get()));
    debug_log(app.main_window, kUnitMain, kSiteDeleteBuffer, status);
  }
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void handle_clear_request(App& app) {
  if (app.settings.Append) run_command(app, IDM_APPEND);
  run_command(app, IDM_DELETE);
}

void handle_stamp_request(App& app) {
  if (!app.settings.Append) run_command(app, IDM_APPEND);
  bool has_text = false;
  {
    ClipboardSession session(app.main_window);
    has_text = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  }
  run_command(app, has_text ? IDM_PREPEND_STAMP : IDM_STAMP_SLASHED);
}

}  // namespace kestrin
