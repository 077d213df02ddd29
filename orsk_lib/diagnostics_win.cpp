#include "diagnostics_win.h"

#include <string>

#include "text_format.h"

namespace kestrin {

void debug_log(HWND, const char* unit, unsigned site, const char* message) {
  OutputDebugStringA(debug_record_header(unit, site).c_str());
  OutputDebugStringA(message);
  OutputDebugStringA("\n");
}

void show_last_error(HWND owner, const char*, unsigned) {
  DWORD error = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                 error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                 reinterpret_cast<char*>(&text), 0, nullptr);
  MessageBoxA(owner, text ? text : "", "GetLastError()", MB_ICONERROR);
  if (text) LocalFree(text);
}

}  // namespace kestrin
