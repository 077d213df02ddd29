// How long the program takes, inside Wine, to take a 64 MiB clipboard text:
// the change handling (analysis, tray, layout) and the first paint, as ratios to
// the bare write of the same text in the same run; then the memory the program
// keeps for a 256 MiB text of one-byte lines, beyond the text itself. Run with
// scripts/bench (KESTRIN_BENCH_MIB and KESTRIN_BENCH_SHORT_MIB change the sizes).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app_win.h"
#include "bench_util.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"
#include "main_window_win.h"
#include "res/resource.h"
#include "settings_win.h"

int main() {
  using namespace kestrin;
  using clock = std::chrono::steady_clock;
  const char* mib_text = std::getenv("KESTRIN_BENCH_MIB");
  const std::size_t mib = mib_text ? std::strtoul(mib_text, nullptr, 10) : 64;
  const std::string text = bench::sample_text(mib << 20);

  // What Wine itself takes to move a text into the clipboard, in its format.
  auto timed_write_of = [&](const TextValue& value) {
    GlobalBlock block = make_value_block(value);
    const auto start = clock::now();
    {
      ClipboardSession session(nullptr);
      put_on_clipboard(session, text_format(value), block);
    }
    return clock::now() - start;
  };
  const TextValue ansi{text, false};
  auto timed_write = [&] { return timed_write_of(ansi); };
  const double bare_write = std::chrono::duration<double, std::milli>(timed_write()).count();

  App app;
  app.instance = GetModuleHandleA(nullptr);
  app.settings_location = choose_settings_location();
  if (!register_main_class(app) || !create_main_window(app)) return 1;
  ShowWindow(app.main_window, SW_SHOW);
  UpdateWindow(app.main_window);

  for (int run = 0; run < 2; ++run) {
    // Another program's copy: the write and the change handling that runs
    // inside its close.
    const auto start = clock::now();
    timed_write();
    MSG message;  // posted messages only: the paint is timed on its own below
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
      DispatchMessageA(&message);
    }
    const auto handled = clock::now();
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const auto painted = clock::now();
    SendMessageA(app.main_window, WM_VSCROLL, SB_PAGEDOWN, 0);
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_UPDATENOW);
    const auto scrolled = clock::now();
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const double with_handling = ms(handled - start);
    std::printf(
        "%zu MiB text, %u lines: bare write %.0f ms; write and handling %.0f ms, the handling's "
        "own part %.2fx the bare write (aim: at most 1.2x); first paint %.1f ms, %.3fx (aim: at "
        "most 0.05x); a page down and its paint %.1f ms\n",
        mib, app.monitor->analysis.line_count, bare_write, with_handling,
        (with_handling - bare_write) / bare_write, ms(painted - handled),
        ms(painted - handled) / bare_write, ms(scrolled - painted));
  }

  // The same size of Unicode text: the write of its CF_UNICODETEXT alone, then
  // with the handling; and a text command on it beside the same command on the
  // ANSI text above.
  {
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    auto pump = [] {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    };
    std::string utf8;
    const std::string line = "gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
                             "\xD0\xB6\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C and some plain words\r\n";
    utf8.reserve(mib << 20);
    while (utf8.size() + line.size() <= (mib << 20)) utf8 += line;
    const TextValue unicode{utf8, true};
    auto write_unicode = [&] { return timed_write_of(unicode); };
    DestroyWindow(app.main_window);  // no viewer: the bare write
    const double bare = ms(write_unicode());
    if (!create_main_window(app)) return 1;
    ShowWindow(app.main_window, SW_SHOW);
    pump();
    const auto start = clock::now();
    write_unicode();
    pump();
    const double handled = ms(clock::now() - start);
    std::printf("%zu MiB Unicode text: bare write %.0f ms; write and handling %.0f ms, the "
                "handling's own part %.2fx the bare write (aim: at most 1.3x)\n",
                mib, bare, handled, (handled - bare) / bare);
    auto command = [&] {
      const auto begin = clock::now();
      SendMessageA(app.main_window, WM_COMMAND, IDM_UPPER_CASE, 0);
      pump();
      return ms(clock::now() - begin);
    };
    const double on_unicode = command();
    timed_write();
    pump();
    const double on_ansi = command();
    std::printf("Upper Case: on the Unicode text %.0f ms, on the ANSI text %.0f ms, %.2fx (aim: "
                "at most 1.5x)\n", on_unicode, on_ansi, on_unicode / on_ansi);
  }

  // A large text of one-byte lines: the time, and what the program keeps beside
  // the one copy of the text it read (Wine does not account private memory per
  // process, so the line index is counted from the analysis itself).
  const char* short_text = std::getenv("KESTRIN_BENCH_SHORT_MIB");
  const std::size_t short_mib = short_text ? std::strtoul(short_text, nullptr, 10) : 256;
  if (short_mib > 0) {
    std::string lines;
    lines.reserve(short_mib << 20);
    while (lines.size() + 3 <= (short_mib << 20)) lines += "x\r\n";
    GlobalBlock block = make_text_block(lines);
    const double text_size = static_cast<double>(lines.size());
    std::string().swap(lines);
    const auto start = clock::now();
    {
      ClipboardSession session(nullptr);
      put_on_clipboard(session, CF_TEXT, block);
    }
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const double elapsed = std::chrono::duration<double, std::milli>(clock::now() - start).count();
    const uint32_t count = app.monitor->analysis.line_count;
    const double index = ((count - 1) / kLineAnchorStep + 1) * 4.0;
    std::printf(
        "%zu MiB of one-byte lines, %u lines: write, handling and paint %.0f ms; line index %.1f "
        "MiB, %.3fx the text (aim: at most 1x; a full table would take %.0f MiB)\n",
        short_mib, count, elapsed, index / (1 << 20), index / text_size, count * 8.0 / (1 << 20));
  }

  DestroyWindow(app.main_window);
  return 0;
}
