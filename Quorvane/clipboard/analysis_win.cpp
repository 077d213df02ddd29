#include "clipboard/analysis_win.h"

#include "clipboard/change.h"
#include "frame.h"
#include "text_format.h"

namespace kestrin {

void analyse_clipboard(App& app) {
  Analysis& a = app.analysis;
  a.clear_counts();
  app.analysed_text.reset();
  ClipboardSession session(app.main_window);
  a.bitmap_present = IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_DIB);
  char* status = app.status_text.data();

  if (IsClipboardFormatAvailable(kNeroFormat)) {
    set_status_bar_text(app, kNeroTracks);
  } else if (a.bitmap_present) {
    ClipboardBytes dib(CF_DIB);
    if (dib) {
      const std::string_view bytes = dib.bytes();
      if (dib_size(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                   a.bitmap_width, a.bitmap_height)) {
        format_bitmap_line(status, kStatusTextSize, a);
        show_status_as_title(app);
      }
    }
  } else if (IsClipboardFormatAvailable(CF_TEXT)) {
    // Without a text handle the Size line still follows, with every count 0.
    app.analysed_text = current_clipboard_text(app);
    if (app.analysed_text) analyse_text(*app.analysed_text, a, app.line_table_limit);
    format_size_line(status, kStatusTextSize, a);
    show_status_as_title(app);
  } else {
    copy_bounded(status, kStatusTextSize, kEmptyOrUnfamiliar);
    show_status_as_title(app);
  }
}

void draw_format_listing(App& app, HDC dc) {
  const int count = CountClipboardFormats() & 0xFFFF;
  UINT format = 0;
  char* line = app.status_text.data();
  for (int i = 0; i < count; ++i) {
    format = EnumClipboardFormats(format);
    const char* name = standard_format_name(format);
    char registered[256] = {};
    if (!name && GetClipboardFormatNameA(format, registered, sizeof registered) > 0) {
      name = registered;
    }
    const std::size_t length = format_listing_line(line, kStatusTextSize, i, format, name);
    TextOutA(dc, 0, i * app.line_height, line, static_cast<int>(length));
  }
}

}  // namespace kestrin
