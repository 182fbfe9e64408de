#pragma once

#include <cstdint>
#include <random>

#include "clock.h"

namespace vexa {

// The unit's sense of time: monotonic milliseconds for its deadline ticks, and the same count
// cut to 32 bits as the tick counter that snd reads. Injected so tests can move time by hand.
class UnitClock : public TickSource {
 public:
  virtual int64_t nowMs() = 0;
  uint32_t GetTickCount() override { return static_cast<uint32_t>(nowMs()); }
};

// The monotonic clock of the system. Safe from any thread.
class SteadyUnitClock final : public UnitClock {
 public:
  int64_t nowMs() override;
};

// The unit's random source R(n): a small generator (a few bytes per unit, so a fleet of ten
// thousand does not carry ten thousand large state tables). Only the ranges and the order of
// draws are fixed; the generator is ours to choose.
class SmallRandom final : public RandomSource {
 public:
  explicit SmallRandom(uint32_t seed = 1) { reseed(seed); }
  void reseed(uint32_t seed) { engine_.seed(seed == 0 ? 1 : seed); }
  int R(int n) override {
    if (n <= 1) return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(engine_);
  }

 private:
  std::minstd_rand engine_;
};

}  // namespace vexa
