#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "scenario.h"

namespace vexa {

// Limits of a scenario document; past them it is rejected, naming the field.
inline constexpr size_t kMaxScenarioEvents = 1000;  // entries of "inputs" and of "unit"
inline constexpr size_t kMaxScenarioList = 10000;   // entries of "steps" and of a list of times
inline constexpr double kMaxScenarioTime = 1e8;     // seconds, about three years
inline constexpr double kMinWalkInterval = 0.1;     // seconds
inline constexpr double kMinEvery = 0.1;            // seconds between periodic occurrences

// A scenario, or the reason there is none: "field.path: what is wrong" (or "line L, column C:
// ..." for text that is no JSON).
struct ScenarioLoad {
  std::shared_ptr<const Scenario> scenario;
  std::string error;
  bool ok() const { return scenario != nullptr; }
};

// Reads a scenario document (the format is described in docs/scenarios/README.md). Unknown
// fields, values of the wrong type and values out of range are errors. Never throws.
ScenarioLoad parseScenario(std::string_view text);

}  // namespace vexa
