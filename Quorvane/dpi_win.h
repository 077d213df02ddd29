// The screen's resolution as each window sees it. The program declares itself
// aware of each monitor's DPI: what it sizes itself (the viewer's font, the
// status bar's font, the splash, the tray icon, the history window) it sizes
// for the DPI of the window, from sizes given at 96 DPI. The functions of newer
// Windows are looked up, not linked: the program still starts on older ones,
// which then report the system's DPI.
#pragma once

#include <windows.h>

namespace kestrin {

inline constexpr UINT kBaseDpi = 96;

namespace dpi_detail {

template <typename Function>
Function user32_function(const char* name) {
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  // Through the generic function pointer type, which any other converts to.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace dpi_detail

// The DPI of the monitor the window is on (the system's for no window).
inline UINT window_dpi(HWND window) {
  using GetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto get = dpi_detail::user32_function<GetDpiForWindow>("GetDpiForWindow");
  if (window && get) {
    if (const UINT dpi = get(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

// A size given at 96 DPI, at `dpi`.
inline int scaled(int size96, UINT dpi) { return MulDiv(size96, static_cast<int>(dpi), kBaseDpi); }

// A system metric at `dpi` (small icons, say).
inline int metric_for_dpi(int index, UINT dpi) {
  using GetSystemMetricsForDpi = int(WINAPI*)(int, UINT);
  static const auto get = dpi_detail::user32_function<GetSystemMetricsForDpi>("GetSystemMetricsForDpi");
  return get ? get(index, dpi) : GetSystemMetrics(index);
}

// The fonts of captions, menus, status bars and messages at `dpi`.
inline bool nonclient_metrics_for_dpi(NONCLIENTMETRICSW& metrics, UINT dpi) {
  using SystemParametersInfoForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto get = dpi_detail::user32_function<SystemParametersInfoForDpi>("SystemParametersInfoForDpi");
  metrics = {};
  metrics.cbSize = sizeof metrics;
  if (get) return get(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE;
  return SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
}

}  // namespace kestrin
