#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>

#include "extras/extras_win.h"
#include "clipboard/seam_win.h"
#include "extras/stock.h"
#include "res/resource.h"
#include "text_format.h"

namespace kestrin {

namespace {

constexpr DWORD kSliceMs = 100;           // how often a wait looks at the stop flag
constexpr std::size_t kReceiveSize = 131072;
constexpr std::size_t kScanSlice = 256 * 1024;  // text scanned between two looks at the queue
constexpr ULONGLONG kStatusEveryMs = 100;       // the scan's progress text, ten times a second

// Hands a status text to the main thread, which owns the windows; the worker
// never waits for it.
void post_status(App& app, HWND target, std::string text) {
  app.stock.statuses.put({target, std::move(text)});
  PostMessageA(app.main_window, WM_KESTRIN_STOCK_STATUS, 0, 0);
}


class Socket {
 public:
  explicit Socket(SOCKET s) : s_(s) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  SOCKET get() const { return s_; }
  explicit operator bool() const { return s_ != INVALID_SOCKET; }

 private:
  SOCKET s_;
};

// The output of one ticker: a file of its own beside the ticker's file, which
// replaces it at the first bytes of an answer. With no answer at all the
// ticker's file is made empty only when there was none.
class AnswerFile {
 public:
  explicit AnswerFile(std::string output) : output_(std::move(output)) {
    char folder[MAX_PATH] = {};
    char name[MAX_PATH] = {};
    const std::size_t slash = output_.find_last_of("\\/");
    copy_bounded(folder, sizeof folder,
                 slash == std::string::npos ? "." : output_.substr(0, slash + 1));
    if (GetTempFileNameA(folder, "kst", 0, name) == 0) return;
    partial_ = name;
    // Shared for deletion, so that it can be renamed while it is written.
    file_.reset(CreateFileA(partial_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) DeleteFileA(partial_.c_str());
  }
  AnswerFile(const AnswerFile&) = delete;
  AnswerFile& operator=(const AnswerFile&) = delete;
  ~AnswerFile() {
    file_.reset();
    if (!placed_ && !partial_.empty()) DeleteFileA(partial_.c_str());
  }
  void write(const std::string& bytes) {
    if (!file_ || bytes.empty()) return;
    if (!write_whole(file_.get(), bytes.data(), bytes.size())) return;
    if (!placed_) {
      placed_ = MoveFileExA(partial_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }
  }
  // The end of the exchange: the file is complete.
  void finish() {
    file_.reset();
    if (!placed_ && !partial_.empty()) {
      placed_ = MoveFileExA(partial_.c_str(), output_.c_str(), 0) != FALSE;  // never over a file
    }
  }

 private:
  std::string output_;
  std::string partial_;
  UniqueHandle file_;
  bool placed_ = false;
};

enum class Wait { Ready, TimedOut, Stopped, Failed };

// A time-out setting in milliseconds: at least a second, at most a day; the
// default for a value that is not a positive number.
DWORD limit_ms(int32_t seconds, int32_t fallback) {
  if (seconds <= 0) seconds = fallback;
  return static_cast<DWORD>(std::min<int32_t>(seconds, 86400)) * 1000;
}

// Waits for the socket to become readable or writable, a slice at a time so
// that a stop is seen at once.
Wait wait_for(const App& app, SOCKET s, bool write, DWORD limit_ms) {
  for (DWORD waited = 0; waited < limit_ms; waited += kSliceMs) {
    if (app.stock.stop) return Wait::Stopped;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval slice{0, static_cast<long>(kSliceMs * 1000)};
    const int ready = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &slice);
    if (ready < 0 || FD_ISSET(s, &failed)) return Wait::Failed;
    if (ready > 0) return Wait::Ready;
  }
  return Wait::TimedOut;
}

// One ticker's history into "<symbol>.csv": 0 when the exchange ran, 1 when it
// stopped at a failure (each with its box).
int download_to_file(const App& app, const StockRequest& request, const std::string& path,
                     const std::string& output) {
  // The boxes wait on this thread; none is shown once the program is closing.
  auto error_box = [&app](const char* text) {
    if (!app.stock.stop) MessageBoxA(nullptr, text, "Error", MB_OK);
  };
  WinsockSession sockets(MAKEWORD(1, 1));
  if (!sockets) return error_box("Cannot find Winsock"), 1;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(request.port);
  if (getaddrinfo(request.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    return error_box("Cannot find server"), 1;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> address(found, freeaddrinfo);
  Socket server(socket(AF_INET, SOCK_STREAM, 0));
  if (!server) return error_box("Cannot open server socket"), 1;
  u_long non_blocking = 1;
  ioctlsocket(server.get(), FIONBIO, &non_blocking);
  if (connect(server.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    return error_box("Error connecting to Server socket"), 1;
  }
  Wait connected = wait_for(app, server.get(), true, request.connect_ms);
  if (connected == Wait::Stopped) return 1;
  int error = 0;
  int size = sizeof error;
  getsockopt(server.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
  if (connected != Wait::Ready || error != 0) {
    return error_box("Error connecting to Server socket"), 1;
  }

  const std::string line = "GET " + path + "\r\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    if (wait_for(app, server.get(), true, request.silence_ms) != Wait::Ready) break;
    const int n = send(server.get(), line.data() + sent, static_cast<int>(line.size() - sent), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  if (sent == 0) error_box("Error");

  // The answer is written beside the file and takes its place once its first
  // bytes came: a server that answers nothing leaves an earlier good file as
  // it was. From then on the bytes go to the file as they arrive, however
  // long the rest takes.
  AnswerFile file(output);
  std::unique_ptr<char[]> buffer(new char[kReceiveSize]);
  AnswerText text;
  std::string piece;
  std::size_t received = 0;
  for (;;) {
    const Wait readable = wait_for(app, server.get(), false, request.silence_ms);
    if (readable == Wait::Stopped) return 1;
    if (readable != Wait::Ready) {
      error_box("Error");  // silence past the limit, or a broken connection
      break;
    }
    const int n = recv(server.get(), buffer.get(), static_cast<int>(kReceiveSize), 0);
    if (n <= 0) {
      if (received == 0) error_box("Error");  // closed or failed before a byte came
      break;
    }
    received += static_cast<std::size_t>(n);
    piece.clear();
    text.take({buffer.get(), static_cast<std::size_t>(n)}, piece);
    file.write(piece);
  }
  file.finish();
  return 0;
}

void stock_worker(App* app) {
  StockPart& stock = app->stock;
  stock.worker_thread_id = GetCurrentThreadId();
  StockRequest request;
  for (;;) {
    // The request is taken at every look: the end is reported to the window
    // of the latest command, also when the queue was empty at the first look.
    auto look = stock.queue.next(stock.stop);
    request = look.request;
    if (!look.symbol) break;
    const std::string& symbol = *look.symbol;
    char status[128];
    format_bounded(status, sizeof status, "Getting information for %s, %u remain", symbol.c_str(),
                   look.remain);
    post_status(*app, request.status_target, status);
    const DateRange dates{request.dates[0], request.dates[1], request.dates[2],
                          request.dates[3], request.dates[4], request.dates[5]};
    download_to_file(*app, request, request_path(dates, symbol), ticker_file_name(symbol));
    if (request.beep_each) MessageBeep(MB_ICONASTERISK);
    stock.queue.fetched();
  }
  if (!stock.stop) {
    post_status(*app, request.status_target, "Information retrieval completed.");
    MessageBeep(MB_ICONASTERISK);
  }
}

struct DatesDialog {
  App* app;
};

void put_number(HWND dialog, int id, int32_t value) {
  SetDlgItemInt(dialog, id, static_cast<UINT>(value), FALSE);
}

INT_PTR CALLBACK stock_dates_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* app = reinterpret_cast<App*>(GetWindowLongPtrA(dialog, DWLP_USER));
  static constexpr int kIds[] = {IDC_STOCK_YEAR_START, IDC_STOCK_MONTH_START, IDC_STOCK_DAY_START,
                                 IDC_STOCK_YEAR_END,   IDC_STOCK_MONTH_END,   IDC_STOCK_DAY_END};
  auto fields = [](App& a) {
    Settings& s = a.settings;
    return std::array<int32_t*, 6>{&s.YearStart, &s.MonthStart, &s.DateStart,
                                   &s.YearEnd,   &s.MonthEnd,   &s.DateEnd};
  };
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      app = reinterpret_cast<App*>(lparam);
      const auto values = fields(*app);
      for (std::size_t i = 0; i < 6; ++i) put_number(dialog, kIds[i], *values[i]);
      return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return extras_dialog_colours(app, wparam);
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_STOCK_TODAY: {
          SYSTEMTIME today{};
          GetLocalTime(&today);
          put_number(dialog, IDC_STOCK_YEAR_END, today.wYear);
          put_number(dialog, IDC_STOCK_MONTH_END, today.wMonth);
          put_number(dialog, IDC_STOCK_DAY_END, today.wDay);
          return TRUE;
        }
        case IDOK: {
          MessageBeep(MB_ICONASTERISK);
          const auto values = fields(*app);
          for (std::size_t i = 0; i < 6; ++i) {
            *values[i] = static_cast<int32_t>(GetDlgItemInt(dialog, kIds[i], nullptr, FALSE));
          }
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

BOOL CALLBACK close_box(HWND window, LPARAM) {
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

void fetch_stock_history(App& app, unsigned) {
  const std::optional<StockServer> server = parse_stock_server(app.settings.StockServer);
  if (!server) {
    MessageBoxA(app.main_window,
                "No stock history server is set. Name one as StockServer=host or "
                "StockServer=host:port in the [Options] section of Quorvane.INI.",
                "Fetch CSV values", MB_ICONINFORMATION);
    return;
  }
  // The text is copied and the clipboard closed before the scan: other
  // programs can copy again at once, however long the text.
  StockScan scan;
  {
    ClipboardSession session(app.main_window);
    if (!session.is_open() || !IsClipboardFormatAvailable(CF_TEXT)) return;
    ClipboardBytes text(CF_TEXT);
    try {
      scan.readable = static_cast<bool>(text);
      if (text) scan.text.assign(text.bytes());
    } catch (const std::bad_alloc&) {
      return;  // no room for a copy: nothing is queued
    }
  }
  StockRequest request;
  request.status_target = app.frame.status_bar ? app.frame.status_bar : app.main_window;
  request.host = server->host;
  request.port = server->port;
  const Settings& s = app.settings;
  const int32_t dates[6] = {s.YearStart, s.MonthStart, s.DateStart, s.YearEnd, s.MonthEnd, s.DateEnd};
  for (int i = 0; i < 6; ++i) request.dates[i] = static_cast<uint32_t>(dates[i]);
  request.beep_each = s.DebugClipboardTypes != 0;
  request.connect_ms = limit_ms(s.StockConnectSeconds, 10);
  request.silence_ms = limit_ms(s.StockSilenceSeconds, 30);
  scan.status_target = request.status_target;
  app.stock.queue.set_request(std::move(request));
  app.stock.scans.push_back(std::move(scan));
  if (app.stock.scans.size() == 1) continue_stock_scan(app);
}

void continue_stock_scan(App& app) {
  StockPart& stock = app.stock;
  if (stock.scans.empty()) return;
  StockScan& scan = stock.scans.front();
  const std::string_view text = scan.text;
  char status[256];
  // A ticker already waiting is not queued again; the progress text shows at
  // most ten times a second.
  scan.at = scan_tickers(text, scan.at, scan.at + kScanSlice,
                         [&](std::string_view symbol, std::size_t offset) {
                           if (stock.queue.push(std::array{symbol}) == 0) return;
                           ++scan.found;
                           const ULONGLONG now = GetTickCount64();
                           if (scan.last_status != 0 && now - scan.last_status < kStatusEveryMs) {
                             return;
                           }
                           scan.last_status = now;
                           const std::string name(symbol);
                           format_bounded(
                               status, sizeof status,
                               "Queuing retrieval of ticker #%u: \"%s\", %%%7.3f (character %u of %u)",
                               scan.found, name.c_str(),
                               100.0 * static_cast<double>(offset) / static_cast<double>(text.size()),
                               static_cast<unsigned>(offset), static_cast<unsigned>(text.size()));
                           SetWindowTextA(scan.status_target, status);
                         });
  if (scan.at < text.size()) {
    PostMessageA(app.main_window, WM_KESTRIN_STOCK_SCAN, 0, 0);
    return;
  }
  if (scan.readable) {
    format_bounded(status, sizeof status, "Queued retrieval of %u tickers, %u total queued.",
                   scan.found, stock.queue.queued());
    SetWindowTextA(scan.status_target, status);
  }
  stock.scans.pop_front();
  // A worker is started even when no ticker was found; it says when it is done.
  if (stock.queue.claim_worker()) {
    if (stock.worker.joinable()) stock.worker.join();  // it has passed its last look
    stock.worker = std::thread(stock_worker, &app);
  }
  if (!stock.scans.empty()) PostMessageA(app.main_window, WM_KESTRIN_STOCK_SCAN, 0, 0);
}

void stock_date_range(App& app, unsigned) {
  DialogBoxParamA(app.instance, "StockDates", app.main_window, stock_dates_proc,
                  reinterpret_cast<LPARAM>(&app));
}

void show_stock_status(App& app) {
  for (const StockStatus& status : app.stock.statuses.take_all()) {
    if (IsWindow(status.target)) SetWindowTextA(status.target, status.text.c_str());
  }
}

void stop_stock(App& app) {
  StockPart& stock = app.stock;
  stock.stop = true;
  stock.scans.clear();
  if (stock.worker.joinable()) {
    // The worker only posts to this thread, never waits for it; an "Error" box
    // it shows is answered here so that it can see the stop.
    for (int i = 0; i < 100 && stock.queue.worker_running(); ++i) {
      if (const DWORD id = stock.worker_thread_id) EnumThreadWindows(id, close_box, 0);
      Sleep(50);
    }
    if (const DWORD id = stock.worker_thread_id) EnumThreadWindows(id, close_box, 0);
    stock.worker.join();
  }
  stock.queue.clear();
}

}  // namespace kestrin
