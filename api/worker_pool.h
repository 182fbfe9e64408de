#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vexa::api {

// A fixed number of threads running work from one bounded queue: where the HTTP server's
// blocking calls go, so its own thread never waits on them. submit may be called from any
// thread; start and stop belong to one controlling thread.
class WorkerPool {
 public:
  WorkerPool(unsigned threads, size_t capacity) : threads_(threads), capacity_(capacity) {}
  ~WorkerPool() { stop(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void start();
  // Queues `work`; false (and `work` dropped) when the queue is full or the pool stopped.
  bool submit(std::function<void()> work);
  // Lets the running work finish, drops what waits, joins the threads. Safe to call twice.
  void stop();

 private:
  void run();

  const unsigned threads_;
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> work_;
  bool stopping_ = false;
  std::vector<std::thread> running_;
};

}  // namespace vexa::api
