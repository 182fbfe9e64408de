#include "event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "clock.h"

namespace vexa {

namespace {
using Clock = std::chrono::steady_clock;

void watchInput(int epoll, int fd, void* tag) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = tag;
  ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
}
}  // namespace

EventLoop::EventLoop(LoopLimits limits) : limits_(limits) {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  priority_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  watchInput(epoll_, wake_, nullptr);
  watchInput(epoll_, priority_, &prioritySet_);
}

EventLoop::~EventLoop() {
  ::close(wake_);
  ::close(priority_);
  ::close(epoll_);
}

int64_t EventLoop::nowMs() {
  return monotonicMs();
}

Status EventLoop::add(int fd, Handler handler) {
  return watch(fd, std::move(handler), false);
}

Status EventLoop::addPriority(int fd, Handler handler) {
  return watch(fd, std::move(handler), true);
}

Status EventLoop::watch(int fd, Handler handler, bool priority) {
  if (fd < 0) return Status::Error("bad descriptor");
  auto watch = std::make_unique<Watch>(Watch{std::move(handler), priority});
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = watch.get();
  if (::epoll_ctl(priority ? priority_ : epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    return Status::Error(std::strerror(errno));
  }
  if (static_cast<size_t>(fd) >= watches_.size()) watches_.resize(static_cast<size_t>(fd) + 1);
  watches_[static_cast<size_t>(fd)] = std::move(watch);
  return Status::Ok();
}

void EventLoop::remove(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= watches_.size()) return;
  std::unique_ptr<Watch>& slot = watches_[static_cast<size_t>(fd)];
  if (!slot) return;
  ::epoll_ctl(slot->priority ? priority_ : epoll_, EPOLL_CTL_DEL, fd, nullptr);
  slot->live = false;
  if (slot->queued) ready_.erase(std::find(ready_.begin(), ready_.end(), slot.get()));
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
  stopping_.store(true, std::memory_order_release);
  attention_.store(true, std::memory_order_release);
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

bool EventLoop::wait() {
  int timeout = -1;  // nothing due: sleep until a descriptor is ready
  if (!ready_.empty()) {
    timeout = 0;  // descriptors wait from the pass before: only look for more
  } else if (!timers_.empty()) {
    const int64_t untilDue = timers_.top().due - nowMs();
    timeout = untilDue <= 0 ? 0 : static_cast<int>(std::min<int64_t>(untilDue, 60000));
  }
  epoll_event events[kEventsPerWait];
  const int n = ::epoll_wait(epoll_, events, kEventsPerWait, timeout);
  bool priority = false;
  const size_t waiting = ready_.size();
  for (int i = 0; i < n; ++i) {
    Watch* watch = static_cast<Watch*>(events[i].data.ptr);
    if (!watch) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t r = ::read(wake_, &count, sizeof count);
    } else if (watch == &prioritySet_) {
      priority = true;
    } else if (!watch->queued) {
      watch->queued = true;
      ready_.push_back(watch);
    }
  }
  // Behind, the ones served longest ago go first, whatever order epoll reports them in: a
  // descriptor's next turn comes after every other waiting one's.
  if (waiting > 0) {
    std::sort(ready_.begin() + static_cast<long>(waiting), ready_.end(),
              [](const Watch* a, const Watch* b) { return a->served < b->served; });
  }
  return priority;
}

void EventLoop::runPriority() {
  epoll_event events[kEventsPerWait];
  const int n = ::epoll_wait(priority_, events, kEventsPerWait, 0);
  for (int i = 0; i < n; ++i) {
    Watch* watch = static_cast<Watch*>(events[i].data.ptr);
    if (watch->live) watch->handler();  // a handler may have removed it earlier in the pass
  }
}

void EventLoop::dispatch() {
  const Clock::time_point start = Clock::now();
  Clock::time_point looked = start;  // at the priority descriptors
  for (size_t served = 0; !ready_.empty() && served < limits_.handlersPerPass; ++served) {
    if (stopping_.load(std::memory_order_acquire)) return;
    Watch* watch = ready_.front();  // live: a removed one leaves the queue
    ready_.pop_front();
    watch->queued = false;
    watch->served = ++served_;
    watch->handler();
    // A task posted or a stop ends the pass; so does the last ready descriptor, without a
    // reading of the clock (the next wait looks at the priority descriptors too).
    if (attention_.load(std::memory_order_acquire) || ready_.empty()) return;
    const Clock::time_point now = Clock::now();
    if (now - start >= limits_.passTime) return;
    if (now - looked >= limits_.priorityEvery) {
      looked = now;
      runPriority();
    }
  }
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
    // A stop still wants the next pass.
    attention_.store(stopping_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  }
  for (auto& task : tasks) task();
}

void EventLoop::run() {
  for (;;) {
    if (stopping_.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> guard(postedLock_);
      stopping_.store(false, std::memory_order_relaxed);
      attention_.store(!posted_.empty(), std::memory_order_relaxed);
      return;
    }
    ++pass_;
    behind_ = !ready_.empty();
    if (wait()) runPriority();
    dispatch();
    retired_.clear();
    runDueTimers();
    runPosted();
  }
}

}  // namespace vexa
