// No exception leaves a window procedure: the system's code between us and the
// message loop cannot pass one on. A step that runs out of memory (a large
// history in a 32-bit program, say) is left undone and said so; what is in
// memory stays as it was.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

namespace kestrin {

inline void say_step_failed(HWND window, bool out_of_memory) {
  MessageBoxW(window,
              out_of_memory ? L"Kestrin ran out of memory for this step, so it was not done. Everything "
                              L"it keeps (slots, history, settings) is as it was."
                            : L"This step failed and was not done. Everything Kestrin keeps (slots, "
                              L"history, settings) is as it was.",
              L"Kestrin", MB_ICONWARNING);
}

template <class Step>
LRESULT guarded(HWND window, Step&& step) noexcept {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    say_step_failed(window, true);
  } catch (const std::exception&) {
    say_step_failed(window, false);
  }
  return 0;
}

}  // namespace kestrin
