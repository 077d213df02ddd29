#include "dialogs.h"

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

void show_not_implemented(App& app) {
  DialogBoxParamA(app.instance, kNotImplementedTemplate, app.main_window, info_dialog_proc, 0);
  InvalidateRect(app.main_window, nullptr, TRUE);
}

}  // namespace kestrin
