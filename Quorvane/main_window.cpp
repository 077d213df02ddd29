#include "main_window.h"

#include <commctrl.h>

#include "clipboard/change.h"
#include "clipboard/floating_status.h"
#include "clipboard/viewer_win.h"
#include "commands.h"
#include "run_command.h"
#include "diagnostics.h"
#include "frame.h"
#include "res/resource.h"
#include "settings_win.h"
#include "slots/slots_win.h"
#include "splash.h"
#include "text_format.h"

namespace kestrin {

namespace {

constexpr const char* kAuthor = "the Kestrin developers";
constexpr const char* kHomePage = "https://kestrin.example.org/";

App* app_of(HWND window) {
  return reinterpret_cast<App*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void on_create(App& app) {
  create_splash(app);
  InitCommonControls();
  app.settings.ClipFileName.clear();
  app.settings.ShellSanityCheck = kDefaultShellSanityCheck;

  app.tray_menu_resource.reset(LoadMenuA(app.instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  app.tray_menu = GetSubMenu(app.tray_menu_resource.get(), 0);
  app.main_menu = GetMenu(app.main_window);

  // Dropped-file state: nothing yet.

  app.next_viewer = SetClipboardViewer(app.main_window);

  load_settings(app);
  forget_handled_change(app);
  app.viewer_font.lfHeight = app.settings.FontHeight;

  if (app.settings.ShowStatus) {
    app.settings.ShowStatus = 0;
    run_command(app.main_window, IDM_SHOW_STATUS_WINDOW);
  }

  restore_window_rect(app);

  if (app.settings.StatusWindow) {
    create_status_bar(app);
    if (app.status_bar) {
      const std::string credit = credit_line(kAuthor, kHomePage, __DATE__, __TIME__);
      SendMessageA(app.status_bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(credit.c_str()));
    }
  }

  ShowWindow(app.main_window, load_window_state(app) ? SW_SHOW : SW_HIDE);

  // Stock-history lock and remembered file names: nothing yet.

  SetTimer(app.main_window, kTrayTimerId, 1000, nullptr);
  add_tray_icon(app);

  // Slots from the clip file when asked: nothing yet.

  apply_caption_rule(app);
  apply_extended_style_rule(app);
  SetWindowPos(app.main_window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  SendMessageA(app.main_window, WM_SIZE, 0, 0);
  {
    WindowDC dc(app.main_window);
    if (dc.get()) app.line_height = measure_line_height(app, dc.get());
  }
  apply_menu_bar(app);
  main_window_proc(app.main_window, WM_DRAWCLIPBOARD, 0, 0);
}

void on_destroy(App& app) {
  hide_floating_status(app);
  app.settings.FontHeight = app.viewer_font.lfHeight;
  bool saved = save_options(app);

  // Slots to the clip file when asked: nothing yet.

  // The system hides a window before destroying it, so the visibility is the one
  // taken when the close was asked for.
  app.settings.State =
      app.visible_at_close.value_or(IsWindowVisible(app.main_window) != FALSE) ? 1 : 0;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  bool normal = GetWindowPlacement(app.main_window, &placement) &&
                placement.showCmd == SW_SHOWNORMAL;
  if (normal) {
    RECT rect{};
    GetWindowRect(app.main_window, &rect);
    app.settings.X1 = rect.left;
    app.settings.Y1 = rect.top;
    app.settings.X2 = rect.right;
    app.settings.Y2 = rect.bottom;
  }
  saved = save_window(app, normal) && saved;
  if (!saved) report_unsaved_settings(app);

  KillTimer(app.main_window, kTrayTimerId);
  remove_tray_icon(app);

  app.snapshot.reset();
  // Stock-history list and drop buffers: nothing yet.

  leave_viewer_chain(app);
  // A detached menu bar is not destroyed with the window.
  if (app.main_menu && GetMenu(app.main_window) != app.main_menu) DestroyMenu(app.main_menu);
  app.main_menu = nullptr;
  app.splash.reset();
  PostQuitMessage(0);
}

void on_close(App& app) {
  app.visible_at_close = IsWindowVisible(app.main_window) != FALSE;
  if (app.settings.ConfirmQuit &&
      MessageBoxA(app.main_window, "Are you sure you wish to quit?", "Kestrin", MB_YESNO) !=
          IDYES) {
    return;
  }
  DestroyWindow(app.main_window);
}

}  // namespace

bool register_main_class(App& app) {
  app.background_brush.reset(CreateSolidBrush(RGB(0, 0, 255)));
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
  window_class.hbrBackground = static_cast<HBRUSH>(app.background_brush.get());
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
      return 0;
    case WM_DRAWCLIPBOARD:
      handle_clipboard_change(*app, wparam, lparam);
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
    case WM_KESTRIN_SLOT_LABELS:
      refresh_slot_labels(*app);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace kestrin
