#include "event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "clock.h"

namespace vexa {

EventLoop::EventLoop() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = nullptr;  // the wake-up
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
}

EventLoop::~EventLoop() {
  ::close(wake_);
  ::close(epoll_);
}

int64_t EventLoop::nowMs() {
  return monotonicMs();
}

Status EventLoop::add(int fd, Handler handler) {
  if (fd < 0) return Status::Error("bad descriptor");
  auto watch = std::make_unique<Watch>(Watch{std::move(handler)});
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = watch.get();
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) return Status::Error(std::strerror(errno));
  if (static_cast<size_t>(fd) >= watches_.size()) watches_.resize(static_cast<size_t>(fd) + 1);
  watches_[static_cast<size_t>(fd)] = std::move(watch);
  return Status::Ok();
}

void EventLoop::remove(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= watches_.size()) return;
  std::unique_ptr<Watch>& slot = watches_[static_cast<size_t>(fd)];
  if (!slot) return;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  slot->live = false;
  retired_.push_back(std::move(slot));  // it may be the one running
}

bool EventLoop::at(int64_t dueMs, std::function<void()> task) {
  if (timers_.size() >= kMaxTimers) return false;
  timers_.push(Timer{dueMs, timerOrder_++, std::move(task)});
  return true;
}

void EventLoop::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(postedLock_);
    posted_.push_back(std::move(task));
  }
  attention_.store(true, std::memory_order_release);
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

void EventLoop::stop() {
  {
    std::lock_guard<std::mutex> guard(postedLock_);
    stopping_ = true;
  }
  attention_.store(true, std::memory_order_release);
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

void EventLoop::runDueTimers() {
  if (timers_.empty()) return;
  const int64_t now = nowMs();
  while (!timers_.empty() && timers_.top().due <= now) {
    std::function<void()> task = std::move(const_cast<Timer&>(timers_.top()).task);
    timers_.pop();
    task();
  }
}

void EventLoop::runPosted() {
  if (!attention_.load(std::memory_order_acquire)) return;
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> guard(postedLock_);
    tasks.swap(posted_);
    attention_.store(stopping_, std::memory_order_relaxed);  // a stop still wants the next pass
  }
  for (auto& task : tasks) task();
}

void EventLoop::run() {
  epoll_event events[kEventsPerWait];
  for (;;) {
    if (attention_.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> guard(postedLock_);
      if (stopping_) {
        stopping_ = false;
        attention_.store(!posted_.empty(), std::memory_order_relaxed);
        return;
      }
    }
    ++pass_;
    int timeout = -1;  // nothing due: sleep until a descriptor is ready
    if (!timers_.empty()) {
      const int64_t wait = timers_.top().due - nowMs();
      timeout = wait <= 0 ? 0 : static_cast<int>(std::min<int64_t>(wait, 60000));
    }
    const int n = ::epoll_wait(epoll_, events, kEventsPerWait, timeout);
    for (int i = 0; i < n; ++i) {
      Watch* watch = static_cast<Watch*>(events[i].data.ptr);
      if (!watch) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t r = ::read(wake_, &count, sizeof count);
        continue;
      }
      if (watch->live) watch->handler();  // a handler may have removed it earlier in the pass
    }
    retired_.clear();
    runDueTimers();
    runPosted();
  }
}

}  // namespace vexa
