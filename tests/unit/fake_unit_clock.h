#pragma once

#include <string>
#include <vector>

#include "../support/temp_dir.h"
#include "unit.h"

namespace vexa::testing {

// A unit's settings with its files in `dir` and a fixed random seed, so its draws repeat.
inline UnitSettings unitSettingsIn(const TempDir& dir, uint32_t seed, int number = 1) {
  UnitSettings settings;
  settings.number = number;
  settings.paths = StatePaths::forDirectory(dir.path());
  settings.randomSeed = seed;
  return settings;
}

// The unit's endpoint switch, without a socket; with `fail`, switching on fails as a taken port
// does.
struct FakeEndpoint final : UnitEndpoint {
  bool on = true;
  bool fail = false;
  Status setActive(bool active) override {
    if (active && fail) return Status::Error("Modbus\rErro na abertura da porta 5010");
    on = active;
    return Status::Ok();
  }
  bool active() const override { return on; }
};

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
