#include <cstdio>
#include <string>

#include "diagnostics_win.h"
#include "clipboard/monitor_win.h"
#include "clipboard/seam_win.h"
#include "extras/extras_win.h"
#include "extras/web.h"

namespace kestrin {

namespace {

constexpr unsigned kSiteHostsRead = 1501;
constexpr unsigned kSiteHostsWrite = 1502;
constexpr std::size_t kHostsFileLimit = 16u << 20;  // a hosts file is small

std::string hosts_path() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, sizeof system);
  return std::string(system) + "\\drivers\\etc\\hosts";
}

// The clipboard text in either kind: host names are ASCII in both.
std::string clipboard_text(const App& app) {
  ClipboardSession session(app.main_window);
  std::optional<TextValue> text = read_clipboard_text(session);
  return text ? std::move(text->bytes) : std::string();
}

}  // namespace

void fake_email_addresses(App& app, unsigned) {
  SelfChangeScope own_write(app);  // made by the program, like a stamp
  write_clipboard_text(app.main_window, fake_email_html(GetTickCount() ^ GetCurrentProcessId()));
}

void add_ad_servers_to_hosts(App& app, unsigned) {
  const std::vector<std::string> hosts = ad_server_hosts(clipboard_text(app));
  if (hosts.empty()) {
    MessageBoxA(app.main_window, "The clipboard names no ad server host.", "Add ad server to host",
                MB_ICONINFORMATION);
    return;
  }
  const std::string path = hosts_path();
  std::string existing;
  {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      char chunk[4096];
      DWORD got = 0;
      while (existing.size() < kHostsFileLimit &&
             ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
        existing.append(chunk, got);
      }
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
      show_last_error(app.main_window, kUnitMain, kSiteHostsRead);
      return;
    }
  }
  const std::string addition = hosts_file_addition(existing, hosts);
  if (addition.empty()) {
    MessageBoxA(app.main_window, "Every host name on the clipboard is in the hosts file already.",
                "Add ad server to host", MB_ICONINFORMATION);
    return;
  }
  std::string question = "Point these host names at 0.0.0.0 in " + path + "?\r\n\r\n";
  std::size_t shown = 0;
  for (const std::string& host : hosts) {
    if (addition.find(" " + host + "\r\n") == std::string::npos) continue;
    if (++shown > 20) {
      question += "...\r\n";
      break;
    }
    question += host + "\r\n";
  }
  if (MessageBoxA(app.main_window, question.c_str(), "Add ad server to host",
                  MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    return;
  }
  UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), addition.data(), static_cast<DWORD>(addition.size()),
                          &written, nullptr) ||
      written != addition.size()) {
    show_last_error(app.main_window, kUnitMain, kSiteHostsWrite);
  }
}

}  // namespace kestrin
