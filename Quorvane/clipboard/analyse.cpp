#include "clipboard/analyse.h"

#include "frame.h"
#include "text_format.h"

namespace kestrin {

namespace {

void analyse_text_block(App& app) {
  HANDLE handle = GetClipboardData(CF_TEXT);
  if (!handle) return;  // the Size line still follows, with every count 0
  LockedBlock bytes(static_cast<HGLOBAL>(handle));
  if (!bytes) return;
  const std::string_view text(bytes.data(), text_length(bytes.data(), bytes.size()));
  analyse_text(text, app.analysis, app.line_table_limit);
}

}  // namespace

void analyse_clipboard(App& app) {
  Analysis& a = app.analysis;
  a.clear_counts();
  ClipboardSession session(app.main_window);
  a.bitmap_present = IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_DIB);
  char* status = app.status_text.data();

  if (IsClipboardFormatAvailable(kNeroFormat)) {
    set_status_bar_text(app, kNeroTracks);
  } else if (a.bitmap_present) {
    if (HANDLE handle = GetClipboardData(CF_DIB)) {
      LockedBlock dib(static_cast<HGLOBAL>(handle));
      if (dib && dib_size(reinterpret_cast<const unsigned char*>(dib.data()), dib.size(),
                          a.bitmap_width, a.bitmap_height)) {
        format_bitmap_line(status, kStatusTextSize, a);
        show_status_as_title(app);
      }
    }
  } else if (IsClipboardFormatAvailable(CF_TEXT)) {
    analyse_text_block(app);
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
