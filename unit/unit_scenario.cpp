#include "unit_scenario.h"

#include "unit.h"

namespace vexa {

UnitScenario::~UnitScenario() {
  detach();
}

void UnitScenario::detach() {
  detached_ = true;
  runner_.reset();
}

void UnitScenario::start(std::shared_ptr<const Scenario> scenario, std::string file,
                         RunOptions options, Clock::time_point now) {
  stop();
  if (detached_ || !scenario) return;
  file_ = std::move(file);
  options_ = options;
  runner_ = std::make_unique<ScenarioRunner>(std::move(scenario),
                                             static_cast<ScenarioTarget&>(*this), options);
  runner_->start(now);
}

void UnitScenario::stop() {
  if (runner_) runner_->stop();
}

void UnitScenario::advanceTo(Clock::time_point now) {
  if (running()) runner_->advanceTo(now);
}

UnitScenario::Clock::time_point UnitScenario::nextDeadline() const {
  return running() ? runner_->nextDeadline() : Clock::time_point::max();
}

void UnitScenario::claimLevel(int level, const std::string& source) {
  if (!detached_) unit_.claimLevel(level, source);
}

void UnitScenario::releaseLevel(int level) {
  if (!detached_) unit_.releaseLevel(level);
}

void UnitScenario::setLevel(int level, int value) {
  if (!detached_) unit_.driveLevel(level, value);
}

void UnitScenario::setInput(int bit, bool on) {
  if (!detached_) unit_.setInput(bit, on ? Unit::InputAction::On : Unit::InputAction::Off);
}

void UnitScenario::setEndpoint(bool on) {
  // A failure to bind again is the unit's ordinary endpoint failure: the unit stays unplugged
  // and the operator's `endpoint on` tries again.
  if (!detached_) (void)unit_.setEndpointActive(on);
}

void UnitScenario::setFaults(double drop, int delayMs, int jitterMs, double corrupt) {
  if (detached_) return;
  if (!faultsSaved_) {
    faultsBefore_ = unit_.faults();
    faultsSaved_ = true;
  }
  FaultSettings s;
  s.dropProbability = drop;
  s.delayMs = delayMs;
  s.delayJitterMs = jitterMs;
  s.corruptProbability = corrupt;
  unit_.setFaults(s);
}

void UnitScenario::clearFaults() {
  if (detached_) return;
  unit_.setFaults(faultsSaved_ ? faultsBefore_ : FaultSettings{});
  faultsSaved_ = false;
}

void UnitScenario::holdReset(int seconds) {
  if (!detached_) unit_.holdReset(seconds);
}

}  // namespace vexa
