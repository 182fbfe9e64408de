#pragma once

#include <cstdint>
#include <limits>
#include <variant>
#include <vector>

namespace vexa {

// When an event happens: at listed times, or periodically every `every` seconds from `at` while
// the un-jittered time is before `until`. Each occurrence k comes late by jitter * u, u uniform in
// [0, 1) drawn from (seed, stream, k). Times are scenario seconds.
struct Schedule {
  std::vector<double> times;  // listed times, increasing; empty when periodic
  double at = 0;
  double every = 0;  // above 0: periodic
  double until = std::numeric_limits<double>::infinity();
  double jitter = 0;
};

// An input set, cleared, pulsed on for the event's duration, or toggled (occurrence 0 switches
// it to `firstOn`, occurrence 1 back, and so on).
struct InputEvent {
  enum class Kind { kSet, kClear, kPulse, kToggle };
  Kind kind = Kind::kSet;
  int bit = 0;
  bool firstOn = true;
};
// The endpoint off for the event's duration.
struct EndpointOffEvent {};
// Fault injection on for the event's duration.
struct FaultsEvent {
  double drop = 0;
  int delayMs = 0;
  int delayJitterMs = 0;
  double corrupt = 0;
};
// The reset input held for `seconds`, as by an accepted rst.
struct ResetEvent {
  int seconds = 1;
};

using EventAction = std::variant<InputEvent, EndpointOffEvent, FaultsEvent, ResetEvent>;

// One timed event of a scenario. An event with a duration has two steps per occurrence (begin,
// end); one without has one. Steps are numbered 0, 1, 2, ... in time order.
struct TimedEvent {
  Schedule schedule;
  double duration = 0;
  EventAction action;

  uint64_t stepsPerOccurrence() const { return duration > 0 ? 2 : 1; }
};

constexpr double kNever = std::numeric_limits<double>::infinity();

// The time of occurrence k, or kNever when there is no such occurrence.
double occurrenceTime(const TimedEvent& event, uint64_t seed, uint64_t stream, uint64_t k);
// The time of step n: its occurrence's time, plus the duration for an end step.
double stepTime(const TimedEvent& event, uint64_t seed, uint64_t stream, uint64_t n);
// The first occurrence that begins at or after time t.
uint64_t firstOccurrenceFrom(const TimedEvent& event, uint64_t seed, uint64_t stream, double t);

}  // namespace vexa
