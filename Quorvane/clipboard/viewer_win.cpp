#include "clipboard/viewer_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include <algorithm>
#include <cstring>

#include <commctrl.h>
#include <commdlg.h>

#include "clipboard/analysis_win.h"
#include "clipboard/change_win.h"
#include "clipboard/viewer_rules.h"
#include "clipboard/floating_status_win.h"
#include "run_command_win.h"
#include "diagnostics_win.h"
#include "frame_win.h"
#include "res/resource.h"
#include "transform/long_command_win.h"
#include "text_format.h"
#include "utf.h"

namespace kestrin {

namespace {

ScrollState read_bar(HWND window, int bar) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window, bar, &info);
  return {static_cast<uint32_t>(info.nMin), static_cast<uint32_t>(info.nMax), info.nPage,
          static_cast<uint32_t>(info.nPos)};
}

void write_bar(HWND window, int bar, UINT mask, const ScrollState& state, bool redraw) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = mask;
  info.nMin = static_cast<int>(state.min);
  info.nMax = static_cast<int>(state.max);
  info.nPage = state.page;
  info.nPos = static_cast<int>(state.pos);
  SetScrollInfo(window, bar, &info, redraw);
}

RECT text_area(const App& app) {
  RECT area{};
  GetClientRect(app.main_window, &area);
  if (app.frame.status_bar) {
    RECT bar{};
    GetClientRect(app.frame.status_bar, &bar);
    area.bottom -= bar.bottom - bar.top;
  }
  return area;
}

// One line of the text: ANSI bytes as they are, UTF-8 through the wide
// functions, so that the system draws and shapes every script.
void draw_line(HDC dc, int y, std::string_view bytes, bool unicode) {
  if (!unicode) {
    TabbedTextOutA(dc, 0, y, bytes.data(), static_cast<int>(bytes.size()), 0, nullptr, 0);
    return;
  }
  const std::u16string wide = utf8_to_utf16(bytes);
  TabbedTextOutW(dc, 0, y, reinterpret_cast<const wchar_t*>(wide.data()),
                 static_cast<int>(wide.size()), 0, nullptr, 0);
}

void draw_text(App& app, HDC dc, const TextValue& value, const ScrollState& vertical) {
  const std::string& text = value.bytes;
  ScrollState bar = read_bar(app.main_window, SB_VERT);
  if (bar.max < app.monitor->analysis.line_count) {
    bar.max = app.monitor->analysis.line_count;
    write_bar(app.main_window, SB_VERT, SIF_RANGE, bar, false);
  }
  Analysis& a = app.monitor->analysis;
  // The shared text already ends at its NUL: no scan of it at every paint.
  a.size = static_cast<uint32_t>(text.size() < UINT32_MAX ? text.size() : UINT32_MAX);
  if (a.has_line_table()) {
    // Only the lines that can be seen are drawn.
    const uint64_t last = uint64_t{vertical.pos} + vertical.page;
    for (LineCursor line(text, a, vertical.pos); line.valid() && line.line() <= last;
         line.next()) {
      draw_line(dc, static_cast<int>((line.line() - vertical.pos) * app.viewer.line_height),
                line.visible(), value.unicode);
    }
  } else {
    RECT area = text_area(app);
    if (value.unicode) {
      const std::u16string wide = utf8_to_utf16(text);
      DrawTextW(dc, reinterpret_cast<const wchar_t*>(wide.data()),
                static_cast<int>(wide.size() < INT_MAX ? wide.size() : INT_MAX), &area,
                DT_EXPANDTABS);
    } else {
      DrawTextA(dc, text.data(), static_cast<int>(a.size < INT_MAX ? a.size : INT_MAX), &area,
                DT_EXPANDTABS);
    }
  }
}

