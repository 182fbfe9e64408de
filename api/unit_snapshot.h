#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device_blocks.h"
#include "fault_injector.h"
#include "scenario.h"
#include "unit_events.h"

namespace vexa::api {

// What a unit has done since it started.
struct UnitCounters {
  uint64_t datagrams = 0;  // received and handled (dropped ones are counted as faults)
  uint64_t replies = 0;    // made and handed to the endpoint (a failed send counts too)
  uint64_t bytesReceived = 0;
  uint64_t bytesSent = 0;
  std::array<uint64_t, vexa::UnitCounters::kCommandCount> lines{};  // by UnitCounters::Command
  uint64_t dropped = 0, delayed = 0, corrupted = 0;                 // faults applied
  uint64_t delayOverflow = 0;    // delayed replies dropped on a full queue
  uint64_t linesUnanswered = 0;  // lines past the per-datagram reply limit
};

// One unit as it stands at one moment: the two state blocks raw, the values shown on its panel,
// its traffic boxes and its counters. A plain value, safe to pass between threads.
struct UnitSnapshot {
  std::string id;
  uint16_t port = 0;  // the UDP port it answers on
  DeviceConfig config{};
  LiveRecord live{};
  int16_t workScale = 0;
  uint8_t workAjTemp = 0, workAjUmid = 0;
  bool autoMode = false;
  int32_t resetCountdown = 0;  // 10 ms ticks
  int32_t variantCode = 4;     // 2, 3 or 4
  uint16_t token = 0;
  int batteryItem = 0;  // -1: none selected
  bool endpointOn = false;
  std::array<std::string, 3> levelTexts;  // stNv00..stNv02 as the panel shows them
  uint8_t clickableInputs = 0;            // bits whose LED the operator may click
  // The four traffic boxes (request, reply body, framed hex, framed text) and stVrs1.
  std::array<std::string, 4> traffic;
  std::string versionText;
  FaultSettings faults;
  UnitCounters counters;
  // What sets each level: empty for the operator (or auto mode), else its scenario
  // ("scenario sine"); and the scenario that runs, if any.
  std::array<std::string, 3> levelSources;
  bool scenarioRunning = false;
  std::string scenarioName;
  double scenarioTime = 0;  // scenario seconds since its start
};

// The operator's fault settings, each field optional: what is absent stays as it is.
struct FaultChange {
  std::optional<double> drop, corrupt;
  std::optional<int> delayMs, jitterMs;
};

// A change of one unit, validated for form and range. The unit applies it through its operator
// controls in this order: endpoint (the one step that can fail), reset, auto, variant,
// battery, faults, inputs, toggles, levels. Levels are in the unit of the level (temperature: Nv01,
// not the slider's position).
struct UnitChange {
  bool resetToDefaults = false;
  std::optional<bool> autoMode;
  std::optional<bool> endpoint;
  std::optional<int> variantCode;  // 2, 3 or 4
  std::optional<int> batteryItem;  // 0, 1 or 2
  std::optional<FaultChange> faults;
  std::array<std::optional<bool>, 8> inputs;
  std::vector<int> toggles;  // input bits to invert, 0..7
  std::array<std::optional<int>, 3> levels;
  // A scenario to start (it replaces one that runs), or the one that runs to stop. The scenario
  // resource sends these alone.
  std::shared_ptr<const Scenario> startScenario;
  bool stopScenario = false;
};

// A level whose slider held it inside its range.
struct Clamp {
  std::string field;  // "levels.bat"
  int requested = 0;
  int applied = 0;
};

struct ChangeResult {
  enum class Outcome {
    Applied,
    UnknownUnit,
    Refused,      // the unit's state forbids it (a disabled input, levels in auto mode)
    Unavailable,  // the unit's thread did not answer in time
  };
  Outcome outcome = Outcome::Applied;
  std::string field;    // when refused
  std::string message;  // when refused or unavailable
  std::vector<Clamp> clamped;
  std::optional<UnitSnapshot> after;  // the unit after the change, when applied
};

}  // namespace vexa::api
