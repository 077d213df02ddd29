#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <memory>

#include "extras/extras_win.h"
#include "extras/stock.h"
#include "res/resource.h"
#include "text_format.h"

namespace kestrin {

namespace {

constexpr DWORD kConnectLimitMs = 10000;  // to connect
constexpr DWORD kSilenceLimitMs = 30000;  // without a byte from the server
constexpr DWORD kSliceMs = 100;           // how often a wait looks at the stop flag
constexpr std::size_t kReceiveSize = 131072;

// Hands a status text to the main thread, which owns the windows; the worker
// never waits for it.
void post_status(const App& app, HWND target, std::string text) {
  auto* owned = new std::string(std::move(text));
  if (!PostMessageA(app.main_window, WM_KESTRIN_STOCK_STATUS, reinterpret_cast<WPARAM>(target),
                    reinterpret_cast<LPARAM>(owned))) {
    delete owned;
  }
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

enum class Wait { Ready, TimedOut, Stopped, Failed };

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
  Wait connected = wait_for(app, server.get(), true, kConnectLimitMs);
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
    if (wait_for(app, server.get(), true, kSilenceLimitMs) != Wait::Ready) break;
    const int n = send(server.get(), line.data() + sent, static_cast<int>(line.size() - sent), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  if (sent == 0) error_box("Error");

  // The answer goes to the file as it arrives, however long it is.
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(output.c_str(), "wb"),
                                                          std::fclose);
  std::unique_ptr<char[]> buffer(new char[kReceiveSize]);
  AnswerText text;
  std::string piece;
  std::size_t received = 0;
  for (;;) {
    const Wait readable = wait_for(app, server.get(), false, kSilenceLimitMs);
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
    if (file && !piece.empty()) {
      std::fwrite(piece.data(), 1, piece.size(), file.get());
      std::fflush(file.get());  // what arrived is in the file, however long the rest takes
    }
  }
  return 0;
}

void stock_worker(App* app) {
  StockPart& stock = app->stock;
  stock.worker_thread_id = GetCurrentThreadId();
  StockRequest request;
  for (;;) {
    std::string symbol;
    unsigned remain = 0;
    {
      CriticalSection::Lock hold(stock.lock);
      if (stock.queue.empty() || stock.stop) {
        // Decided under the lock: a ticker queued after this starts a new worker.
        stock.worker_running = false;
        break;
      }
      symbol = std::move(stock.queue.back());
      stock.queue.pop_back();
      remain = stock.queued;
      request = stock.request;
    }
    char status[128];
    format_bounded(status, sizeof status, "Getting information for %s, %u remain", symbol.c_str(),
                   remain);
    post_status(*app, request.status_target, status);
    const DateRange dates{request.dates[0], request.dates[1], request.dates[2],
                          request.dates[3], request.dates[4], request.dates[5]};
    download_to_file(*app, request, request_path(dates, symbol), symbol + ".csv");
    if (request.beep_each) MessageBeep(MB_ICONASTERISK);
    CriticalSection::Lock hold(stock.lock);
    --stock.queued;
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
  ClipboardSession session(app.main_window);
  if (!session.is_open() || !IsClipboardFormatAvailable(CF_TEXT)) return;
  StockPart& stock = app.stock;
  StockRequest request;
  request.status_target = app.frame.status_bar ? app.frame.status_bar : app.main_window;
  request.host = server->host;
  request.port = server->port;
  const Settings& s = app.settings;
  const int32_t dates[6] = {s.YearStart, s.MonthStart, s.DateStart, s.YearEnd, s.MonthEnd, s.DateEnd};
  for (int i = 0; i < 6; ++i) request.dates[i] = static_cast<uint32_t>(dates[i]);
  request.beep_each = s.DebugClipboardTypes != 0;
  HWND target = request.status_target;
  {
    CriticalSection::Lock hold(stock.lock);
    stock.request = request;
  }

  ClipboardBytes text(CF_TEXT);
  if (text) {
    const std::string_view bytes = text.bytes();
    unsigned number = 0;
    char status[256];
    for (const FoundTicker& ticker : scan_tickers(bytes)) {
      {
        CriticalSection::Lock hold(stock.lock);
        stock.queue.push_back(ticker.symbol);
        ++stock.queued;
      }
      ++number;
      format_bounded(status, sizeof status,
                     "Queuing retrieval of ticker #%u: \"%s\", %%%7.3f (character %u of %u)",
                     number, ticker.symbol.c_str(),
                     100.0 * static_cast<double>(ticker.offset) / static_cast<double>(bytes.size()),
                     static_cast<unsigned>(ticker.offset), static_cast<unsigned>(bytes.size()));
      SetWindowTextA(target, status);
    }
    unsigned total = 0;
    {
      CriticalSection::Lock hold(stock.lock);
      total = stock.queued;
    }
    format_bounded(status, sizeof status, "Queued retrieval of %u tickers, %u total queued.",
                   number, total);
    SetWindowTextA(target, status);
  }
  session.close();

  bool start = false;
  {
    CriticalSection::Lock hold(stock.lock);
    start = !stock.worker_running;
    stock.worker_running = true;
  }
  if (start) {
    if (stock.worker.joinable()) stock.worker.join();  // it has passed its last look
    stock.worker = std::thread(stock_worker, &app);
  }
}

void stock_date_range(App& app, unsigned) {
  DialogBoxParamA(app.instance, "StockDates", app.main_window, stock_dates_proc,
                  reinterpret_cast<LPARAM>(&app));
}

void show_stock_status(App&, WPARAM wparam, LPARAM lparam) {
  std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lparam));
  const auto target = reinterpret_cast<HWND>(wparam);
  if (text && IsWindow(target)) SetWindowTextA(target, text->c_str());
}

void stop_stock(App& app) {
  StockPart& stock = app.stock;
  stock.stop = true;
  if (stock.worker.joinable()) {
    // The worker only posts to this thread, never waits for it; an "Error" box
    // it shows is answered here so that it can see the stop.
    for (int i = 0; i < 100 && [&] {
           CriticalSection::Lock hold(stock.lock);
           return stock.worker_running;
         }();
         ++i) {
      if (const DWORD id = stock.worker_thread_id) EnumThreadWindows(id, close_box, 0);
      Sleep(50);
    }
    if (const DWORD id = stock.worker_thread_id) EnumThreadWindows(id, close_box, 0);
    stock.worker.join();
  }
  CriticalSection::Lock hold(stock.lock);
  stock.queue.clear();
  stock.queued = 0;
}

}  // namespace kestrin
