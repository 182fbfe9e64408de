#include "unit_access.h"

#include <algorithm>

#include "number_format.h"
#include "reply_framing.h"
#include "scenario.h"
#include "text_format.h"
#include "unit_scenario.h"

namespace vexa::api {

namespace {
// The input the operator cannot set: it follows the reset countdown.
constexpr uint8_t kClickableInputs = 0xFF & ~(1 << kReset);
}  // namespace

UnitSnapshot snapshotOf(UnitControls& controls, const std::string& id,
                        const TrafficBoxes& traffic) {
  Unit& unit = controls.unit();
  unit.catchUp();
  UnitSnapshot s;
  s.id = id;
  s.port = controls.port();
  unit.state().locked([&s](const DeviceData& d) {
    s.config = d.config;
    s.live = d.live;
    s.workScale = d.WorkScale;
    s.workAjTemp = d.WorkAjTemp;
    s.workAjUmid = d.WorkAjUmid;
    s.autoMode = d.AutoMode;
    s.resetCountdown = d.ResetCountdown;
    s.variantCode = d.VariantCode;
    s.token = d.TickToken;
  });
  s.batteryItem = controls.batteryItem();
  s.endpointOn = unit.endpointActive();
  // What the display refresh shows; a battery display without a selected item keeps its text.
  if (s.batteryItem >= 0 && s.batteryItem <= 2) {
    s.levelTexts[0] = batteryText(s.live.Nv(0), s.batteryItem);
  }
  s.levelTexts[1] = std::to_string(s.live.Nv(1));
  s.levelTexts[2] = std::to_string(s.live.Nv(2));
  s.clickableInputs = kClickableInputs;
  if (!traffic.framed.empty()) {
    s.traffic[0] = traffic.line + " (" + std::to_string(traffic.line.size()) + ")";
    s.traffic[1] = traffic.body + " (" + std::to_string(traffic.body.size() + 2) + ")";
    s.traffic[2] = std::string(trimmed(HexDump(traffic.framed)));
    s.traffic[3] =
        std::string(trimmed(traffic.framed)) + " (" + std::to_string(traffic.framed.size()) + ")";
    if (const auto decoded = decodeAnyReply(traffic.framed)) {
      s.versionText = std::string(versionTextOf(decoded->variantCode));
    }
  }
  s.faults = unit.faults();
  const vexa::UnitCounters& c = unit.counters();
  s.counters.datagrams = c.datagrams.load();
  s.counters.replies = c.replies.load();
  s.counters.bytesReceived = c.bytesIn.load();
  s.counters.bytesSent = c.bytesOut.load();
  for (size_t i = 0; i < c.lines.size(); ++i) s.counters.lines[i] = c.lines[i].load();
  const std::array<uint64_t, 3> faults = unit.faultCounts();
  s.counters.dropped = faults[0];
  s.counters.delayed = faults[1];
  s.counters.corrupted = faults[2];
  s.counters.delayOverflow = c.delayOverflow.load();
  s.counters.linesUnanswered = unit.linesUnanswered();
  for (int level = 0; level < 3; ++level) s.levelSources[level] = unit.levelSource(level);
  if (const ScenarioRunner* runner = unit.scenario().runner()) {
    s.scenarioRunning = true;
    s.scenarioName = runner->scenario().name;
    s.scenarioTime = runner->scenarioTime(ScenarioRunner::Clock::now());
  }
  return s;
}

void UnitControls::startScenario(std::shared_ptr<const Scenario> scenario) {
  UnitScenario& s = unit_.scenario();
  s.start(std::move(scenario), "(api)", s.options(), UnitScenario::Clock::now());
  scenarioChanged();
}

void UnitControls::stopScenario() {
  unit_.scenario().stop();
  scenarioChanged();
}

ChangeResult applyChange(UnitControls& controls, const UnitChange& change) {
  using Outcome = ChangeResult::Outcome;
  Unit& unit = controls.unit();
  ChangeResult result;
  auto refuse = [&result](std::string field, std::string message) {
    result.outcome = Outcome::Refused;
    result.field = std::move(field);
    result.message = std::move(message);
    return result;
  };

  // Everything that could be refused is checked before anything changes.
  const bool autoNow = unit.state().locked([](const DeviceData& d) { return d.AutoMode; });
  const bool autoAfter = change.autoMode.value_or(change.resetToDefaults ? false : autoNow);
  for (int level = 0; level < 3; ++level) {
    if (change.levels[level] && autoAfter) {
      return refuse(std::string("levels.") + kLevelInfo[level].name,
                    "the levels follow auto mode; switch it off first");
    }
    if (change.levels[level] && !change.resetToDefaults && !unit.levelSource(level).empty()) {
      return refuse(
          std::string("levels.") + kLevelInfo[level].name,
          "the level follows the " + unit.levelSource(level) + "; stop the scenario first");
    }
  }
  for (int bit = 0; bit < 8; ++bit) {
    const bool wanted =
        change.inputs[bit].has_value() ||
        std::find(change.toggles.begin(), change.toggles.end(), bit) != change.toggles.end();
    if (wanted && !(kClickableInputs >> bit & 1)) {
      return refuse("inputs." + std::to_string(bit),
                    "input " + std::to_string(bit) + " follows the reset countdown");
    }
  }
  // A scenario (its own resource, alone in its change) cannot be refused.
  if (change.stopScenario) controls.stopScenario();
  if (change.startScenario) controls.startScenario(change.startScenario);
  // The endpoint goes first: it is the one step that can fail, and then nothing else changes.
  const std::optional<bool> endpoint = change.endpoint          ? change.endpoint
                                       : change.resetToDefaults ? std::optional(true)
                                                                : std::nullopt;
  if (endpoint && *endpoint != unit.endpointActive()) {
    const Status switched = controls.setEndpoint(*endpoint);
    if (!switched.ok() || unit.endpointActive() != *endpoint) {
      return refuse("endpoint", switched.ok() ? "the endpoint did not switch" : switched.text());
    }
  }

  if (change.resetToDefaults) controls.resetToDefaults();
  if (change.autoMode) controls.setAuto(*change.autoMode);
  if (change.variantCode) controls.setVariant(*change.variantCode);
  if (change.batteryItem) controls.setBattery(*change.batteryItem);
  if (change.faults) {
    FaultSettings f = unit.faults();
    const FaultChange& c = *change.faults;
    f.dropProbability = c.drop.value_or(f.dropProbability);
    f.corruptProbability = c.corrupt.value_or(f.corruptProbability);
    f.delayMs = c.delayMs.value_or(f.delayMs);
    f.delayJitterMs = c.jitterMs.value_or(f.delayJitterMs);
    unit.setFaults(f);
  }
  for (int bit = 0; bit < 8; ++bit) {
    if (!change.inputs[bit]) continue;
    controls.setInput(bit, *change.inputs[bit] ? Unit::InputAction::On : Unit::InputAction::Off);
  }
  for (const int bit : change.toggles) controls.setInput(bit, Unit::InputAction::Toggle);
  for (int level = 0; level < 3; ++level) {
    if (!change.levels[level]) continue;
    const int requested = *change.levels[level];
    controls.setLevel(level, requested);
    const int applied =
        unit.state().locked([level](const DeviceData& d) { return d.live.Nv(level); });
    if (applied != requested) {
      result.clamped.push_back(
          {std::string("levels.") + kLevelInfo[level].name, requested, applied});
    }
  }
  return result;
}

}  // namespace vexa::api
