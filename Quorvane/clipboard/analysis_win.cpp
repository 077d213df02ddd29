#include "clipboard/analysis_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"

#include "clipboard/change_win.h"
#include "frame_win.h"
#include "text_format.h"

namespace kestrin {

void analyse_change(App& app, const ClipboardChange& change) {
  Analysis& a = app.monitor->analysis;
  a.clear_counts();
  app.monitor->analysed_text.reset();
  a.bitmap_present = !change.hidden() && (change.has(CF_BITMAP) || change.has(CF_DIB));
  char* status = app.monitor->status_text.data();

  if (change.hidden()) {
    copy_bounded(status, kStatusTextSize, kPrivateContent);
    show_status_as_title(app);
  } else if (change.has(kNeroFormat)) {
    set_status_bar_text(app, kNeroTracks);
  } else if (a.bitmap_present) {
    if (const auto& dib = change.dib) {
      if (dib_size(reinterpret_cast<const unsigned char*>(dib->data()), dib->size(),
                   a.bitmap_width, a.bitmap_height)) {
        format_bitmap_line(status, kStatusTextSize, a);
        show_status_as_title(app);
      }
    }
  } else if (change.has(CF_TEXT) || change.has(CF_UNICODETEXT) || change.text) {
    // Without a text handle the Size line still follows, with every count 0.
    app.monitor->analysed_text = change.text;
    std::shared_ptr<PreparedText> prepared = std::move(app.monitor->prepared);
    if (prepared && prepared->text == change.text && change.text) {
      // Analysed off the window's thread already.
      const uint32_t width = a.bitmap_width, height = a.bitmap_height;
      a = std::move(prepared->analysis);
      a.bitmap_present = false;
      a.bitmap_width = width;
      a.bitmap_height = height;
    } else if (const SharedText& text = app.monitor->analysed_text) {
      if (text->unicode) {
        analyse_unicode_text(text->bytes, a, app.monitor->line_table_limit);
      } else {
        analyse_text(text->bytes, a, app.monitor->line_table_limit);
      }
    }
    format_size_line(status, kStatusTextSize, a);
    show_status_as_title(app);
  } else {
    copy_bounded(status, kStatusTextSize, kEmptyOrUnfamiliar);
    show_status_as_title(app);
  }
}

std::vector<std::string> format_listing() {
  std::vector<std::string> lines;
  const int count = CountClipboardFormats() & 0xFFFF;
  UINT format = 0;
  char line[512];
  for (int i = 0; i < count; ++i) {
    format = EnumClipboardFormats(format);
    const char* name = standard_format_name(format);
    char registered[256] = {};
    if (!name && GetClipboardFormatNameA(format, registered, sizeof registered) > 0) {
      name = registered;
    }
    lines.emplace_back(line, format_listing_line(line, sizeof line, i, format, name));
  }
  return lines;
}

void draw_format_listing(const App& app, HDC dc) {
  int y = 0;
  for (const std::string& line : format_listing()) {
    TextOutA(dc, 0, y, line.data(), static_cast<int>(line.size()));
    y += app.viewer.line_height;
  }
}

}  // namespace kestrin
