#pragma once

#include <cstdint>
#include <random>

namespace vexa {

// Milliseconds of the system's monotonic clock (since it started).
int64_t monotonicMs();

// The millisecond tick counter, injected so tests are deterministic.
class TickSource {
 public:
  virtual ~TickSource() = default;
  // Milliseconds since the system started, wrapping at 32 bits.
  virtual uint32_t GetTickCount() = 0;
};

// Reads the monotonic clock.
class MonotonicTickSource final : public TickSource {
 public:
  uint32_t GetTickCount() override;
};

// R(n): a uniform pseudo-random integer in 0..n-1, injected so tests are deterministic.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual int R(int n) = 0;
};

class SeededRandom final : public RandomSource {
 public:
  explicit SeededRandom(uint32_t seed) : engine_(seed) {}
  // A seed taken from the time of day.
  static uint32_t seedFromTimeOfDay();
  void reseed(uint32_t seed) { engine_.seed(seed); }
  int R(int n) override;

 private:
  std::mt19937 engine_;
};

}  // namespace vexa
