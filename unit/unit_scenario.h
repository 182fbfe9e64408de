#pragma once

#include <memory>
#include <string>

#include "fault_injector.h"
#include "scenario_runner.h"

namespace vexa {

class Unit;

// One unit's scenario: the runner and the unit's side of it. Levels go through the slider's
// rule (Unit::driveLevel), inputs through the input operation, the endpoint through the unit's
// endpoint switch, faults through the unit's fault setting (the faults it had before come back
// when the scenario clears its own), a held reset as an accepted rst. Stopping hands the levels
// back.
//
// Has no timer: its owner asks `nextDeadline()` and calls `advanceTo(now)`. One thread (the one
// driving the unit: a fleet's loop, the window's GUI thread) calls everything.
class UnitScenario final : private ScenarioTarget {
 public:
  using Clock = ScenarioRunner::Clock;

  explicit UnitScenario(Unit& unit) : unit_(unit) {}
  ~UnitScenario() override;
  UnitScenario(const UnitScenario&) = delete;
  UnitScenario& operator=(const UnitScenario&) = delete;

  // Stops any scenario running and starts `scenario` (read from `file`) at `now`.
  void start(std::shared_ptr<const Scenario> scenario, std::string file, RunOptions options,
             Clock::time_point now);
  // The options a scenario started later (console, API) runs with.
  void setOptions(const RunOptions& options) { options_ = options; }
  // Stops the scenario, if one runs; it can be started again.
  void stop();
  void advanceTo(Clock::time_point now);
  // Clock::time_point::max() when nothing is due (none running, or nothing moves).
  Clock::time_point nextDeadline() const;

  bool running() const { return runner_ && runner_->running(); }
  // The last file started (kept after a stop) and the options it ran with.
  const std::string& file() const { return file_; }
  const RunOptions& options() const { return options_; }
  // The scenario's name and time as of `now`; null when none runs.
  const ScenarioRunner* runner() const { return running() ? runner_.get() : nullptr; }

  // For the unit being destroyed: from here on nothing reaches the unit.
  void detach();

 private:
  void claimLevel(int level, const std::string& source) override;
  void releaseLevel(int level) override;
  void setLevel(int level, int value) override;
  void setInput(int bit, bool on) override;
  void setEndpoint(bool on) override;
  void setFaults(double drop, int delayMs, int jitterMs, double corrupt) override;
  void clearFaults() override;
  void holdReset(int seconds) override;

  Unit& unit_;
  bool detached_ = false;
  std::unique_ptr<ScenarioRunner> runner_;
  std::string file_;
  RunOptions options_;
  bool faultsSaved_ = false;
  FaultSettings faultsBefore_;  // the unit's faults before this scenario set its own
};

}  // namespace vexa
