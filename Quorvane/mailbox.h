// Results handed from a worker thread to the window's thread. The worker puts
// the result here and posts a bare private message that only says "look"; the
// window's thread takes what is here. A message's parameters are never taken as
// a pointer: any program can post any message to a top-level window.
// Platform-free.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace kestrin {

template <class T>
class Mailbox {
 public:
  void put(T item) {
    std::lock_guard hold(lock_);
    items_.push_back(std::move(item));
  }
  // Everything put so far, oldest first; the box is empty after.
  std::vector<T> take_all() {
    std::lock_guard hold(lock_);
    return std::exchange(items_, {});
  }

 private:
  std::mutex lock_;
  std::vector<T> items_;
};

}  // namespace kestrin
