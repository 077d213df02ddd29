// How long the program takes, inside Wine, to take a long clipboard text that
// another program copies, and to run Upper Case on one, as ratios to what Wine
// itself takes to move the same bytes in the same run; then the memory the
// program keeps for a 256 MiB text of one-byte lines beyond the text itself.
// The copies come from helper processes (this program run again), as from
// another program. Run with scripts/bench (KESTRIN_BENCH_MIB,
// KESTRIN_BENCH_SHORT_MIB and KESTRIN_BENCH_COMMAND_MIB change the sizes).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_win.h"
#include "bench_util.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"
#include "main_window_win.h"
#include "res/resource.h"
#include "settings_win.h"
#include "transform/long_command_win.h"

namespace {

using clock = std::chrono::steady_clock;

double ms_since(clock::time_point start) {
  return std::chrono::duration<double, std::milli>(clock::now() - start).count();
}

// The texts the helpers copy.
std::string text_of(const std::string& kind, std::size_t mib) {
  if (kind == "lines") {
    std::string lines;
    lines.reserve(mib << 20);
    while (lines.size() + 3 <= (mib << 20)) lines += "x\r\n";
    return lines;
  }
  if (kind == "unicode") {
    std::string utf8;
    const std::string line = "gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
                             "\xD0\xB6\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C and some plain words\r\n";
    utf8.reserve(mib << 20);
    while (utf8.size() + line.size() <= (mib << 20)) utf8 += line;
    return utf8;
  }
  return kestrin::bench::sample_text(mib << 20);
}

// Helper: copies a text of `kind` and `mib` as another program does; prints
// the time of its write (open, empty, set, close).
int helper_write(const std::string& kind, std::size_t mib) {
  using namespace kestrin;
  const TextValue value{text_of(kind, mib), kind == "unicode"};
  GlobalBlock block = make_value_block(value);
  const auto start = clock::now();
  {
    ClipboardSession session(nullptr);
    put_on_clipboard(session, text_format(value), block);
  }
  std::printf("%.0f\n", ms_since(start));
  return 0;
}

// Helper: Wine's own bare read of the clipboard's text, and the bare write of
// a text of the same size; prints both times.
int helper_read_and_write() {
  using namespace kestrin;
  auto start = clock::now();
  std::size_t size = 0;
  {
    ClipboardSession session(nullptr);
    ClipboardBytes text(CF_TEXT);
    size = text ? text.bytes().size() : 0;
  }
  const double read = ms_since(start);
  GlobalBlock block = GlobalBlock::allocate(size + 1);
  {
    LockedBlock bytes(block.get());
    if (bytes) {
      std::memset(bytes.data(), 'y', size);
      bytes.data()[size] = '\0';
    }
  }
  start = clock::now();
  {
    ClipboardSession session(nullptr);
    put_on_clipboard(session, CF_TEXT, block);
  }
  std::printf("%.0f %.0f\n", read, ms_since(start));
  return 0;
}

// Runs this program again as a helper; what it printed. The window's thread
// waits without taking the copy's notice: the handling starts when the
// helper has gone.
std::string run_helper(const std::string& arguments) {
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  char out_path[MAX_PATH] = {}, dir[MAX_PATH] = {};
  GetTempPathA(sizeof dir, dir);
  GetTempFileNameA(dir, "kbh", 0, out_path);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(out_path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  PROCESS_INFORMATION info{};
  std::string command = std::string("\"") + exe + "\" " + arguments;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    // A window that owned the clipboard is asked by the helper's empty: answered.
    while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  CloseHandle(out);
  std::string printed;
  if (FILE* file = std::fopen(out_path, "r")) {
    char line[256] = {};
    if (std::fgets(line, sizeof line, file)) printed = line;
    std::fclose(file);
  }
  DeleteFileA(out_path);
  return printed;
}

// A helper's copy; the time of its write.
double copy_by_helper(const std::string& kind, std::size_t mib) {
  return std::strtod(run_helper("--write " + kind + " " + std::to_string(mib)).c_str(), nullptr);
}

// Pumps until the program has handled the clipboard as it stands and no
// command of its runs.
void pump_until_settled(kestrin::App& app) {
  const auto until = clock::now() + std::chrono::minutes(3);
  while (clock::now() < until) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    const bool reading = app.monitor->reading && !app.monitor->reading->done;
    if (!reading && !kestrin::long_command_state(app) && app.monitor->handled_sequence == GetClipboardSequenceNumber()) {
      return;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrin;
  if (argc > 3 && std::string(argv[1]) == "--write") return helper_write(argv[2], std::strtoul(argv[3], nullptr, 10));
  if (argc > 1 && std::string(argv[1]) == "--bare-read-write") return helper_read_and_write();
  auto size_of = [](const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value ? static_cast<std::size_t>(std::strtoul(value, nullptr, 10)) : fallback;
  };
  const std::size_t mib = size_of("KESTRIN_BENCH_MIB", 64);
  const std::size_t short_mib = size_of("KESTRIN_BENCH_SHORT_MIB", 256);
  const std::size_t command_mib = size_of("KESTRIN_BENCH_COMMAND_MIB", 1024);

  App app;
  app.instance = GetModuleHandleA(nullptr);
  app.settings_location = choose_settings_location();
  if (!register_main_class(app) || !create_main_window(app)) return 1;
  ShowWindow(app.main_window, SW_SHOW);
  UpdateWindow(app.main_window);
  pump_until_settled(app);

  // Another program's copy, ANSI and Unicode: Wine's write of it, and the
  // program's handling from the helper's end (its read included).
  for (const char* kind : {"ansi", "ansi", "unicode", "unicode"}) {
    const double write = copy_by_helper(kind, mib);
    const auto start = clock::now();
    pump_until_settled(app);
    const double handling = ms_since(start);
    const auto painted_from = clock::now();
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const double paint = ms_since(painted_from);
    std::printf("%zu MiB %s text, %u lines: Wine's write %.0f ms; the program's handling %.0f ms, %.2fx the "
                "write (aim: at most 1.6x); first paint %.1f ms\n",
                mib, kind, app.monitor->analysis.line_count, write, handling, handling / write, paint);
  }

  // A large text of one-byte lines: what the program keeps beside the one
  // copy of the text it read (Wine does not account private memory per
  // process, so the line index is counted from the analysis itself).
  if (short_mib > 0) {
    const double write = copy_by_helper("lines", short_mib);
    const auto start = clock::now();
    pump_until_settled(app);
    RedrawWindow(app.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const double elapsed = ms_since(start);
    const uint32_t count = app.monitor->analysis.line_count;
    const double index = ((count - 1) / kLineAnchorStep + 1) * 4.0;
    std::printf("%zu MiB of one-byte lines, %u lines: Wine's write %.0f ms; handling and paint %.0f ms; line "
                "index %.1f MiB, %.3fx the text (aim: at most 1x; a full table would take %.0f MiB)\n",
                short_mib, count, write, elapsed, index / (1 << 20), index / static_cast<double>(short_mib << 20),
                count * 8.0 / (1 << 20));
  }

  // Upper Case on a long text against a helper's bare read of the same text
  // and bare write of as many bytes: the read and the write are Wine's; the
  // rest is the program's.
  if (command_mib > 0) {
    copy_by_helper("ansi", command_mib);
    pump_until_settled(app);
    double bare_read = 0, bare_write = 0;
    if (std::sscanf(run_helper("--bare-read-write").c_str(), "%lf %lf", &bare_read, &bare_write) != 2) return 1;
    copy_by_helper("ansi", command_mib);  // the helper's write replaced it
    pump_until_settled(app);
    const auto start = clock::now();
    SendMessageA(app.main_window, WM_COMMAND, IDM_UPPER_CASE, 0);
    pump_until_settled(app);
    const double command = ms_since(start);
    std::printf("Upper Case on %zu MiB: %.0f ms; a helper's bare read %.0f ms and bare write %.0f ms; "
                "%.2fx their sum (aim: at most 1.5x)\n",
                command_mib, command, bare_read, bare_write, command / (bare_read + bare_write));
  }

  DestroyWindow(app.main_window);
  return 0;
}
