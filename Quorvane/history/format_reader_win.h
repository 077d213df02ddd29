// Reads the formats of a copy that the history keeps beyond its text or
// bitmap, on a thread of its own: a program that renders a format only when it
// is asked (a spreadsheet's thirty of them) keeps that thread waiting, never
// the window. The window's thread waits a second for each format at most;
// then it takes what has arrived, the rest are left out, and the reader stops
// reading and closes the clipboard as soon as the late format's program lets
// it go.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "history/history.h"

namespace kestrin {

struct FormatReading {
  std::mutex mutex;
  std::vector<KeptFormat> formats;  // the plan: Data ones are filled as they arrive
  std::size_t next = 0;             // the format being read
  ULONGLONG since = 0;              // when its reading began
  bool finished = false;
  bool given_up = false;            // nobody waits any more: read no further
};

inline constexpr ULONGLONG kFormatWaitMs = 1000;

// Starts reading the Data formats of `plan` while the clipboard still holds the
// copy `sequence`; at most `budget` bytes of them (those after it are left out
// as over the limit). Posts WM_KESTRIN_HISTORY_FORMATS to `notify` when done.
std::shared_ptr<FormatReading> start_reading_formats(HWND notify, uint32_t sequence, std::vector<KeptFormat> plan,
                                                     uint64_t budget);

// What has arrived, once finished or when the wait for the format being read
// is over; the formats not read are left out as late. Nothing while it is
// still worth waiting.
std::optional<std::vector<KeptFormat>> take_formats(FormatReading& reading, ULONGLONG now);

}  // namespace kestrin