// The clipboard's bitmap at its own size, scrolled. One that claims more
// pixels than a screen shows, or is compressed (the system's conversion costs
// what the claim says, whatever data is there), is drawn as a preview the
// size of the window instead.
void draw_bitmap(const App& app, HDC dc, const ScrollState& horizontal, const ScrollState& vertical) {
  if (const auto& dib = app.monitor->change.dib) {
    const std::span<const uint8_t> bytes{reinterpret_cast<const uint8_t*>(dib->data()), dib->size()};
    if (!dib_drawable_whole(bytes)) {
      RECT client{};
      GetClientRect(app.main_window, &client);
      constexpr uint32_t kLargestPreview = 2048;
      const auto side = [&](LONG extent) { return std::clamp<uint32_t>(static_cast<uint32_t>(std::max<LONG>(extent, 1)), 1, kLargestPreview); };
      if (const auto preview = dib_preview(bytes, side(client.right), side(client.bottom))) {
        draw_dib_preview(dc, *preview, 0, 0);
      }
      return;
    }
  }
  auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  if (!bitmap) return;
  BITMAP info{};
  if (!GetObjectA(bitmap, sizeof info, &info)) return;
  MemoryDC memory(dc);
  if (!memory.get()) return;
  SelectedObject selected(memory.get(), bitmap);
  BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), static_cast<int>(horizontal.pos),
         static_cast<int>(vertical.pos), SRCCOPY);
}

}  // namespace

void draw_dib_preview(HDC dc, const DibPreview& preview, int x, int y) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(preview.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(preview.height);  // top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, x, y, preview.width, preview.height, 0, 0, 0, preview.height, preview.pixels.data(), &info,
                    DIB_RGB_COLORS);
}

HFONT create_viewer_font(const App& app) {
  LOGFONTA font = app.viewer.viewer_font;
  font.lfHeight = font_height_at(font.lfHeight, app.viewer.dpi);
  return CreateFontIndirectA(&font);
}

int measure_line_height(const App& app, HDC dc) {
  UniqueGdiObject font(create_viewer_font(app));
  SelectedObject selected(dc, font.get());
  SIZE extent{};
  return GetTextExtentPoint32A(dc, "!", 1, &extent) ? extent.cy : 0;
}

void start_viewer(App& app) {
  app.viewer.viewer_font.lfHeight = app.settings.FontHeight;
  if (app.settings.ShowStatus) {
    app.settings.ShowStatus = 0;
    run_command(app.main_window, IDM_SHOW_STATUS_WINDOW);
  }
}

void stop_viewer(App& app) {
  hide_floating_status(app);
  app.settings.FontHeight = app.viewer.viewer_font.lfHeight;
}

void layout_viewer(App& app) {
  const bool logging = app.settings.DebugLogging != 0;
  if (logging) debug_log(app.main_window, kUnitMain, kSiteSizeStart, "Processing WM_SIZE");
  RECT area{};
  GetClientRect(app.main_window, &area);
  if (app.frame.status_bar) {
    SendMessageA(app.frame.status_bar, WM_SIZE, 0, 0);
    RECT bar{};
    GetClientRect(app.frame.status_bar, &bar);
    const std::array<int, 3> parts =
        status_bar_parts(bar.right - bar.left, bar.bottom - bar.top);
    SendMessageA(app.frame.status_bar, SB_SETPARTS, parts.size(),
                 reinterpret_cast<LPARAM>(parts.data()));
    SendMessageA(app.frame.status_bar, SB_SETTEXTA, 2 | SBT_NOBORDERS, 0);
    area.bottom -= bar.bottom - bar.top;
  }
  const auto width = static_cast<uint32_t>(area.right - area.left);
  const auto height = static_cast<uint32_t>(area.bottom - area.top);
  const Analysis& a = app.monitor->analysis;
  char* status = app.monitor->status_text.data();

  if (a.bitmap_present) {
    write_bar(app.main_window, SB_VERT, SIF_RANGE | SIF_PAGE, {0, a.bitmap_height, height, 0},
              true);
    write_bar(app.main_window, SB_HORZ, SIF_RANGE | SIF_PAGE, {0, a.bitmap_width, width, 0},
              true);
    format_bitmap_layout_line(status, kStatusTextSize, a, width, height);
    show_status_as_title(app);
  } else if (a.line_count != 0 && app.viewer.line_height != 0) {
    write_bar(app.main_window, SB_HORZ, SIF_ALL, {}, true);
    ScrollState bar = read_bar(app.main_window, SB_VERT);
    bar.min = 0;
    bar.max = a.line_count;
    bar.page = lines_per_page(static_cast<int>(height), app.viewer.line_height);
    write_bar(app.main_window, SB_VERT, SIF_ALL, bar, true);
    format_text_line(status, kStatusTextSize, a.line_count, bar.page, a.shown_size(),
                     static_cast<double>(bar.max - bar.min) / bar.page, a.unicode);
    show_status_as_title(app);
  } else {
    write_bar(app.main_window, SB_HORZ, SIF_ALL, {}, true);
    write_bar(app.main_window, SB_VERT, SIF_ALL, {}, true);
  }
  InvalidateRect(app.main_window, nullptr, TRUE);
  if (logging) debug_log(app.main_window, kUnitMain, kSiteSizeEnd, "Processed WM_SIZE");
}

