#include "main_window_win.h"

#include "clipboard/change_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/viewer_win.h"
#include "commands_win.h"
#include "dpi_win.h"
#include "extras/extras_win.h"
#include "files/files_win.h"
#include "frame_win.h"
#include "guard_win.h"
#include "history/history_win.h"
#include "history/sync_win.h"
#include "history/hotkeys_win.h"
#include "menu_states.h"
#include "res/resource.h"
#include "settings_win.h"
#include "slots/slots_win.h"
#include "text_format.h"
#include "remote/server_win.h"
#include "transform/long_command_win.h"

namespace kestrin {

namespace {

constexpr const char* kAuthor = "the Kestrin developers";
constexpr const char* kHomePage = "https://kestrin.example.org/";

App* app_of(HWND window) {
  return reinterpret_cast<App*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Creation, in its documented order; each part starts where its step falls.
void on_create(App& app) {
  app.viewer.dpi = window_dpi(app.main_window);
  start_frame(app);
  app.settings.ClipFileName.clear();
  app.settings.ShellSanityCheck = kDefaultShellSanityCheck;
  start_monitor(app);
  load_settings(app);
  forget_handled_change(app);
  start_viewer(app);
  const std::string credit = credit_line(kAuthor, kHomePage, __DATE__, __TIME__);
  show_frame(app, credit.c_str());
  start_slots(app);
  start_history(app);
  start_remote(app);
  {
    WindowDC dc(app.main_window);
    if (dc.get()) app.viewer.line_height = measure_line_height(app, dc.get());
  }
  apply_menu_bar(app);
  main_window_proc(app.main_window, WM_DRAWCLIPBOARD, 0, 0);
}

// Teardown, in its documented order.
void on_destroy(App& app) {
  stop_remote(app);
  end_long_command(app);
  stop_history(app);
  stop_viewer(app);
  bool saved = save_options(app);
  stop_slots(app);
  saved = save_frame(app) && saved;
  if (!saved) report_unsaved_settings(app);
  stop_frame(app);
  stop_stock(app);
  stop_monitor(app);
  release_frame(app);
  PostQuitMessage(0);
}

// The window moved to a monitor of another DPI, or the DPI changed: it takes
// the rectangle the system suggests, and its font, line height, status bar and
// tray icon follow.
void on_dpi_changed(App& app, WPARAM wparam, LPARAM lparam) {
  app.viewer.dpi = HIWORD(wparam);
  apply_status_bar_font(app);
  const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
  SetWindowPos(app.main_window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  {
    WindowDC dc(app.main_window);
    if (dc.get()) app.viewer.line_height = measure_line_height(app, dc.get());
  }
  app.frame.tray_icon_count = 0;  // the icons again at the size of this DPI
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

// WM_INITMENU, WM_INITMENUPOPUP: check marks and enable states, tray menu first.
void apply_menu_states(App& app) {
  const std::vector<MenuItemState> states =
      menu_states(app.settings, app.monitor->analysis, app.viewer.clipboard_empty);
  // The tray menu first, then the menu bar (also while it is detached).
  for (HMENU menu : {app.frame.tray_menu, app.frame.main_menu}) {
    if (!menu) continue;
    for (const MenuItemState& state : states) {
      if (state.kind == MenuItemState::Check) {
        CheckMenuItem(menu, state.id, MF_BYCOMMAND | (state.on ? MF_CHECKED : MF_UNCHECKED));
      } else {
        EnableMenuItem(menu, state.id,
                       MF_BYCOMMAND | (state.on ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
      }
    }
    EnableMenuItem(menu, IDM_CANCEL_COMMAND,
                   MF_BYCOMMAND | (long_command_running(app) ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
  }
}

// One clipboard change, from the notice to the history: the change handling
// reads it once and runs its steps on that value (the append join, the
// analysis and everything that shows it, the cleanup); the history then
// records it as it finally stands.
void on_clipboard_change(App& app, const std::optional<ClipboardChange>& change) {
  if (change) record_change(app, *change);
}

// A private message that only says "look": parameters it did not come with
// are another program's, and ignored.
bool bare(WPARAM wparam, LPARAM lparam) { return wparam == 0 && lparam == 0; }

LRESULT main_window_message(App* app, HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void on_close(App& app, bool ask = true) {
  app.frame.visible_at_close = IsWindowVisible(app.main_window) != FALSE;
  if (ask && app.settings.ConfirmQuit &&
      MessageBoxA(app.main_window, "Are you sure you wish to quit?", "Kestrin", MB_YESNO) !=
          IDYES) {
    return;
  }
  end_long_command(app);
  DestroyWindow(app.main_window);
}

}  // namespace

bool register_main_class(App& app) {
  app.frame.background_brush.reset(CreateSolidBrush(RGB(0, 0, 255)));
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  window_class.lpfnWndProc = main_window_proc;
  window_class.hInstance = app.instance;
  window_class.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageA(app.instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(app.frame.background_brush.get());
  window_class.lpszMenuName = kMainClassName;
  window_class.lpszClassName = kMainClassName;
  return RegisterClassExA(&window_class) != 0;
}

HWND create_main_window(App& app) {
  return CreateWindowExA(0, kMainClassName, kMainTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                         nullptr, app.instance, &app);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    auto* app = static_cast<App*>(create->lpCreateParams);
    app->main_window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    return DefWindowProcA(window, message, wparam, lparam);
  }
  App* app = app_of(window);
  if (!app) return DefWindowProcA(window, message, wparam, lparam);
  return guarded(window, [&] { return main_window_message(app, window, message, wparam, lparam); });
}

namespace {

LRESULT main_window_message(App* app, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      on_create(*app);
      return 0;
    case WM_DESTROY:
      on_destroy(*app);
      return 0;
    case WM_CLOSE:
      on_close(*app);
      return 0;
    case WM_ENDSESSION:
      // The Windows session ends, or an installer needs the program gone: it
      // closes as Exit does, settings saved, without the Confirm Exit question.
      if (wparam) on_close(*app, false);
      return 0;
    case WM_QUIT:
    case WM_SHOWWINDOW:
      return 0;
    case WM_COMMAND:
      return dispatch_command(*app, wparam);
    case WM_SIZE:
      layout_viewer(*app);
      return 1;
    case WM_PAINT:
      paint_viewer(*app);
      return 1;
    case WM_VSCROLL:
      scroll_viewer(*app, SB_VERT, wparam);
      return 1;
    case WM_HSCROLL:
      scroll_viewer(*app, SB_HORZ, wparam);
      return 1;
    case WM_KEYDOWN:
      viewer_key(*app, wparam, lparam);
      return 1;
    case WM_MOUSEWHEEL:
      viewer_wheel(*app, wparam);
      return 1;
    case WM_TIMER:
      if (wparam == kTrayTimerId) on_timer_tick(*app);
      if (wparam == kChainTimerId) {
        on_clipboard_change(*app, check_viewer_chain(*app));
        history_tick(*app);
      }
      if (wparam == kHistoryFormatsTimerId) history_formats_arrived(*app);
      if (wparam == kLongCommandTimerId) show_long_command_progress(*app);
      if (wparam == kChangeRetryTimerId) on_clipboard_change(*app, retry_held_change(*app));
      if (wparam == kRemoteWaitTimerId) remote_wait_tick(*app);
      return 0;
    case WM_DRAWCLIPBOARD:
      on_clipboard_change(*app, handle_clipboard_change(*app, wparam, lparam));
      return 1;
    case WM_CHANGECBCHAIN:
      handle_chain_change(*app, wparam, lparam);
      return 0;
    case WM_KESTRIN_TRAY:
      on_tray_callback(*app, wparam, lparam);
      return 0;
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
      apply_menu_states(*app);
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      on_mouse(*app, message);
      return 0;
    case WM_KESTRIN_CLEAR:
      handle_clear_request(*app);
      return 0;
    case WM_KESTRIN_STAMP:
      handle_stamp_request(*app);
      return 0;
    case WM_KESTRIN_STOCK_STATUS:
      if (bare(wparam, lparam)) show_stock_status(*app);
      return 0;
    case WM_KESTRIN_STOCK_SCAN:
      if (bare(wparam, lparam)) continue_stock_scan(*app);
      return 0;
    case WM_DROPFILES:
      handle_drop(*app, reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED:
      on_dpi_changed(*app, wparam, lparam);
      return 0;
    case WM_HOTKEY:
      handle_hotkey(*app, wparam);
      return 0;
    case WM_KESTRIN_HISTORY_LOADED:
      if (bare(wparam, lparam)) history_loaded(*app);
      return 0;
    case WM_KESTRIN_HISTORY_STORE:
      if (bare(wparam, lparam)) history_store_report(*app);
      return 0;
    case WM_KESTRIN_HISTORY_FORMATS:
      if (bare(wparam, lparam)) history_formats_arrived(*app);
      return 0;
    case WM_KESTRIN_REMOTE:
      if (bare(wparam, lparam) && serve_remote_requests(*app)) on_close(*app, false);
      return 0;
    case WM_KESTRIN_SYNC:
      if (bare(wparam, lparam)) sync_arrived(*app);
      return 0;
    case WM_KESTRIN_CHANGE_READ:
      if (bare(wparam, lparam)) on_clipboard_change(*app, change_read_arrived(*app));
      return 0;
    case WM_KESTRIN_COMMAND_WRITING:
      if (bare(wparam, lparam)) long_command_writing(*app);
      return 0;
    case WM_KESTRIN_COMMAND_DONE:
      if (bare(wparam, lparam)) finish_long_command(*app);
      return 0;
    case WM_KESTRIN_SLOT_LABELS:
      if (bare(wparam, lparam)) refresh_slot_labels(*app);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

}  // namespace kestrin
