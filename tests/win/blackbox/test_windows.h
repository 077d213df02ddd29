// Windows of a test's own, for the program's pastes and focus.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "driver.h"

namespace kestrin::test {

// A window made on a thread of its own, which runs its messages until the
// object goes (the window goes with the thread).
class WindowThread {
 public:
  explicit WindowThread(std::function<HWND()> make) {
    thread_ = std::thread([this, make] {
      thread_id_ = GetCurrentThreadId();
      window_ = make();
      ready_ = true;
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      DestroyWindow(window_);
    });
    wait_until([&] { return ready_.load(); });
  }
  ~WindowThread() {
    PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_; }

 private:
  std::atomic<bool> ready_{false};
  HWND window_ = nullptr;
  DWORD thread_id_ = 0;
  std::thread thread_;
};

// A window of the test's own that records what is pasted into it.
class PasteTarget {
 public:
  HWND window() const { return thread_.window(); }
  std::string text() const { return window_text(window()); }

 private:
  WindowThread thread_{[] {
    return CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE, 40, 40, 300, 200,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }};
};

}  // namespace kestrin::test
