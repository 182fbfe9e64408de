#pragma once

#include <deque>

#include "clock.h"
#include "device_state.h"

namespace vexa::testing {

class FakeTicks final : public TickSource {
 public:
  uint32_t now = 0;
  uint32_t GetTickCount() override { return now; }
};

// Returns queued draws; R(n) checks the draw is in range.
class FakeRandom final : public RandomSource {
 public:
  std::deque<int> draws;
  int R(int n) override {
    if (draws.empty()) return n - 1;
    const int v = draws.front();
    draws.pop_front();
    return v % n;
  }
};

// A device state loaded with the start-up defaults and variant 4.
inline void loadDefaults(DeviceState& state) {
  state.locked([](DeviceData& d) { writeStartupDefaults(d); });
}

}  // namespace vexa::testing
