#include <windows.h>
#include <uxtheme.h>

#include <cstdio>

#include "extras/extras_win.h"
#include "clipboard/seam_win.h"
#include "extras/modem.h"
#include "res/resource.h"

namespace kestrin {

namespace {

// Paints the extras' dialogs like the program's others: the dialog brush, white
// text on a transparent background.
INT_PTR dialog_colours(const App* app, WPARAM wparam) {
  if (!app) return FALSE;
  const auto dc = reinterpret_cast<HDC>(wparam);
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(app->frame.dialog_brush.get());
}

struct ModemDialog {
  App* app;
  int32_t port;  // the working copy
};

INT_PTR CALLBACK modem_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<ModemDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      state = reinterpret_cast<ModemDialog*>(lparam);
      if (state->port >= 1 && state->port <= 4) {
        CheckRadioButton(dialog, IDC_MODEM_COM1, IDC_MODEM_COM4, 1008 + state->port);
      }
      // Themed radio buttons draw their text in the theme's colour, which the
      // dialog's dark blue would swallow: these draw as before, in white.
      for (int id = IDC_MODEM_COM1; id <= IDC_MODEM_COM4; ++id) {
        SetWindowTheme(GetDlgItem(dialog, id), L"", L"");
      }
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return dialog_colours(state ? state->app : nullptr, wparam);
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_MODEM_COM1:
        case IDC_MODEM_COM2:
        case IDC_MODEM_COM3:
        case IDC_MODEM_COM4:
          state->port = LOWORD(wparam) - 1008;
          CheckRadioButton(dialog, IDC_MODEM_COM1, IDC_MODEM_COM4, LOWORD(wparam));
          return TRUE;
        case IDOK:
          MessageBeep(MB_ICONASTERISK);
          state->app->settings.ModemComPort = state->port;
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

INT_PTR extras_dialog_colours(const App* app, WPARAM wparam) { return dialog_colours(app, wparam); }

void dial(App& app, unsigned) {
  std::optional<std::string> command;
  {
    ClipboardSession session(app.main_window);
    if (session.is_open() && IsClipboardFormatAvailable(CF_TEXT)) {
      ClipboardBytes text(CF_TEXT);
      if (text) command = dial_command(text.bytes(), text.whole_block().size());
    }
  }
  if (!command) return;
  if (MessageBoxA(app.main_window, command->c_str(), "About to dial", MB_OKCANCEL) != IDOK) return;

  // The port as a device: a bare "COMn:" name can open a plain file instead.
  const unsigned port = static_cast<unsigned>(app.settings.ModemComPort);
  char name[32], device[32];
  std::snprintf(name, sizeof name, "COM%u:", port);
  std::snprintf(device, sizeof device, "\\\\.\\COM%u", port);
  UniqueHandle modem(CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                                 nullptr));
  if (!modem) {  // judged by the handle: an open of an existing device reports 183
    std::printf("Could not open '%s' - Error = %lu\n", name, GetLastError());
    std::fflush(stdout);
    return;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutMultiplier = 50;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 50;
  timeouts.WriteTotalTimeoutConstant = 0;
  SetCommTimeouts(modem.get(), &timeouts);
  DCB settings{};
  settings.DCBlength = sizeof settings;
  GetCommState(modem.get(), &settings);
  BuildCommDCBA("baud=19200 parity=N data=8 stop=1", &settings);
  settings.fBinary = TRUE;
  SetCommState(modem.get(), &settings);
  DWORD written = 0;
  WriteFile(modem.get(), command->data(), static_cast<DWORD>(command->size()), &written, nullptr);
  MessageBoxA(app.main_window, command->c_str(),
              "Sent to modem; Pick up your handset and press OK to talk.", MB_ICONINFORMATION);
  char answer[255];
  DWORD got = 0;
  ReadFile(modem.get(), answer, sizeof answer, &got, nullptr);  // the answer is not used
}

void modem_options(App& app, unsigned) {
  ModemDialog state{&app, app.settings.ModemComPort};
  DialogBoxParamA(app.instance, "MODEMOPTIONS", app.main_window, modem_options_proc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace kestrin
