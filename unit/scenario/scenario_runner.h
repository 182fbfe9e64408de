#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "level_generator.h"
#include "scenario.h"
#include "scenario_target.h"

namespace vexa {

// How one unit runs a scenario: the file's seed and time factor unless replaced, and the
// scenario time at which it starts (a unit's own phase in a fleet).
struct RunOptions {
  std::optional<uint64_t> seed{};
  std::optional<double> timeFactor{};  // above 0
  double offset = 0;                   // scenario seconds, 0 or more
};

// Runs one scenario on one unit without timers of its own. Scenario time is
// offset + (now - start) * time factor. The owner's event loop asks for `nextDeadline()` and calls
// `advanceTo(now)` when it has come (earlier or later calls are harmless): each event step is
// carried out once its scenario time has come, in time order, and the levels are evaluated at
// the current scenario time at most once per 100 ms of real time and set only when their rounded
// value changes. The same scenario, seed and factor give the same values at the same scenario
// times however often and however late `advanceTo` is called.
//
// Not thread-safe: one thread (the unit's) calls everything. The target must outlive the runner;
// destroying a running runner stops it.
class ScenarioRunner {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kLevelPeriod = std::chrono::milliseconds(100);
  // Event steps carried out by one advanceTo at most; the rest follow on the next call, which
  // nextDeadline() then asks for at once. Bounds the work after a long stall.
  static constexpr int kMaxStepsPerAdvance = 10000;

  ScenarioRunner(std::shared_ptr<const Scenario> scenario, ScenarioTarget& target,
                 RunOptions options = {});
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  // Claims the driven levels, sets them to their values at the start time, and carries out the
  // event steps due at that time. Does nothing when already running.
  void start(Clock::time_point now);
  void advanceTo(Clock::time_point now);
  // When advanceTo next has something to do; Clock::time_point::max() when never (or stopped).
  Clock::time_point nextDeadline() const;
  // Hands the levels back (they keep their values), switches an endpoint this scenario switched
  // off back on and clears faults it set. Inputs stay as they are. Does nothing when stopped.
  void stop();

  bool running() const { return running_; }
  // Whether the scenario drives the level, and the source text shown for it ("scenario sine"),
  // empty when it does not drive it or is not running.
  bool drives(int level) const;
  std::string levelSource(int level) const;

  double scenarioTime(Clock::time_point now) const;
  uint64_t seed() const { return seed_; }
  double timeFactor() const { return factor_; }
  const Scenario& scenario() const { return *scenario_; }

 private:
  struct Cursor {
    uint64_t step = 0;
    double time = kNever;  // scenario time of `step`
  };
  Clock::time_point realTimeOf(double scenarioSeconds) const;
  void applyLevels(Clock::time_point now);
  void applyStep(size_t event, uint64_t step);
  void updateNextEvent();

  std::shared_ptr<const Scenario> scenario_;
  ScenarioTarget& target_;
  uint64_t seed_;
  double factor_;
  double offset_;

  bool running_ = false;
  Clock::time_point start_{};
  std::vector<LevelEvaluator> evaluators_;                // one per driven level
  std::array<int, kLevelCount> evaluatorOf_{-1, -1, -1};  // index into evaluators_, -1 if none
  std::array<std::optional<int>, kLevelCount> applied_;   // last value set
  bool levelsMove_ = false;                               // some driven level is not constant
  Clock::time_point nextLevels_ = Clock::time_point::max();
  std::vector<Cursor> cursors_;  // one per event
  Clock::time_point nextEvent_ = Clock::time_point::max();
  bool endpointOff_ = false;  // this scenario switched the endpoint off
  bool faultsOn_ = false;     // this scenario set faults
};

}  // namespace vexa
