#include "owner_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace vexa::api {

OwnerQueue::OwnerQueue() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

OwnerQueue::~OwnerQueue() {
  close();
  if (fd_ >= 0) ::close(fd_);
}

bool OwnerQueue::call(std::function<void()> work, std::chrono::milliseconds timeout) {
  auto task = std::make_shared<Task>();
  task->work = std::move(work);
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_ || tasks_.size() >= kCapacity || fd_ < 0) return false;
  push(task);
  const auto waiting = [&] { return task->state == Task::State::Waiting; };
  finished_.wait_for(lock, timeout, [&] { return !waiting(); });
  if (waiting()) {
    task->state = Task::State::Withdrawn;  // drain skips it
    return false;
  }
  // Once started, the task runs to its end: it may use what the caller holds.
  finished_.wait(lock, [&] { return task->state != Task::State::Running; });
  return task->state == Task::State::Done;
}

void OwnerQueue::push(std::shared_ptr<Task> task) {
  task->queued = std::chrono::steady_clock::now();
  tasks_.push_back(std::move(task));
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool OwnerQueue::answering(std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || fd_ < 0) return false;
  if (tasks_.empty()) {
    auto probe = std::make_shared<Task>();
    probe->work = [] {};
    push(std::move(probe));
    return true;
  }
  return std::chrono::steady_clock::now() - tasks_.front()->queued <= limit;
}

void OwnerQueue::drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!tasks_.empty()) {
    std::shared_ptr<Task> task = std::move(tasks_.front());
    tasks_.pop_front();
    if (task->state != Task::State::Waiting) continue;
    task->state = Task::State::Running;
    lock.unlock();
    try {
      task->work();
    } catch (...) {
      // A task reports its own errors; one that throws still ends, and its caller goes on.
    }
    lock.lock();
    task->state = Task::State::Done;
    finished_.notify_all();
  }
}

void OwnerQueue::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  for (const auto& task : tasks_) {
    if (task->state == Task::State::Waiting) task->state = Task::State::Withdrawn;
  }
  tasks_.clear();
  finished_.notify_all();
}

}  // namespace vexa::api
