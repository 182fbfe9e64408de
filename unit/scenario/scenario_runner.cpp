#include "scenario_runner.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace vexa {

namespace {

// Real time further than this from the start counts as never (keeps the arithmetic in range).
constexpr double kMaxRealSeconds = 1e9;
// The largest offset a runner takes (scenario seconds, about 11 days); larger ones are cut to it.
// A walk replays its moves up to the offset at the start, so this bounds that work too.
constexpr double kMaxOffset = 1e6;

}  // namespace

ScenarioRunner::ScenarioRunner(std::shared_ptr<const Scenario> scenario, ScenarioTarget& target,
                               RunOptions options)
    : scenario_(std::move(scenario)),
      target_(target),
      seed_(options.seed.value_or(scenario_->seed)),
      factor_(options.timeFactor && validTimeFactor(*options.timeFactor) ? *options.timeFactor
                                                                         : scenario_->timeFactor),
      offset_(options.offset > 0 ? std::min(options.offset, kMaxOffset) : 0) {
  for (int level = 0; level < kLevelCount; ++level) {
    const auto& generator = scenario_->levels[level];
    if (!generator) continue;
    evaluatorOf_[level] = static_cast<int>(evaluators_.size());
    evaluators_.emplace_back(*generator, seed_, levelStream(level));
    if (!std::holds_alternative<ConstantLevel>(*generator)) levelsMove_ = true;
  }
  cursors_.resize(scenario_->events.size());
}

ScenarioRunner::~ScenarioRunner() {
  stop();
}

void ScenarioRunner::start(Clock::time_point now) {
  if (running_) return;
  running_ = true;
  start_ = now;
  for (int level = 0; level < kLevelCount; ++level) {
    if (evaluatorOf_[level] >= 0) target_.claimLevel(level, levelSource(level));
  }
  for (size_t i = 0; i < cursors_.size(); ++i) {
    const TimedEvent& event = scenario_->events[i];
    const uint64_t first = firstOccurrenceFrom(event, seed_, eventStream(i), offset_);
    cursors_[i].step = first * event.stepsPerOccurrence();
    cursors_[i].time = stepTime(event, seed_, eventStream(i), cursors_[i].step);
  }
  applied_ = {};
  applyLevels(now);
  updateNextEvent();
  advanceTo(now);
}

void ScenarioRunner::advanceTo(Clock::time_point now) {
  if (!running_) return;
  for (int done = 0; done < kMaxStepsPerAdvance && nextEvent_ <= now; ++done) {
    // The earliest pending step; on a tie the event listed first.
    size_t earliest = 0;
    for (size_t i = 1; i < cursors_.size(); ++i) {
      if (cursors_[i].time < cursors_[earliest].time) earliest = i;
    }
    Cursor& cursor = cursors_[earliest];
    applyStep(earliest, cursor.step);
    ++cursor.step;
    cursor.time = stepTime(scenario_->events[earliest], seed_, eventStream(earliest), cursor.step);
    updateNextEvent();
  }
  if (now >= nextLevels_) applyLevels(now);
}

ScenarioRunner::Clock::time_point ScenarioRunner::nextDeadline() const {
  if (!running_) return Clock::time_point::max();
  return std::min(nextLevels_, nextEvent_);
}

void ScenarioRunner::stop() {
  if (!running_) return;
  running_ = false;
  for (int level = 0; level < kLevelCount; ++level) {
    if (evaluatorOf_[level] >= 0) target_.releaseLevel(level);
  }
  if (endpointOff_) target_.setEndpoint(true);
  if (faultsOn_) target_.clearFaults();
  endpointOff_ = faultsOn_ = false;
  nextLevels_ = nextEvent_ = Clock::time_point::max();
}

bool ScenarioRunner::drives(int level) const {
  return running_ && level >= 0 && level < kLevelCount && evaluatorOf_[level] >= 0;
}

std::string ScenarioRunner::levelSource(int level) const {
  if (!drives(level)) return {};
  return std::string("scenario ") + generatorKind(*scenario_->levels[level]);
}

double ScenarioRunner::scenarioTime(Clock::time_point now) const {
  return offset_ + std::chrono::duration<double>(now - start_).count() * factor_;
}

ScenarioRunner::Clock::time_point ScenarioRunner::realTimeOf(double scenarioSeconds) const {
  const double seconds = (scenarioSeconds - offset_) / factor_;
  if (!(seconds < kMaxRealSeconds)) return Clock::time_point::max();  // also kNever
  if (seconds <= 0) return start_;
  // Rounded up, so that at the returned instant the scenario time has reached the step.
  const auto ns = std::chrono::nanoseconds(static_cast<int64_t>(std::ceil(seconds * 1e9)));
  return start_ + std::chrono::duration_cast<Clock::duration>(ns);
}

void ScenarioRunner::applyLevels(Clock::time_point now) {
  const double t = scenarioTime(now);
  for (int level = 0; level < kLevelCount; ++level) {
    if (evaluatorOf_[level] < 0) continue;
    const int value = static_cast<int>(std::lround(evaluators_[evaluatorOf_[level]].valueAt(t)));
    if (applied_[level] == value) continue;
    applied_[level] = value;
    target_.setLevel(level, value);
  }
  nextLevels_ = levelsMove_ ? now + kLevelPeriod : Clock::time_point::max();
}

void ScenarioRunner::applyStep(size_t index, uint64_t step) {
  const TimedEvent& event = scenario_->events[index];
  const uint64_t occurrence = step / event.stepsPerOccurrence();
  const bool begin = step % event.stepsPerOccurrence() == 0;
  std::visit(
      [&](const auto& action) {
        using A = std::decay_t<decltype(action)>;
        if constexpr (std::is_same_v<A, InputEvent>) {
          bool on = true;
          switch (action.kind) {
            case InputEvent::Kind::kSet:
              on = true;
              break;
            case InputEvent::Kind::kClear:
              on = false;
              break;
            case InputEvent::Kind::kPulse:
              on = begin;
              break;
            case InputEvent::Kind::kToggle:
              on = action.firstOn == (occurrence % 2 == 0);
              break;
          }
          target_.setInput(action.bit, on);
        } else if constexpr (std::is_same_v<A, EndpointOffEvent>) {
          target_.setEndpoint(!begin);
          endpointOff_ = begin;
        } else if constexpr (std::is_same_v<A, FaultsEvent>) {
          if (begin) {
            target_.setFaults(action.drop, action.delayMs, action.delayJitterMs, action.corrupt);
          } else {
            target_.clearFaults();
          }
          faultsOn_ = begin;
        } else {
          target_.holdReset(action.seconds);
        }
      },
      event.action);
}

void ScenarioRunner::updateNextEvent() {
  double earliest = kNever;
  for (const Cursor& c : cursors_) earliest = std::min(earliest, c.time);
  nextEvent_ = realTimeOf(earliest);
}

}  // namespace vexa
