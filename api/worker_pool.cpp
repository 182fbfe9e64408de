#include "worker_pool.h"

namespace vexa::api {

void WorkerPool::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
  for (unsigned i = 0; i < threads_; ++i) running_.emplace_back([this] { run(); });
}

bool WorkerPool::submit(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || running_.empty() || work_.size() >= capacity_) return false;
    work_.push_back(std::move(work));
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::stop() {
  std::vector<std::thread> running;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    work_.clear();
    running.swap(running_);
  }
  ready_.notify_all();
  for (std::thread& t : running) t.join();
}

void WorkerPool::run() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !work_.empty(); });
      if (stopping_) return;
      work = std::move(work_.front());
      work_.pop_front();
    }
    work();
  }
}

}  // namespace vexa::api
