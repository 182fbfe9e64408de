#include "event_hub.h"

#include <algorithm>
#include <array>

namespace vexa::api {

namespace {
constexpr std::array<std::string_view, kEventKindCount> kKindNames = {
    "request", "reply", "write", "input", "level", "endpoint"};
}

std::string_view eventKindName(EventKind kind) {
  return kKindNames[static_cast<size_t>(kind)];
}

bool eventKindOf(std::string_view name, EventKind& kind) {
  for (size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) {
      kind = static_cast<EventKind>(i);
      return true;
    }
  }
  return false;
}

bool EventQueue::Filter::accepts(const UnitEvent& e) const {
  return (kinds >> static_cast<unsigned>(e.kind) & 1u) && (unit.empty() || unit == e.unit);
}

bool EventQueue::offer(UnitEvent e) {
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.size() >= capacity_) {
      ++lost_;
      return false;
    }
    wasEmpty = events_.empty();
    events_.push_back(std::move(e));
  }
  // A reader only waits on an empty queue, so only the first event needs to wake it.
  if (wasEmpty) {
    ready_.notify_one();
    if (wake_) wake_();
  }
  return true;
}

uint64_t EventQueue::take(std::vector<UnitEvent>& out, std::chrono::milliseconds wait, size_t max) {
  out.clear();
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait_for(lock, wait, [this] { return !events_.empty() || lost_ != lostReported_; });
  const auto end = events_.begin() + static_cast<std::ptrdiff_t>(std::min(max, events_.size()));
  out.assign(std::make_move_iterator(events_.begin()), std::make_move_iterator(end));
  events_.erase(events_.begin(), end);
  const uint64_t lost = lost_ - lostReported_;
  lostReported_ = lost_;
  return lost;
}

uint64_t EventQueue::lostTotal() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

std::set<std::string> ChangeMarks::take(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait_for(lock, wait, [this] { return !units_.empty(); });
  std::set<std::string> units;
  units.swap(units_);
  return units;
}

void ChangeMarks::mark(const std::string& unit) {
  bool wasEmpty = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wasEmpty = units_.empty();
    units_.insert(unit);
  }
  if (wasEmpty) {
    ready_.notify_one();
    if (wake_) wake_();
  }
}

std::shared_ptr<EventQueue> EventHub::subscribe(EventQueue::Filter filter, size_t capacity,
                                                std::function<void()> wake) {
  auto queue = std::make_shared<EventQueue>(std::move(filter), capacity, std::move(wake));
  std::lock_guard<std::mutex> lock(mutex_);
  queues_.push_back(queue);
  readers_ = queues_.size() + marks_.size();
  return queue;
}

void EventHub::unsubscribe(const std::shared_ptr<EventQueue>& queue) {
  std::lock_guard<std::mutex> lock(mutex_);
  queues_.erase(std::remove(queues_.begin(), queues_.end(), queue), queues_.end());
  readers_ = queues_.size() + marks_.size();
}

std::shared_ptr<ChangeMarks> EventHub::watchChanges(std::function<void()> wake) {
  auto marks = std::make_shared<ChangeMarks>(std::move(wake));
  std::lock_guard<std::mutex> lock(mutex_);
  marks_.push_back(marks);
  readers_ = queues_.size() + marks_.size();
  return marks;
}

void EventHub::unwatch(const std::shared_ptr<ChangeMarks>& marks) {
  std::lock_guard<std::mutex> lock(mutex_);
  marks_.erase(std::remove(marks_.begin(), marks_.end(), marks), marks_.end());
  readers_ = queues_.size() + marks_.size();
}

void EventHub::publish(UnitEvent event) {
  std::lock_guard<std::mutex> lock(mutex_);
  publishLocked(event);
}

void EventHub::publish(UnitEvent* events, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < count; ++i) publishLocked(events[i]);
}

void EventHub::publishLocked(UnitEvent& event) {
  // Stamped under the lock, so time never goes back as the sequence goes on.
  event.timeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count();
  event.seq = ++seq_;
  published_.fetch_add(1, std::memory_order_relaxed);
  for (const auto& marks : marks_) marks->mark(event.unit);
  // Copied to every reader that wants it but the last, which gets it moved.
  EventQueue* last = nullptr;
  for (const auto& queue : queues_) {
    if (!queue->filter_.accepts(event)) continue;
    if (last && !last->offer(event)) lost_.fetch_add(1, std::memory_order_relaxed);
    last = queue.get();
  }
  if (last && !last->offer(std::move(event))) lost_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace vexa::api
