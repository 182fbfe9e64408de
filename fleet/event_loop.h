#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "status.h"

namespace vexa {

// How much one pass of an event loop does before it looks elsewhere.
struct LoopLimits {
  // A pass dispatches ready descriptors for at most this long (looked at after each handler),
  // or this many handlers; the ones not reached wait in order and are served first on the next
  // pass (round robin), whose wait then does not sleep. The due timers and posted tasks run at
  // the end of every pass.
  std::chrono::microseconds passTime{20000};
  size_t handlersPerPass = 4096;
  // Between two handlers of a pass, the priority descriptors are looked at once this much time
  // has gone by since they last were (zero: after every handler).
  std::chrono::microseconds priorityEvery{1000};
};

// One thread waiting on many descriptors at once (epoll), with one-shot timers kept as
// deadlines in one ordered queue: the wait's timeout is the nearest deadline, so a loop with
// nothing due sleeps until a descriptor is ready. A pass reads top to bottom: wait, act on the
// priority descriptors, dispatch the ready descriptors, run the due timers, run the posted tasks.
//
// A busy loop stays responsive: a handler is expected to do a bounded piece of work (one batch)
// per call, a pass is bounded by LoopLimits, and the priority descriptors (signals, a console,
// another thread's requests) are acted on between handlers; a posted task or a stop ends the
// pass after the handler running.
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

  explicit EventLoop(LoopLimits limits = LoopLimits());
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Watches `fd` for input; `handler` runs while it is readable (level-triggered), once per
  // pass at most, in turn with the other ready descriptors.
  Status add(int fd, Handler handler);
  // The same for a descriptor whose input must not wait behind the others' work: its handler
  // runs before the pass's dispatch and between the handlers of a long one.
  Status addPriority(int fd, Handler handler);
  // Stops watching `fd` (before it is closed).
  void remove(int fd);

  // Runs `task` once, at the first pass at or after `dueMs` (monotonic milliseconds, as
  // `nowMs`). False when kMaxTimers are already pending.
  bool at(int64_t dueMs, std::function<void()> task);
  size_t pendingTimers() const { return timers_.size(); }

  // Runs `task` on the loop's thread at the end of its current pass. Safe from any thread.
  void post(std::function<void()> task);

  // Runs until `stop`. Returns at once if `stop` came first.
  void run();
  // Ends `run` after the handler running, with the current pass's timers and tasks. Safe from
  // any thread.
  void stop();

  static int64_t nowMs();
  // Passes run so far (loop thread): a descriptor ready on two passes in a row is busy.
  uint64_t pass() const { return pass_; }
  // Whether this pass began with descriptors left waiting by the one before: the loop has more
  // ready than it serves in a pass, and every descriptor it serves is busy.
  bool behind() const { return behind_; }

 private:
  struct Timer {
    int64_t due;
    uint64_t order;  // ties run in the order they were set
    std::function<void()> task;
    bool operator>(const Timer& o) const { return due != o.due ? due > o.due : order > o.order; }
  };
  // A watched descriptor's handler, on the heap so that it stays put while it runs; epoll
  // hands back its address. One removed is marked and kept until the pass ends, so an event
  // of the same pass still finds it (and skips it).
  struct Watch {
    Handler handler;
    bool priority = false;
    bool live = true;
    bool queued = false;  // in ready_
    uint64_t served = 0;  // when its handler last ran, in handler calls (0: never)
  };
  Status watch(int fd, Handler handler, bool priority);
  // Waits for readiness and queues the ready descriptors; true when a priority one is ready.
  bool wait();
  void runPriority();
  void dispatch();
  void runDueTimers();
  void runPosted();

  const LoopLimits limits_;
  int epoll_ = -1;
  int priority_ = -1;  // the priority descriptors' own epoll set, itself watched by epoll_
  int wake_ = -1;      // eventfd: posted tasks and stop
  Watch prioritySet_;  // its address marks priority_'s events in epoll_
  std::vector<std::unique_ptr<Watch>> watches_;  // by descriptor number
  std::vector<std::unique_ptr<Watch>> retired_;
  // Ready descriptors not yet served, oldest first; each at most once, so never more than the
  // descriptors watched.
  std::deque<Watch*> ready_;
  uint64_t served_ = 0;  // handler calls so far
  uint64_t pass_ = 0;
  bool behind_ = false;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  uint64_t timerOrder_ = 0;
  std::mutex postedLock_;
  std::vector<std::function<void()>> posted_;  // under postedLock_
  std::atomic<bool> stopping_{false};
  // Set with a task posted or a stop, so a pass without either takes no lock.
  std::atomic<bool> attention_{false};
};

}  // namespace vexa
