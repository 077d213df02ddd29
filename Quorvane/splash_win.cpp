#include "splash_win.h"

#include "dpi_win.h"

namespace kestrin {

namespace {

constexpr int kSplashWidth = 300;
constexpr int kSplashHeight = 50;
constexpr const char* kSplashText = "Ebrin's Clipboard Utility";

}  // namespace

void create_splash(App& app) {
  app.frame.dialog_brush.reset(CreateSolidBrush(RGB(0, 0, 127)));

  WNDCLASSA splash_class{};
  splash_class.style = CS_HREDRAW | CS_VREDRAW;
  splash_class.lpfnWndProc = DefWindowProcA;
  splash_class.hInstance = app.instance;
  splash_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  splash_class.hbrBackground = static_cast<HBRUSH>(app.frame.dialog_brush.get());
  splash_class.lpszClassName = kSplashClassName;
  RegisterClassA(&splash_class);  // already registered when a window is made again

  // Sized for the screen's DPI: there is no window yet to ask.
  const UINT dpi = window_dpi(nullptr);
  const int width = scaled(kSplashWidth, dpi), height = scaled(kSplashHeight, dpi);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND splash = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kSplashClassName, "",
                                WS_POPUP, x, y, width, height, nullptr,
                                nullptr, app.instance, nullptr);
  if (!splash) return;
  app.frame.splash.reset(splash);
  // The window owns the region from here on.
  SetWindowRgn(splash, CreateEllipticRgn(0, 0, width - 1, height - 1), TRUE);
  ShowWindow(splash, SW_SHOW);
  UpdateWindow(splash);

  WindowDC dc(splash);
  if (!dc.get()) return;
  UniqueGdiObject font(CreateFontA(scaled(17, dpi), scaled(10, dpi), 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FF_ROMAN, nullptr));
  SelectedObject selected(dc.get(), font.get());
  SetBkMode(dc.get(), TRANSPARENT);
  SetTextColor(dc.get(), RGB(127, 127, 0));
  RECT area{0, 0, width, height};
  DrawTextA(dc.get(), kSplashText, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace kestrin
