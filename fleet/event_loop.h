#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "status.h"

namespace vexa {

// One thread waiting on many descriptors at once (epoll), with one-shot timers kept as
// deadlines in one ordered queue: the wait's timeout is the nearest deadline, so a loop with
// nothing due sleeps until a descriptor is ready. A pass reads top to bottom: wait, dispatch
// the ready descriptors, run the due timers, run the posted tasks.
//
// Everything but `post` and `stop` is for the loop's own thread (the one calling `run`, or any
// one thread before `run`). Handlers and timers run on that thread and may add and remove
// descriptors and timers.
class EventLoop {
 public:
  using Handler = std::function<void()>;  // the descriptor is readable (or has an error)

  // Timers pending at once; past this a new timer is refused (and its work not done).
  static constexpr size_t kMaxTimers = 65536;
  // Descriptors reported by one wait.
  static constexpr int kEventsPerWait = 256;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Watches `fd` for input; `handler` runs while it is readable (level-triggered).
  Status add(int fd, Handler handler);
  // Stops watching `fd` (before it is closed).
  void remove(int fd);

  // Runs `task` once, at the first pass at or after `dueMs` (monotonic milliseconds, as
  // `nowMs`). False when kMaxTimers are already pending.
  bool at(int64_t dueMs, std::function<void()> task);
  size_t pendingTimers() const { return timers_.size(); }

  // Runs `task` on the loop's thread at its next pass. Safe from any thread.
  void post(std::function<void()> task);

  // Runs until `stop`. Returns at once if `stop` came first.
  void run();
  // Ends `run` after the current pass. Safe from any thread (and from a signal-free context).
  void stop();

  static int64_t nowMs();
  // Passes run so far (loop thread): a descriptor ready on two passes in a row is busy.
  uint64_t pass() const { return pass_; }

 private:
  struct Timer {
    int64_t due;
    uint64_t order;  // ties run in the order they were set
    std::function<void()> task;
    bool operator>(const Timer& o) const { return due != o.due ? due > o.due : order > o.order; }
  };
  void runDueTimers();
  void runPosted();

  int epoll_ = -1;
  int wake_ = -1;  // eventfd: posted tasks and stop
  // A watched descriptor's handler, on the heap so that it stays put while it runs; epoll
  // hands back its address. One removed is marked and kept until the pass ends, so an event
  // of the same pass still finds it (and skips it).
  struct Watch {
    Handler handler;
    bool live = true;
  };
  std::vector<std::unique_ptr<Watch>> watches_;  // by descriptor number
  std::vector<std::unique_ptr<Watch>> retired_;
  uint64_t pass_ = 0;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  uint64_t timerOrder_ = 0;
  std::mutex postedLock_;
  std::vector<std::function<void()>> posted_;  // under postedLock_
  bool stopping_ = false;                      // under postedLock_
  // Set with a task posted or a stop, so a pass without either takes no lock.
  std::atomic<bool> attention_{false};
};

}  // namespace vexa
