#pragma once

#include <array>
#include <string>
#include <vector>

#include "scenario_target.h"

namespace vexa::testing {

// Keeps the unit's state as a scenario leaves it, and a log of every call in order.
class FakeTarget : public ScenarioTarget {
 public:
  void claimLevel(int level, const std::string& source) override {
    claimed[level] = true;
    add("claim " + std::to_string(level) + " " + source);
  }
  void releaseLevel(int level) override {
    claimed[level] = false;
    add("release " + std::to_string(level));
  }
  void setLevel(int level, int value) override {
    levels[level] = value;
    ++levelSets;
    add("level " + std::to_string(level) + " " + std::to_string(value));
  }
  void setInput(int bit, bool on) override {
    inputs[bit] = on;
    add("input " + std::to_string(bit) + (on ? " on" : " off"));
  }
  void setEndpoint(bool on) override {
    endpoint = on;
    add(on ? "endpoint on" : "endpoint off");
  }
  void setFaults(double drop, int delayMs, int jitterMs, double corrupt) override {
    faults = true;
    add("faults " + std::to_string(drop) + " " + std::to_string(delayMs) + " " +
        std::to_string(jitterMs) + " " + std::to_string(corrupt));
  }
  void clearFaults() override {
    faults = false;
    add("faults off");
  }
  void holdReset(int seconds) override { add("reset " + std::to_string(seconds)); }

  // Each call also lands in `timed` with `now`, the scenario time the test set before calling.
  double now = 0;
  struct Call {
    double time;
    std::string what;
  };
  std::vector<Call> timed;

  std::array<bool, 3> claimed{};
  std::array<int, 3> levels{-1, -1, -1};
  int levelSets = 0;
  std::array<bool, 8> inputs{};
  bool endpoint = true;
  bool faults = false;
  std::vector<std::string> log;

 private:
  void add(const std::string& what) {
    log.push_back(what);
    timed.push_back({now, what});
  }
};

}  // namespace vexa::testing
