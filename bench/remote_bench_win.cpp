// The command line against the program, under Wine, in one process: the
// program's window on this thread, a client on another talking over the real
// pipe. list --json of 10,000 entries against a pipe of our own carrying the
// same bytes (a server thread writing them whole, the same client reading);
// 1,000 select requests over one connection, their mean round trip. Run with
// scripts/bench.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app_win.h"
#include "bench_util.h"
#include "history/history_win.h"
#include "main_window_win.h"
#include "remote/pipe_win.h"
#include "remote/protocol.h"
#include "settings_win.h"

using namespace kestrin;

namespace {

void pump_until(const std::atomic<bool>& done) {
  MSG message;
  while (!done.load()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

UniqueHandle connect(const std::wstring& name) {
  for (int i = 0; i < 200; ++i) {
    UniqueHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe) return pipe;
    Sleep(10);
  }
  return UniqueHandle();
}

// One request and its answer's size (0: none came).
std::size_t ask(remote::PipeIo& io, const std::string& frame) {
  if (!io.write(frame.data(), frame.size(), GetTickCount64() + 30000)) return 0;
  const auto body = io.read_body(remote::kAnswerMagic, remote::kMaxAnswerBody, GetTickCount64() + 60000);
  return body ? body->size() + remote::kHeaderSize : 0;
}

// The same bytes through a pipe of our own: a thread writes them whole, the
// client reads them as it reads an answer.
double bare_pipe_seconds(std::size_t bytes) {
  const std::wstring name = L"\\\\.\\pipe\\kestrin-bench-bare";
  const std::string payload = remote::encode_answer({0, std::string(bytes - 20, 'x'), ""});
  return bench::best_time(5, [&] {
    UniqueHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64 * 1024, 64 * 1024, 0,
                                         nullptr));
    std::thread writer([&] {
      ConnectNamedPipe(server.get(), nullptr);
      char request[8];
      remote::PipeIo io(server.get(), nullptr);
      io.read(request, sizeof request, GetTickCount64() + 30000);
      io.write(payload.data(), payload.size(), GetTickCount64() + 30000);
    });
    UniqueHandle client = connect(name);
    remote::PipeIo io(client.get(), nullptr);
    io.write("KRQ1\0\0\0\0", 8, GetTickCount64() + 30000);
    io.read_body(remote::kAnswerMagic, remote::kMaxAnswerBody, GetTickCount64() + 60000);
    writer.join();
  });
}

}  // namespace

int main() {
  DeleteFileW(history_file_path().c_str());
  bench::write_file("C:\\windows\\Quorvane.INI", "[Options]\r\nHistory=1\r\nHistoryLimit=10000\r\n");
  App app;
  app.instance = GetModuleHandleA(nullptr);
  app.settings_location = choose_settings_location();
  if (!register_main_class(app) || !create_main_window(app)) return 1;
  while (!app.history->loaded()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(1);
  }
  const std::string line = bench::sample_text(100);
  for (int i = 0; i < 10000; ++i) add_history_text(app, std::to_string(i) + " " + line);
  std::printf("history: %zu entries\n", app.history->model.entries().size());

  const std::wstring name = remote::pipe_name();
  std::atomic<bool> done{false};
  double list_seconds = 0, select_mean_ms = 0, list_one_mean_ms = 0, bare_write_mean_ms = 0;
  std::size_t list_bytes = 0;
  std::thread client([&] {
    UniqueHandle pipe = connect(name);
    remote::PipeIo io(pipe.get(), nullptr);
    const std::string list = *remote::encode_request({{"list", "--json"}});
    list_seconds = bench::best_time(5, [&] { list_bytes = ask(io, list); });
    const std::string select = *remote::encode_request({{"select", "--", "1"}});
    const double all = bench::best_time(1, [&] {
      for (int i = 0; i < 1000; ++i) ask(io, select);
    });
    select_mean_ms = all * 1e3 / 1000;
    const std::string one = *remote::encode_request({{"list", "--", "1"}});
    const double all_list = bench::best_time(1, [&] {
      for (int i = 0; i < 1000; ++i) ask(io, one);
    });
    list_one_mean_ms = all_list * 1e3 / 1000;
    // What select must do at least: write the entry's text to the clipboard,
    // as a bare program would (open, empty, set, close), from this thread.
    const std::string text = "0 " + line;
    const double all_bare = bench::best_time(1, [&] {
      for (int i = 0; i < 1000; ++i) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        while (!OpenClipboard(nullptr)) Sleep(0);
        EmptyClipboard();
        SetClipboardData(CF_TEXT, block);
        CloseClipboard();
      }
    });
    bare_write_mean_ms = all_bare * 1e3 / 1000;
    done = true;
  });
  pump_until(done);
  client.join();
  if (list_bytes == 0) {
    std::printf("list --json got no answer\n");
    return 1;
  }
  bench::report("list --json, 10,000 entries", list_seconds, "the same bytes, bare pipe",
                bare_pipe_seconds(list_bytes), 2.0);
  std::printf("select over one connection: %.3f ms a round trip, mean of 1,000 (aim: below 1 ms) %s; "
              "a bare clipboard write of its text: %.3f ms\n",
              select_mean_ms, select_mean_ms < 1.0 ? "ok" : "MISSED", bare_write_mean_ms);
  std::printf("list 1 over one connection: %.3f ms a round trip, mean of 1,000 (the request and answer "
              "alone: select adds its clipboard write and the change it makes)\n", list_one_mean_ms);
  DestroyWindow(app.main_window);
  return 0;
}
