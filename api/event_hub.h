#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "unit_event.h"

namespace vexa::api {

// One reader's bounded queue of events. When it is full, new events are lost and counted: a
// slow reader loses events and never slows the publisher.
class EventQueue {
 public:
  // Events a reader may have waiting (some 300 bytes each); past it, events are lost. Holds
  // some 20 ms of a unit flooded as hard as this machine can.
  static constexpr size_t kDefaultCapacity = 8192;

  struct Filter {
    std::string unit;             // empty: every unit
    uint32_t kinds = 0xFFFFFFFF;  // bit per EventKind
    bool accepts(const UnitEvent& e) const;
  };
  // `wake`, when set, is called (from the publisher's thread, under the hub's lock: it must only
  // signal) when an event arrives in an empty queue.
  EventQueue(Filter filter, size_t capacity, std::function<void()> wake = {})
      : filter_(std::move(filter)), capacity_(capacity), wake_(std::move(wake)) {}

  // Reader: waits up to `wait` (zero: not at all) for events, then moves up to `max` of them,
  // oldest first, into `out` (cleared first) and returns how many were lost since the last call.
  uint64_t take(std::vector<UnitEvent>& out, std::chrono::milliseconds wait, size_t max = SIZE_MAX);
  uint64_t lostTotal() const;

 private:
  friend class EventHub;
  bool offer(UnitEvent e);  // false when it was lost

  const Filter filter_;
  const size_t capacity_;
  const std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<UnitEvent> events_;
  uint64_t lost_ = 0, lostReported_ = 0;
};

// The units whose state changed since a reader last looked: what the dashboard's coalesced
// stream sends. Holds one entry per unit however many events it had.
class ChangeMarks {
 public:
  // `wake`, when set, is called (publisher's thread, under the hub's lock) on the first mark
  // after a take.
  explicit ChangeMarks(std::function<void()> wake = {}) : wake_(std::move(wake)) {}

  // Reader: the marked units (cleared), after waiting up to `wait` for one.
  std::set<std::string> take(std::chrono::milliseconds wait);

 private:
  friend class EventHub;
  void mark(const std::string& unit);

  const std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::set<std::string> units_;
};

// Hands every published event to the readers that want it. Safe from any thread.
class EventHub final : public EventSink {
 public:
  // A new reader's queue; `wake` as EventQueue's. Once unsubscribe returns, `wake` is no
  // longer called.
  std::shared_ptr<EventQueue> subscribe(EventQueue::Filter filter,
                                        size_t capacity = EventQueue::kDefaultCapacity,
                                        std::function<void()> wake = {});
  void unsubscribe(const std::shared_ptr<EventQueue>& queue);
  std::shared_ptr<ChangeMarks> watchChanges(std::function<void()> wake = {});
  void unwatch(const std::shared_ptr<ChangeMarks>& marks);

  bool wanted() const override { return readers_.load(std::memory_order_relaxed) > 0; }
  void publish(UnitEvent event) override;
  void publish(UnitEvent* events, size_t count) override;

  uint64_t published() const { return published_.load(); }
  uint64_t lost() const { return lost_.load(); }
  size_t readers() const { return readers_.load(); }

 private:
  void publishLocked(UnitEvent& event);  // the caller holds mutex_

  std::mutex mutex_;
  uint64_t seq_ = 0;
  std::vector<std::shared_ptr<EventQueue>> queues_;
  std::vector<std::shared_ptr<ChangeMarks>> marks_;
  std::atomic<size_t> readers_{0};
  std::atomic<uint64_t> published_{0}, lost_{0};
};

}  // namespace vexa::api