void paint_viewer(App& app) {
  PaintScope paint(app.main_window);
  HDC dc = paint.dc();
  if (!dc) return;
  UniqueGdiObject font(create_viewer_font(app));
  {
    SelectedObject selected(dc, font.get());
    SIZE extent{};
    if (GetTextExtentPoint32A(dc, "!", 1, &extent)) app.viewer.line_height = extent.cy;
    SetTextColor(dc, static_cast<COLORREF>(app.settings.ColorForeground));
    SetBkColor(dc, static_cast<COLORREF>(app.settings.ColorBackground));

    const int count = CountClipboardFormats() & 0xFFFF;
    app.viewer.clipboard_empty = count == 0;
    const ScrollState vertical = read_bar(app.main_window, SB_VERT);
    const ScrollState horizontal = read_bar(app.main_window, SB_HORZ);
    app.monitor->analysis.size = 0;
    if (app.monitor->change.hidden()) {
      // Only that there is something, never what.
      TextOutA(dc, 0, 0, kPrivateContent, static_cast<int>(std::strlen(kPrivateContent)));
    } else if (!app.settings.DebugClipboardTypes && !app.monitor->analysis.bitmap_present &&
               app.monitor->analysed_text) {
      // The text read at the change: painting and scrolling never read the
      // clipboard again.
      draw_text(app, dc, *app.monitor->analysed_text, vertical);
    } else {
      ClipboardSession session(app.main_window);
      if (session.is_open() && app.settings.DebugClipboardTypes) {
        draw_format_listing(app, dc);
      } else if (session.is_open()) {
        // Each kind is drawn once, from the first format of it listed: the system
        // offers the text again as CF_OEMTEXT, and drawing that over the CF_TEXT
        // with the same font would garble every non-ASCII character.
        bool text_drawn = false, bitmap_drawn = false;
        UINT format = 0;
        for (int i = 0; i < count; ++i) {
          format = EnumClipboardFormats(format);
          if ((format == CF_TEXT || format == CF_OEMTEXT || format == CF_UNICODETEXT) &&
              !text_drawn) {
            if (const SharedText text = current_clipboard_text(app)) {
              draw_text(app, dc, *text, vertical);
            }
            text_drawn = true;
          } else if ((format == CF_BITMAP || format == CF_DIB) && !bitmap_drawn) {
            draw_bitmap(app, dc, horizontal, vertical);
            bitmap_drawn = true;
          }
        }
      }
    }
  }
}

void scroll_viewer(App& app, int bar, WPARAM wparam) {
  const bool vertical = bar == SB_VERT;
  ScrollState state = read_bar(app.main_window, bar);
  const uint32_t old = state.pos;
  const uint32_t next =
      next_scroll_position(state, LOWORD(wparam), HIWORD(wparam), vertical);
  if (next == old) return;
  state.pos = next;
  write_bar(app.main_window, bar, SIF_ALL, state, true);
  InvalidateRect(app.main_window, nullptr, TRUE);
  if (vertical) {
    format_scroll_line(app.monitor->status_text.data(), kStatusTextSize, state.min, state.max, next,
                       state.page);
    show_status_as_title(app);
  }
}

