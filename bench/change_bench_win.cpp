// How long the program takes, inside Wine, to take a 64 MiB clipboard text:
// the change handling (analysis, tray, layout) and the first paint. Prints the
// times; run with scripts/bench.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app.h"
#include "bench_util.h"
#include "clipboard/seam.h"
#include "main_window.h"
#include "settings_file.h"

int main() {
  using namespace kestrin;
  using clock = std::chrono::steady_clock;
  const char* mib_text = std::getenv("KESTRIN_BENCH_MIB");
  const std::size_t mib = mib_text ? std::strtoul(mib_text, nullptr, 10) : 64;
  const std::string text = bench::sample_text(mib << 20);

  // What Wine itself takes to move the text into the clipboard, with no viewer.
  auto timed_write = [&] {
    GlobalBlock block = make_text_block(text);
    const auto start = clock::now();
    {
      ClipboardSession session(nullptr);
      put_on_clipboard(session, CF_TEXT, block);
    }
    return clock::now() - start;
  };
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
    const auto write = timed_write();
    MSG message;  // posted messages only: the paint is timed on its own below
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
      DispatchMessageA(&message);
    }
    const auto handled = clock::now();
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_UPDATENOW);
    const auto painted = clock::now();
    const double with_handling = std::chrono::duration<double, std::milli>(handled - start).count();
    (void)write;
    std::printf(
        "%zu MiB text, %u lines: write and change handling %.0f ms (the write alone, no "
        "viewer: %.0f ms), first paint %.0f ms\n",
        mib, app.analysis.line_count, with_handling, bare_write,
        std::chrono::duration<double, std::milli>(painted - handled).count());
  }
  DestroyWindow(app.main_window);
  return 0;
}
