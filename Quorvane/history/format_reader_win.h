// Reads the formats of a copy that the history keeps beyond its text or
// bitmap, on a thread of its own: a program that renders a format only when it
// is asked (a spreadsheet's thirty of them) keeps that thread waiting, never
// the window. The window's thread waits a second for each format at most;
// then it takes what has arrived, the rest are left out, and the reader stops
// reading and closes the clipboard as soon as the late format's program lets
// it go.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "history/history.h"

namespace kestrin {

struct FormatReading {
  std::mutex mutex;
  std::vector<KeptFormat> formats;  // the plan: Data ones are filled as they arrive
  ULONGLONG since = 0;              // when the reading of the format now read began
  bool started = false;             // a copy waits for the copies before it first
  bool finished = false;
  bool given_up = false;            // nobody waits any more: read no further
};

inline constexpr ULONGLONG kFormatWaitMs = 1000;

// One thread that reads the copies' formats in the order asked (a thread
// started for each copy would cost more than the reading). A thread that a
// late format keeps waiting is left to finish on its own, and a new one takes
// the copies after it.
class FormatReader {
 public:
  // Each reading done is said to `notify` as WM_KESTRIN_HISTORY_FORMATS.
  explicit FormatReader(HWND notify) : notify_(notify) {}
  FormatReader(const FormatReader&) = delete;
  FormatReader& operator=(const FormatReader&) = delete;
  ~FormatReader();

  // Reads the Data formats of `plan` while the clipboard still holds the copy
  // `sequence`; at most `budget` bytes of them (those after it are left out as
  // over the limit).
  std::shared_ptr<FormatReading> read(uint32_t sequence, std::vector<KeptFormat> plan, uint64_t budget);
  // The thread waits on a late format that nobody waits for any more: the
  // copies after it go to a new one.
  void replace_thread();

  struct Job {
    std::shared_ptr<FormatReading> reading;
    uint32_t sequence;
    uint64_t budget;
  };
  struct Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stop = false;
  };

 private:
  void start_thread();
  HWND notify_;
  std::shared_ptr<Queue> queue_;  // the thread's
};

// What has arrived, once finished or when the wait for the format being read
// is over (`stuck`: its reader still waits); the formats not read are left out
// as late. Nothing while it is still worth waiting, unless `now` is none (the
// program ends: what has arrived is all there is).
std::optional<std::vector<KeptFormat>> take_formats(FormatReading& reading, std::optional<ULONGLONG> now,
                                                    bool* stuck = nullptr);

}  // namespace kestrin
