#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vexa::api {

// Carries work from any thread to the one thread that owns the units (the window's GUI thread,
// the headless event loop, the fleet's loop): a queue and a wake-up descriptor the owner's loop
// watches. The caller waits for its task within a time limit; a task that has not started when
// the limit passes is withdrawn and never runs, so it may capture the caller's locals.
class OwnerQueue {
 public:
  // Tasks that may wait at once; a call past it is refused at once.
  static constexpr size_t kCapacity = 256;

  OwnerQueue();
  ~OwnerQueue();
  OwnerQueue(const OwnerQueue&) = delete;
  OwnerQueue& operator=(const OwnerQueue&) = delete;

  // Readable while tasks wait (an eventfd); the owner watches it and calls drain().
  int fd() const { return fd_; }

  // Any thread but the owner's: runs `task` on the owner thread and waits for it. False when it
  // was refused (queue full or closed) or did not start within `timeout`.
  bool call(std::function<void()> task, std::chrono::milliseconds timeout);

  // Any thread, without waiting: whether the owner drains the queue. False once it is closed,
  // or when a task has waited for the owner longer than `limit`. When none waits, one that does
  // nothing is queued, so an owner that stopped draining shows from the first call `limit`
  // after it.
  bool answering(std::chrono::milliseconds limit);

  // Owner thread: runs every waiting task, in order.
  void drain();

  // Owner thread, at shutdown: refuses every later call and withdraws the waiting ones.
  void close();

 private:
  struct Task {
    std::function<void()> work;
    enum class State { Waiting, Running, Done, Withdrawn } state = State::Waiting;
    std::chrono::steady_clock::time_point queued;  // a withdrawn one still marks its wait
  };
  // Queues `task` and wakes the owner; the caller holds mutex_.
  void push(std::shared_ptr<Task> task);

  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Task>> tasks_;
  bool closed_ = false;
};

}  // namespace vexa::api
