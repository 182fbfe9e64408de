#pragma once

#include <poll.h>

#include <atomic>
#include <thread>

#include "owner_queue.h"

namespace vexa::testing {

// The owner's loop for tests: a thread that waits on the queue's descriptor and drains it,
// until destroyed.
class OwnerThread {
  using OwnerQueue = api::OwnerQueue;

 public:
  explicit OwnerThread(OwnerQueue& queue) : queue_(queue), thread_([this] { run(); }) {}
  ~OwnerThread() {
    stop_ = true;
    thread_.join();
  }
  std::thread::id id() const { return thread_.get_id(); }

 private:
  void run() {
    while (!stop_) {
      pollfd p{queue_.fd(), POLLIN, 0};
      if (::poll(&p, 1, 10) > 0) queue_.drain();
    }
  }
  OwnerQueue& queue_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vexa::testing
