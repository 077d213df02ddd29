// The slots inside Wine: storing and recalling a 64 MiB text (as ratios to the
// bare write of it in the same run), and saving and loading twenty slots of
// 8 MiB each in MB/s. scripts/bench copies the saved file with cp beside it.
// KESTRIN_BENCH_CLIP names the clip file (default: one in the temporary folder).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_win.h"
#include "bench_util.h"
#include "clipboard/seam_win.h"
#include "main_window_win.h"
#include "res/resource.h"
#include "settings_win.h"
#include "slots/clip_file.h"
#include "slots/slots.h"
#include "slots/slots_win.h"

int main() {
  using namespace kestrin;
  using clock = std::chrono::steady_clock;
  auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const std::string text = bench::sample_text(std::size_t{64} << 20);

  App app;
  app.instance = GetModuleHandleA(nullptr);
  app.settings_location = choose_settings_location();
  if (!register_main_class(app) || !create_main_window(app)) return 1;
  auto pump = [] {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  };

  for (int run = 0; run < 2; ++run) {
    GlobalBlock block = make_text_block(text);
    auto start = clock::now();
    {
      ClipboardSession session(nullptr);
      put_on_clipboard(session, CF_TEXT, block);
    }
    pump();
    const double write = ms(clock::now() - start);
    start = clock::now();
    SendMessageA(app.main_window, WM_COMMAND, IDM_STORE_FIRST, 0);
    const double store = ms(clock::now() - start);
    start = clock::now();
    SendMessageA(app.main_window, WM_COMMAND, IDM_RECALL_FIRST, 0);
    pump();
    const double recall = ms(clock::now() - start);
    std::printf(
        "64 MiB text: write and its handling %.0f ms; store %.0f ms (%.2fx); recall and its "
        "handling %.0f ms (%.2fx)\n",
        write, store, store / write, recall, recall / write);
  }

  const std::string part = bench::sample_text(std::size_t{8} << 20);
  for (ClipSlot& slot : app.slots.store) {
    store_block(slot, kSlotText, {reinterpret_cast<const uint8_t*>(part.data()), part.size()},
                SlotTime{});
  }
  const char* named = std::getenv("KESTRIN_BENCH_CLIP");
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string path = named ? named : std::string(temp) + "kestrin-bench.clc";
  const double megabytes = 20.0 * static_cast<double>(part.size()) / 1e6;
  // The minimal Win32 program for the same bytes: a new file beside the old
  // one, one WriteFile, FlushFileBuffers, and the one-step replace; and a bare
  // ReadFile into fresh memory. Run in turns with the real save and load, so
  // that both meet the same state of the system's cache.
  const std::vector<uint8_t> bytes = clip_file_bytes(app.slots.store);
  const std::wstring wide_path(path.begin(), path.end());
  auto bare_save = [&] {
    const std::wstring fresh = wide_path + L".bare";
    HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok && MoveFileExW(fresh.c_str(), wide_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  };
  auto bare_load = [&] {
    HANDLE file = CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    auto* fresh = static_cast<char*>(VirtualAlloc(nullptr, bytes.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD read = 0;
    const bool ok = fresh && ReadFile(file, fresh, static_cast<DWORD>(bytes.size()), &read, nullptr);
    if (fresh) VirtualFree(fresh, 0, MEM_RELEASE);
    CloseHandle(file);
    return ok;
  };
  // Five rounds of saves, then five of loads: the first of each pays for
  // memory the system hands out for the first time (on a virtual machine far
  // more than the work itself), and a save right after a load would pay for
  // the page cache the load filled; the best of each is compared. Saves go in
  // turns with the bare one, first one, then the other.
  double best_save = 1e30, best_load = 1e30, best_bare_save = 1e30, best_bare_load = 1e30;
  bool saved = true;
  for (int round = 0; round < 5; ++round) {
    double save = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const auto start = clock::now();
      if ((turn + round) % 2 == 0) {
        saved = bare_save() && saved;
        best_bare_save = std::min(best_bare_save, ms(clock::now() - start));
      } else {
        saved = save_clip_file(app, path) && saved;
        save = ms(clock::now() - start);
      }
    }
    std::printf("twenty 8 MiB slots, round %d: save %.0f ms, %.0f MB/s%s\n", round + 1, save,
                megabytes / save * 1000, saved ? "" : " (FAILED)");
    best_save = std::min(best_save, save);
  }
  for (int round = 0; round < 5; ++round) {
    auto start = clock::now();
    bare_load();
    best_bare_load = std::min(best_bare_load, ms(clock::now() - start));
    for (ClipSlot& slot : app.slots.store) clear(slot);
    start = clock::now();
    load_clip_file(app, path);
    const double load = ms(clock::now() - start);
    std::printf("twenty 8 MiB slots, round %d: load %.0f ms, %.0f MB/s\n", round + 1, load,
                megabytes / load * 1000);
    best_load = std::min(best_load, load);
  }
  std::printf("twenty 8 MiB slots, best: save %.0f ms, %.0f MB/s; load %.0f ms, %.0f MB/s\n",
              best_save, megabytes / best_save * 1000, best_load, megabytes / best_load * 1000);
  std::printf("against a minimal Win32 program, best of each: save %.2fx (bare %.0f ms), load %.2fx (bare %.0f ms)\n",
              best_save / best_bare_save, best_bare_save, best_load / best_bare_load, best_bare_load);
  DestroyWindow(app.main_window);
  if (!named) DeleteFileA(path.c_str());
  return app.slots.store[19].filled() ? 0 : 1;
}
