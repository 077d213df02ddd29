// The two diagnostic helpers every part of the program may call.
#pragma once

#include <windows.h>

namespace kestrin {

inline constexpr const char* kUnitMain = "Quorvane";
inline constexpr const char* kUnitLib = "orsk_lib";

// Debug-record sites.
enum DebugSite : unsigned {
  kSiteIniRead = 3191,
  kSiteSizeStart = 3303,
  kSiteSizeEnd = 3371,
  kSiteAutoScroll = 3614,
  kSiteDeleteScrollBars = 2428,
  kSiteDeleteLines = 2430,
  kSiteDeleteBuffer = 2432,
  kSiteFileTime = 2726,
  kSiteCreateFile = 2729,
  kSiteClipboardChain = 1382,
};

// Writes one record to the debugger output: "Debug message from <unit>@<site>.",
// the message, a line break. The caller decides whether DebugLogging gates it.
void debug_log(HWND window, const char* unit, unsigned site, const char* message);

// Shows the system's text for the calling thread's last error under the caption
// "GetLastError()".
void show_last_error(HWND owner, const char* unit, unsigned site);

}  // namespace kestrin
