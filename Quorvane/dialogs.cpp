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

namespace {

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

}  // namespace kestrin