void viewer_key(App& app, WPARAM key, LPARAM flags) {
  const bool extended = (flags & (1 << 24)) != 0;
  auto scroll = [&](int code) { SendMessageA(app.main_window, WM_VSCROLL, code, 0); };
  switch (key) {
    case VK_PRIOR:
      return scroll(SB_PAGEUP);
    case VK_NEXT:
      return scroll(SB_PAGEDOWN);
    case VK_END:
      return scroll(SB_BOTTOM);
    case VK_HOME:
      return scroll(SB_TOP);
    case VK_UP:
      return scroll(SB_LINEUP);
    case VK_DOWN:
      return scroll(SB_LINEDOWN);
    case VK_INSERT:
      if (extended) return run_command(app.main_window, IDM_APPEND);
      break;
    case VK_DELETE:
      if (extended) return run_command(app.main_window, IDM_DELETE);
      break;
    case VK_ESCAPE:
      // While a text command runs, Escape stops it (a stamp would have to
      // wait for it anyway).
      if (!extended && long_command_running(app)) {
        cancel_long_command(app);
        return;
      }
      if (!extended) return run_command(app.main_window, IDM_STAMP_SLASHED);
      break;
    case VK_SCROLL:
      if (!extended) return run_command(app.main_window, IDM_PREPEND_STAMP);
      break;
  }
  MessageBeep(MB_ICONEXCLAMATION);
}

void viewer_wheel(App& app, WPARAM wparam) {
  const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
  const WORD buttons = LOWORD(wparam);
  if (buttons & MK_LBUTTON) {
    bool changed = false;
    app.viewer.viewer_font.lfHeight = wheel_zoom(app.viewer.viewer_font.lfHeight, delta, changed);
    if (changed) InvalidateRect(app.main_window, nullptr, TRUE);
    SendMessageA(app.main_window, WM_SIZE, 0, 0);
    return;
  }
  SendMessageA(app.main_window, WM_VSCROLL, wheel_scroll_code(delta, buttons & MK_RBUTTON), 0);
}

namespace {

void choose_colour(App& app, int32_t& colour) {
  CHOOSECOLORA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = app.main_window;
  dialog.rgbResult = static_cast<COLORREF>(colour);
  dialog.lpCustColors = app.viewer.custom_colours.data();
  dialog.Flags = CC_RGBINIT;
  if (ChooseColorA(&dialog)) {
    colour = static_cast<int32_t>(dialog.rgbResult);
    InvalidateRect(app.main_window, nullptr, TRUE);
  }
}

}  // namespace

void choose_foreground_colour(App& app, unsigned) { choose_colour(app, app.settings.ColorForeground); }

void choose_background_colour(App& app, unsigned) { choose_colour(app, app.settings.ColorBackground); }

void choose_viewer_font(App& app, unsigned) {
  // The dialog works in the window's pixels; the font is kept as at 96 DPI.
  LOGFONTA chosen = app.viewer.viewer_font;
  if (chosen.lfHeight != 0) chosen.lfHeight = font_height_at(chosen.lfHeight, app.viewer.dpi);
  CHOOSEFONTA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = app.main_window;
  dialog.lpLogFont = &chosen;
  dialog.Flags = CF_SCREENFONTS | CF_EFFECTS;
  if (app.viewer.viewer_font.lfFaceName[0] != '\0') dialog.Flags |= CF_INITTOLOGFONTSTRUCT;
  dialog.rgbColors = static_cast<COLORREF>(app.settings.ColorForeground);
  if (ChooseFontA(&dialog)) {
    chosen.lfHeight = font_height_at_96(chosen.lfHeight, app.viewer.dpi);
    app.viewer.viewer_font = chosen;
    app.settings.ColorForeground = static_cast<int32_t>(dialog.rgbColors);
    InvalidateRect(app.main_window, nullptr, TRUE);
  }
}

}  // namespace kestrin
