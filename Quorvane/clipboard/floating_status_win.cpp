#include "clipboard/floating_status_win.h"

#include "clipboard/monitor_win.h"
#include "diagnostics_win.h"
#include "res/resource.h"

namespace kestrin {

namespace {

// The default dialog handling serves the window. Its procedure only remembers
// where the window was when it goes: the system destroys owned windows before
// their owner, so at the main window's teardown it is already gone.
INT_PTR CALLBACK floating_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
  } else if (message == WM_DESTROY) {
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrA(dialog, DWLP_USER));
    RECT rect{};
    if (app && GetWindowRect(dialog, &rect)) {
      app->settings.FloatingStatusWindowX = rect.left;
      app->settings.FloatingStatusWindowY = rect.top;
    }
    if (app && app->viewer.floating_status == dialog) app->viewer.floating_status = nullptr;
  }
  return FALSE;
}

void show_floating_status(App& app) {
  const auto full_width = static_cast<uint32_t>(GetSystemMetrics(SM_CXFULLSCREEN));
  const auto full_height = static_cast<uint32_t>(GetSystemMetrics(SM_CYFULLSCREEN));
  app.viewer.floating_status =
      CreateDialogParamA(app.instance, kFloatingStatusTemplate, app.main_window,
                         floating_dialog_proc, reinterpret_cast<LPARAM>(&app));
  if (!app.viewer.floating_status) {
    show_last_error(app.main_window, kUnitMain, 0);
    return;
  }
  refresh_floating_status(app);
  const auto x = static_cast<uint32_t>(app.settings.FloatingStatusWindowX);
  const auto y = static_cast<uint32_t>(app.settings.FloatingStatusWindowY);
  if (x < full_width && y < full_height) {
    SetWindowPos(app.viewer.floating_status, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  }
}

}  // namespace

void refresh_floating_status(App& app) {
  if (!app.viewer.floating_status) return;
  if (app.monitor->change.hidden()) {
    SetDlgItemTextA(app.viewer.floating_status, IDC_STATUS_LENGTH, "private");
    for (int id : {IDC_STATUS_CR, IDC_STATUS_LF, IDC_STATUS_FF}) {
      SetDlgItemTextA(app.viewer.floating_status, id, "-");
    }
    return;
  }
  const Analysis& a = app.monitor->analysis;
  SetDlgItemInt(app.viewer.floating_status, IDC_STATUS_LENGTH, a.shown_size(), FALSE);
  SetDlgItemInt(app.viewer.floating_status, IDC_STATUS_CR, a.cr, FALSE);
  SetDlgItemInt(app.viewer.floating_status, IDC_STATUS_LF, a.lf, FALSE);
  SetDlgItemInt(app.viewer.floating_status, IDC_STATUS_FF, a.ff, FALSE);
}

void hide_floating_status(App& app) {
  // Its procedure records the position as it goes.
  if (app.viewer.floating_status) DestroyWindow(app.viewer.floating_status);
  app.viewer.floating_status = nullptr;
}

void toggle_floating_status(App& app, unsigned) {
  flip_flag(app.settings.ShowStatus);
  if (app.settings.ShowStatus && !app.viewer.floating_status) {
    show_floating_status(app);
  } else if (!app.settings.ShowStatus && app.viewer.floating_status) {
    hide_floating_status(app);
  }
}

}  // namespace kestrin
