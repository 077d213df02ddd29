#include "frame_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "clipboard/monitor_win.h"
#include "dpi_win.h"
#include "run_command_win.h"
#include "settings_win.h"
#include "splash_win.h"
#include "res/resource.h"
#include "text_format.h"

namespace kestrin {

namespace {

// A window long that reads as 0 may be a failure or a real 0; the last error tells.
bool read_window_long(HWND window, int index, LONG& value) {
  SetLastError(ERROR_SUCCESS);
  value = GetWindowLongA(window, index);
  return value != 0 || GetLastError() == ERROR_SUCCESS;
}

}  // namespace

void apply_caption_rule(App& app) {
  LONG style = 0;
  if (!read_window_long(app.main_window, GWL_STYLE, style)) return;
  if (app.settings.HideCaptionBar) {
    style &= ~WS_CAPTION;
  } else {
    style |= WS_CAPTION;
  }
  SetWindowLongA(app.main_window, GWL_STYLE, style);
}

void apply_extended_style_rule(App& app) {
  LONG ex_style = 0;
  if (!read_window_long(app.main_window, GWL_EXSTYLE, ex_style)) return;
  LONG updated = (ex_style & WS_EX_APPWINDOW) |
                 (app.settings.ToolWindowStyle ? WS_EX_TOOLWINDOW : WS_EX_APPWINDOW) |
                 WS_EX_ACCEPTFILES;
  SetWindowLongA(app.main_window, GWL_EXSTYLE, updated);
}

void restore_window_rect(App& app) {
  const Settings& s = app.settings;
  if (!window_rect_restorable(s, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN))) {
    return;
  }
  SetWindowPos(app.main_window, s.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, s.X1, s.Y1,
               s.X2 - s.X1, s.Y2 - s.Y1, 0);
}

void apply_menu_bar(App& app) {
  SetMenu(app.main_window, app.settings.DisplayMainMenu ? app.frame.main_menu : nullptr);
  DrawMenuBar(app.main_window);
}

