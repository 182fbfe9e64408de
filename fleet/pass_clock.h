#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "unit_clock.h"

namespace vexa {

// The clock a fleet gives its units. While the loop's thread hands received requests to the
// units, it holds the time still: the requests of one pass read the time taken for the first of
// them, taken again after every kRequestsPerReading requests. A pass that serves many sockets
// then reads the system clock a few times instead of once per request (a reading costs about as
// much as interpreting a short request). A request's time is thus at most the handling of the
// few requests before it in its pass (some microseconds) older than the moment it is handled,
// far inside the 10 ms of the finest tick. At any other moment, and on any other thread, it
// reads its base clock.
class PassClock final : public UnitClock {
 public:
  static constexpr int kRequestsPerReading = 64;

  explicit PassClock(UnitClock& base) : base_(base) {}

  int64_t nowMs() override {
    if (holder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return heldMs_;
    return base_.nowMs();
  }

  // The loop's thread, before each request of its pass `pass`: from here until `release`, this
  // thread reads the held time.
  void holdFor(uint64_t pass);
  void release() { holder_.store(std::thread::id(), std::memory_order_relaxed); }

 private:
  UnitClock& base_;
  // The thread reading the held time (none: every thread reads the base). Written by the loop's
  // thread only; another thread never finds its own id here.
  std::atomic<std::thread::id> holder_{};
  int64_t heldMs_ = 0;  // the holder's only
  uint64_t pass_ = UINT64_MAX;
  int uses_ = 0;
};

}  // namespace vexa
