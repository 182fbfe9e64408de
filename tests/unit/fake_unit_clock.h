#pragma once

#include <string>
#include <vector>

#include "unit.h"

namespace vexa::testing {

// A unit clock moved by hand.
class FakeUnitClock final : public UnitClock {
 public:
  int64_t now = 0;
  int64_t nowMs() override { return now; }
};

// Collects a unit's replies; delayed ones are kept apart with their delay.
class CollectingOut final : public ReplyOut {
 public:
  std::vector<std::string> replies;
  std::vector<std::pair<int, std::string>> later;
  bool sendNow(std::string_view bytes) override {
    replies.emplace_back(bytes);
    return true;
  }
  bool sendLater(int delayMs, std::string bytes) override {
    later.emplace_back(delayMs, std::move(bytes));
    return true;
  }
};

}  // namespace vexa::testing