void frame_refresh(App& app) {
  SetWindowPos(app.main_window, app.settings.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
               0, SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

void toggle_status_bar(App& app, unsigned) {
  flip_flag(app.settings.StatusWindow);
  if (app.settings.StatusWindow && !app.frame.status_bar) create_status_bar(app);
  if (!app.settings.StatusWindow && app.frame.status_bar) destroy_status_bar(app);
  frame_refresh(app);
}

void toggle_menu_bar(App& app, unsigned) {
  flip_flag(app.settings.DisplayMainMenu);
  apply_menu_bar(app);
}

void toggle_tool_window(App& app, unsigned) {
  flip_flag(app.settings.ToolWindowStyle);
  apply_extended_style_rule(app);
  frame_refresh(app);
}

void toggle_caption(App& app, unsigned) {
  flip_flag(app.settings.HideCaptionBar);
  apply_caption_rule(app);
  frame_refresh(app);
}

void toggle_always_on_top(App& app, unsigned) {
  flip_flag(app.settings.AlwaysOnTop);
  SetWindowPos(app.main_window, app.settings.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
               0, SWP_NOSIZE | SWP_NOMOVE);
}

void window_to_bottom(App& app, unsigned) {
  app.settings.AlwaysOnTop = 0;
  // Going to the bottom ends the topmost state; Wine keeps it unless asked.
  SetWindowPos(app.main_window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  SetWindowPos(app.main_window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void toggle_maximized(App& app, unsigned) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(app.main_window, &placement);
  ShowWindow(app.main_window,
             placement.showCmd == SW_SHOWNORMAL ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void toggle_visibility(App& app, unsigned) {
  ShowWindow(app.main_window, IsWindowVisible(app.main_window) ? SW_HIDE : SW_SHOWNORMAL);
}

void on_tray_callback(App& app, WPARAM wparam, LPARAM lparam) {
  if (wparam != kTrayIconId) return;
  switch (lparam) {
    case WM_LBUTTONDOWN:
      toggle_visibility(app, IDM_TOGGLE_VISIBILITY);
      break;
    case WM_RBUTTONDOWN: {
      POINT cursor{};
      GetCursorPos(&cursor);
      SetForegroundWindow(app.main_window);
      TrackPopupMenu(app.frame.tray_menu, 0, cursor.x + 1, cursor.y, 0, app.main_window, nullptr);
      break;
    }
    case WM_MBUTTONDOWN:
      run_command(app.main_window, IDM_APPEND);
      break;
  }
}

void on_mouse(App& app, UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
      SetCapture(app.main_window);
      app.frame.dragging = true;
      GetCursorPos(&app.frame.last_cursor);
      if (app.monitor->saved_foreground) {
        SetForegroundWindow(app.monitor->saved_foreground);
      } else if (app.settings.LeftClickViewToggle) {
        run_command(app.main_window, IDM_TOGGLE_MAXIMIZED);
      }
      break;
    case WM_MOUSEMOVE:
      if (app.frame.dragging) {
        POINT cursor{};
        GetCursorPos(&cursor);
        // The system sends moves of its own (after a resize, say): without a
        // real movement there is nothing to drag, and moving a maximised
        // window to where it is would drop its maximised placement.
        if (cursor.x == app.frame.last_cursor.x && cursor.y == app.frame.last_cursor.y) break;
        RECT rect{};
        GetWindowRect(app.main_window, &rect);
        MoveWindow(app.main_window, rect.left + cursor.x - app.frame.last_cursor.x,
                   rect.top + cursor.y - app.frame.last_cursor.y, rect.right - rect.left,
                   rect.bottom - rect.top, TRUE);
        app.frame.last_cursor = cursor;
      }
      break;
    case WM_LBUTTONUP:
      app.frame.dragging = false;
      ReleaseCapture();
      break;
    case WM_LBUTTONDBLCLK:
      run_command(app.main_window, IDM_TOGGLE_MAXIMIZED);
      break;
    case WM_RBUTTONDOWN:
      SendMessageA(app.main_window, WM_KESTRIN_TRAY, kTrayIconId, WM_RBUTTONDOWN);
      break;
    case WM_MBUTTONDOWN:
      run_command(app.main_window, IDM_APPEND);
      break;
  }
}

void create_status_bar(App& app) {
  char title[kStatusTextSize];
  GetWindowTextA(app.main_window, title, sizeof title);
  app.frame.status_bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_BOTTOM,
                                       title, app.main_window, IDC_STATUS_BAR);
  apply_status_bar_font(app);
}

void apply_status_bar_font(App& app) {
  HWND bar = app.frame.status_bar;
  if (!bar) return;
  NONCLIENTMETRICSW metrics;
  if (!nonclient_metrics_for_dpi(metrics, app.viewer.dpi)) return;
  UniqueGdiObject font(CreateFontIndirectW(&metrics.lfStatusFont));
  if (!font) return;
  SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  app.frame.status_font = std::move(font);  // the old one goes once the bar no longer uses it
  SendMessageA(bar, WM_SIZE, 0, 0);
  if (app.viewer.dpi == kBaseDpi) return;
  // The bar's height is its text's, a margin of the font's leading, and
  // borders fixed in pixels. Its least height makes up for the borders, so
  // that the whole bar is as much taller as the DPI says than it is at 96.
  auto text_metrics = [&](UINT dpi) {
    TEXTMETRICW text{};
    NONCLIENTMETRICSW at;
    if (!nonclient_metrics_for_dpi(at, dpi)) return text;
    UniqueGdiObject made(CreateFontIndirectW(&at.lfStatusFont));
    WindowDC dc(bar);
    if (!dc.get() || !made) return text;
    SelectedObject selected(dc.get(), made.get());
    GetTextMetricsW(dc.get(), &text);
    return text;
  };
  auto height = [&] {
    RECT area{};
    GetWindowRect(bar, &area);
    return static_cast<int>(area.bottom - area.top);
  };
  const TEXTMETRICW now = text_metrics(app.viewer.dpi), base = text_metrics(kBaseDpi);
  if (now.tmHeight <= 0 || base.tmHeight <= 0) return;
  const int borders = height() - now.tmHeight - now.tmInternalLeading;
  const int wanted = scaled(base.tmHeight + base.tmInternalLeading + borders, app.viewer.dpi);
  if (height() >= wanted) return;
  // What the bar adds to its least height, found by asking for all of it.
  SendMessageA(bar, SB_SETMINHEIGHT, static_cast<WPARAM>(wanted), 0);
  SendMessageA(bar, WM_SIZE, 0, 0);
  const int added = height() - wanted;
  if (added > 0) {
    SendMessageA(bar, SB_SETMINHEIGHT, static_cast<WPARAM>(wanted - added), 0);
    SendMessageA(bar, WM_SIZE, 0, 0);
  }
}

void set_status_bar_text(const App& app, const char* text) {
  if (app.frame.status_bar) SendMessageA(app.frame.status_bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void show_status_as_title(const App& app) {
  SetWindowTextA(app.main_window, app.monitor->status_text.data());
}

void destroy_status_bar(App& app) {
  if (app.frame.status_bar) DestroyWindow(app.frame.status_bar);
  app.frame.status_bar = nullptr;
}

namespace {

// A tray icon at the size the system asks for at the window's DPI, loaded
// once per DPI.
HICON tray_icon(App& app, int id) {
  FramePart& frame = app.frame;
  if (frame.tray_icon_dpi != app.viewer.dpi) {
    for (UniqueIcon& icon : frame.tray_icon_set) icon.reset();
    frame.tray_icon_dpi = app.viewer.dpi;
  }
  UniqueIcon& icon = frame.tray_icon_set[static_cast<std::size_t>(id - IDI_PROGRAM)];
  if (!icon) {
    const int size = metric_for_dpi(SM_CXSMICON, app.viewer.dpi);
    icon.reset(static_cast<HICON>(LoadImageA(app.instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0)));
  }
  return icon ? icon.get() : LoadIconA(app.instance, MAKEINTRESOURCEA(id));
}

NOTIFYICONDATAA tray_record(App& app, UINT flags) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = app.main_window;
  data.uID = kTrayIconId;
  data.uFlags = flags;
  data.uCallbackMessage = WM_KESTRIN_TRAY;
  data.hIcon = tray_icon(app, IDI_PROGRAM);
  return data;
}

}  // namespace

void add_tray_icon(App& app) {
  app.frame.tick_count = 0;
  app.frame.tray_icon_count = 0;
  NOTIFYICONDATAA data = tray_record(app, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  GetWindowTextA(app.main_window, data.szTip, sizeof data.szTip);
  app.frame.tray_icon_added = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

void remove_tray_icon(App& app) {
  NOTIFYICONDATAA data = tray_record(app, 0);
  Shell_NotifyIconA(NIM_DELETE, &data);
  app.frame.tray_icon_added = false;
}

void on_timer_tick(App& app) {
  ++app.frame.tick_count;
  if (app.frame.tray_icon_count == 0) {
    auto icon = [&](int id) { return tray_icon(app, id); };
    app.frame.tray_icons[app.frame.tray_icon_count++] = icon(IDI_PROGRAM);
    if (app.monitor->analysis.short_tail) app.frame.tray_icons[app.frame.tray_icon_count++] = icon(IDI_SHORT_TAIL);
    if (app.settings.Append) {
      app.frame.tray_icons[app.frame.tray_icon_count++] = icon(IDI_APPEND_1);
      app.frame.tray_icons[app.frame.tray_icon_count++] = icon(IDI_APPEND_2);
    }
  }
  NOTIFYICONDATAA data = tray_record(app, NIF_ICON);
  data.hIcon = app.frame.tray_icons[app.frame.tick_count % app.frame.tray_icon_count];
  Shell_NotifyIconA(NIM_MODIFY, &data);
  if (app.frame.splash && app.frame.tick_count > 5) app.frame.splash.reset();
}

void restart_tray_animation(App& app) {
  app.frame.tray_icon_count = 0;
  SendMessageA(app.main_window, WM_TIMER, kTrayTimerId, 0);
}

void start_frame(App& app) {
  create_splash(app);
  InitCommonControls();
  FramePart& frame = app.frame;
  frame.tray_menu_resource.reset(LoadMenuA(app.instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  frame.tray_menu = GetSubMenu(frame.tray_menu_resource.get(), 0);
  frame.main_menu = GetMenu(app.main_window);
}

void show_frame(App& app, const char* credit) {
  restore_window_rect(app);
  if (app.settings.StatusWindow) {
    create_status_bar(app);
    if (app.frame.status_bar) {
      SendMessageA(app.frame.status_bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(credit));
    }
  }
  ShowWindow(app.main_window, load_window_state(app) ? SW_SHOW : SW_HIDE);
  SetTimer(app.main_window, kTrayTimerId, 1000, nullptr);
  add_tray_icon(app);
  apply_caption_rule(app);
  apply_extended_style_rule(app);
  SetWindowPos(app.main_window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
}

bool save_frame(App& app) {
  // The system hides a window before destroying it, so the visibility is the one
  // taken when the close was asked for.
  app.settings.State =
      app.frame.visible_at_close.value_or(IsWindowVisible(app.main_window) != FALSE) ? 1 : 0;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  const bool normal = GetWindowPlacement(app.main_window, &placement) &&
                      placement.showCmd == SW_SHOWNORMAL;
  if (normal) {
    RECT rect{};
    GetWindowRect(app.main_window, &rect);
    app.settings.X1 = rect.left;
    app.settings.Y1 = rect.top;
    app.settings.X2 = rect.right;
    app.settings.Y2 = rect.bottom;
  }
  return save_window(app, normal);
}

void stop_frame(App& app) {
  KillTimer(app.main_window, kTrayTimerId);
  remove_tray_icon(app);
}

void release_frame(App& app) {
  FramePart& frame = app.frame;
  if (frame.main_menu && GetMenu(app.main_window) != frame.main_menu) {
    DestroyMenu(frame.main_menu);
  }
  frame.main_menu = nullptr;
  frame.splash.reset();
}

}  // namespace kestrin
