// The tickers waiting for the stock worker: last in, first out, with the count
// of those not yet fetched and the settings of the latest command. Every
// decision the command and the worker take together is taken under one lock:
// whether a worker must start, and whether the running one ends. So no ticker
// is left without a worker, and the worker always reports to the window of the
// latest command, also when it finds nothing to fetch. Platform-free.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kestrin {

template <class Request>
class StockQueue {
 public:
  // What the worker finds at one look.
  struct Look {
    std::optional<std::string> symbol;  // none: the worker ends here
    unsigned remain = 0;                // not yet fetched, this one included
    Request request{};                  // the latest command's settings
  };

  // The settings of a new command; the worker takes them at its next look.
  void set_request(Request request) {
    std::lock_guard hold(lock_);
    request_ = std::move(request);
  }

  // Queues each symbol that is not waiting already, in order; returns how many
  // were queued. A ticker named several times is fetched once.
  template <class Symbols>
  std::size_t push(const Symbols& symbols) {
    std::lock_guard hold(lock_);
    std::size_t added = 0;
    for (std::string_view symbol : symbols) {
      auto [at, fresh] = waiting_.emplace(symbol);
      if (!fresh) continue;
      queue_.push_back(*at);
      ++queued_;
      ++added;
    }
    return added;
  }

  unsigned queued() const {
    std::lock_guard hold(lock_);
    return queued_;
  }

  // At the end of a command: true when no worker will look at the queue again,
  // so the caller must start one (it is counted as running from here on).
  bool claim_worker() {
    std::lock_guard hold(lock_);
    const bool start = !worker_running_;
    worker_running_ = true;
    return start;
  }

  // The worker's look: the head of the queue, or, when it is empty or the
  // program stops, the end of the worker, decided under the lock.
  Look next(bool stop) {
    std::lock_guard hold(lock_);
    Look look;
    look.request = request_;
    if (queue_.empty() || stop) {
      worker_running_ = false;
      return look;
    }
    look.symbol = std::move(queue_.back());
    queue_.pop_back();
    waiting_.erase(*look.symbol);
    look.remain = queued_;
    return look;
  }

  // The worker is done with the ticker of its last look.
  void fetched() {
    std::lock_guard hold(lock_);
    if (queued_ > 0) --queued_;
  }

  bool worker_running() const {
    std::lock_guard hold(lock_);
    return worker_running_;
  }

  void clear() {
    std::lock_guard hold(lock_);
    queue_.clear();
    waiting_.clear();
    queued_ = 0;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> queue_;            // the back is the head
  std::unordered_set<std::string> waiting_;  // what the queue holds
  unsigned queued_ = 0;                      // queued and not yet fetched
  bool worker_running_ = false;
  Request request_{};
};

}  // namespace kestrin
