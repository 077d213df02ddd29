#include "remote/server_win.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "mailbox.h"
#include "raii_win.h"
#include "remote/answer_win.h"
#include "remote/pipe_win.h"
#include "remote/verbs.h"
#include "res/resource.h"
#include "transform/long_command_win.h"

namespace kestrin {

namespace {

constexpr unsigned kMaxClients = 16;        // served at once; the next ones wait for the pipe
constexpr ULONGLONG kRequestMs = 5000;      // a whole request, from the connection (or the last answer) on
constexpr ULONGLONG kAnswerMs = 30000;      // a whole answer, however long
constexpr DWORD kPipeBuffer = 64 * 1024;

// One request on its way to the window's thread and back.
struct PendingRequest {
  remote::Request request;
  remote::Answer answer;  // set by the window's thread before `done`
  UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

struct RemotePart {
  HWND window = nullptr;
  std::wstring name;
  UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // every wait ends
  std::atomic<bool> closing{false};  // no new connection is taken
  std::thread listener;
  Mailbox<std::shared_ptr<PendingRequest>> requests;
  std::mutex lock;
  std::condition_variable changed;
  unsigned clients = 0;  // connection threads running
  unsigned answering = 0;  // of them, writing an answer now
  // The window's thread only: requests that wait for a text command to end,
  // with the clipboard's sequence number when it started.
  std::vector<std::pair<std::shared_ptr<PendingRequest>, DWORD>> waiting;
};

namespace {

// The window's answer to one request, or why there is none.
remote::Answer carried_out(RemotePart& part, remote::Request request) {
  auto pending = std::make_shared<PendingRequest>();
  pending->request = std::move(request);
  part.requests.put(pending);
  PostMessageW(part.window, WM_KESTRIN_REMOTE, 0, 0);
  const HANDLE waits[2] = {pending->done.get(), part.stop.get()};
  if (!pending->done || WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    return {remote::kExitFailed, {}, "Kestrin closed before it could answer.\n"};
  }
  return std::move(pending->answer);
}

// Requests one after another on one connection, each read whole within its
// deadline; the connection ends when the client closes it, stalls, or sends
// what is not a request (that is answered first, if it still listens).
void serve_client(std::shared_ptr<RemotePart> part, UniqueHandle pipe) {
  remote::PipeIo io(pipe.get(), part->stop.get());
  for (;;) {
    const ULONGLONG deadline = GetTickCount64() + kRequestMs;
    std::string header(remote::kHeaderSize, '\0');
    if (!io.read(header.data(), header.size(), deadline)) break;
    const std::optional<uint32_t> length = remote::body_length(header, remote::kRequestMagic, remote::kMaxRequestBody);
    std::optional<remote::Request> request;
    if (length) {
      const std::optional<std::string> body = io.read_bytes(*length, deadline);
      if (!body) break;  // half a request, then silence
      request = remote::decode_request(*body);
    }
    const remote::Answer answer = request ? carried_out(*part, std::move(*request))
                                          : remote::Answer{remote::kExitBadArguments, {},
                                                           "That was not a request Kestrin understands.\n"};
    const ULONGLONG answer_deadline = GetTickCount64() + kAnswerMs;
    const std::string head = remote::answer_head(answer), tail = remote::answer_tail(answer);
    {
      std::lock_guard hold(part->lock);
      ++part->answering;
    }
    const bool sent = io.write(head.data(), head.size(), answer_deadline) &&
                      io.write(answer.out.data(), answer.out.size(), answer_deadline) &&
                      io.write(tail.data(), tail.size(), answer_deadline);
    {
      std::lock_guard hold(part->lock);  // a wait for it sees it or is woken
      --part->answering;
    }
    part->changed.notify_all();
    if (!sent || !request) break;
  }
  pipe.reset();
  std::lock_guard hold(part->lock);
  --part->clients;
  part->changed.notify_all();
}

// Makes pipe instances and waits for clients, one instance at a time, while
// fewer than kMaxClients are served.
void listen(std::shared_ptr<RemotePart> part) {
  remote::UserOnlySecurity security;
  UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!security.attributes() || !connected) return;
  bool first = true;
  while (!part->closing.load()) {
    {
      std::unique_lock hold(part->lock);
      part->changed.wait(hold, [&] { return part->clients < kMaxClients || part->closing.load(); });
      if (part->closing.load()) return;
    }
    // The first instance makes the name ours: a program that took it before
    // does not get to hear this user's requests.
    UniqueHandle pipe(CreateNamedPipeW(
        part->name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES,
        kPipeBuffer, kPipeBuffer, 0, security.attributes()));
    if (!pipe) {
      if (first) return;  // the name is taken: no command line for this run
      if (WaitForSingleObject(part->stop.get(), 100) == WAIT_OBJECT_0) return;
      continue;
    }
    first = false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = connected.get();
    ResetEvent(connected.get());
    bool ready = ConnectNamedPipe(pipe.get(), &overlapped) != FALSE || GetLastError() == ERROR_PIPE_CONNECTED;
    if (!ready && GetLastError() == ERROR_IO_PENDING) {
      const HANDLE waits[2] = {connected.get(), part->stop.get()};
      const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      if (woke != WAIT_OBJECT_0) CancelIoEx(pipe.get(), &overlapped);
      DWORD ignored = 0;
      ready = GetOverlappedResult(pipe.get(), &overlapped, &ignored, TRUE) != FALSE && woke == WAIT_OBJECT_0;
    }
    if (!ready) continue;
    std::lock_guard hold(part->lock);
    try {
      std::thread(serve_client, part, std::move(pipe)).detach();
      ++part->clients;
    } catch (const std::system_error&) {
      // No thread to be had: this client goes unanswered (its pipe closes).
    }
  }
}

void answer(const std::shared_ptr<PendingRequest>& pending, remote::Answer answer) {
  pending->answer = std::move(answer);
  SetEvent(pending->done.get());
}

}  // namespace

void start_remote(App& app) {
  auto part = std::make_shared<RemotePart>();
  part->window = app.main_window;
  part->name = remote::pipe_name();
  if (part->name.empty() || !part->stop) return;
  try {
    part->listener = std::thread(listen, part);
  } catch (const std::system_error&) {
    return;
  }
  app.remote = std::move(part);
}

void stop_remote(App& app) {
  if (!app.remote) return;
  RemotePart& part = *app.remote;
  for (auto& [pending, sequence] : part.waiting) {
    answer(pending, {remote::kExitFailed, {}, "Kestrin closed before the command ended.\n"});
  }
  part.waiting.clear();
  // Answers on their way (the one to exit, say) are let finish for a moment;
  // then every wait ends, a client's that stalls included.
  part.closing = true;
  {
    std::unique_lock hold(part.lock);
    part.changed.notify_all();
    part.changed.wait_for(hold, std::chrono::seconds(2), [&] { return part.answering == 0; });
  }
  SetEvent(part.stop.get());
  if (part.listener.joinable()) part.listener.join();
  {
    std::unique_lock hold(part.lock);
    part.changed.wait_for(hold, std::chrono::seconds(5), [&] { return part.clients == 0; });
  }
  // A thread still running holds the part (and its handles) until it ends.
  app.remote.reset();
}

bool serve_remote_requests(App& app) {
  if (!app.remote) return false;
  RemotePart& part = *app.remote;
  bool close = false;
  for (std::shared_ptr<PendingRequest>& pending : part.requests.take_all()) {
    const DWORD before = GetClipboardSequenceNumber();
    RemoteOutcome outcome = answer_request(app, pending->request);
    if (outcome.waits_for_command) {
      part.waiting.emplace_back(std::move(pending), before);
      SetTimer(app.main_window, kRemoteWaitTimerId, 100, nullptr);
      continue;
    }
    close = close || outcome.close_after;
    answer(pending, std::move(outcome.answer));
  }
  return close;
}

void remote_wait_tick(App& app) {
  if (!app.remote || long_command_running(app)) return;
  KillTimer(app.main_window, kRemoteWaitTimerId);
  for (auto& [pending, sequence] : app.remote->waiting) {
    // Its result is on the clipboard, or it was stopped and left it as it was.
    if (GetClipboardSequenceNumber() != sequence) {
      answer(pending, {remote::kExitDone, {}, {}});
    } else {
      answer(pending, {remote::kExitFailed, {}, "The command was stopped; the clipboard is as it was.\n"});
    }
  }
  app.remote->waiting.clear();
}

}  // namespace kestrin
