#include "simulator_unit.h"

#include <algorithm>

#include "number_format.h"
#include "pad_zeros.h"
#include "rounding.h"

namespace vexa {

namespace {
constexpr const char* kLevelNames[3] = {"bat", "temp", "umid"};

std::string ledName(int bit) {
  return "Ld" + PadZeros(bit, 2);
}
}  // namespace

SimulatorUnit::SimulatorUnit(std::string id, SimulatorHost& host, PanelView& view,
                             Controls controls, api::OwnerQueue& owner, api::EventSink& events)
    : id_(std::move(id)),
      host_(host),
      view_(view),
      controls_(std::move(controls)),
      owner_(owner),
      tap_(id_, host.state(), events),
      watch_(id_, events) {}

void SimulatorUnit::lookForChanges() {
  struct Reading {
    uint16_t inputs;
    std::array<int16_t, 3> levels;
  };
  const Reading r = host_.state().locked([](const DeviceData& d) {
    return Reading{d.live.InputFlags(), {d.live.Nv(0), d.live.Nv(1), d.live.Nv(2)}};
  });
  watch_.look(r.inputs, r.levels, host_.endpoint().Active());
}

api::UnitSnapshot SimulatorUnit::read() const {
  api::UnitSnapshot s;
  s.id = id_;
  s.port =
      host_.endpoint().Active() ? host_.endpoint().boundPort() : host_.endpoint().DefaultPort();
  host_.state().locked([&s](const DeviceData& d) {
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
  s.batteryItem = view_.batteryItem();
  s.endpointOn = host_.endpoint().Active();
  // What the 100 ms tick shows; a battery display without a selected item keeps its text.
  if (s.batteryItem >= 0 && s.batteryItem <= 2) {
    s.levelTexts[0] = batteryText(s.live.Nv(0), s.batteryItem);
  }
  s.levelTexts[1] = std::to_string(s.live.Nv(1));
  s.levelTexts[2] = std::to_string(s.live.Nv(2));
  for (int bit = 0; bit < 8; ++bit) {
    const LedModel* led = view_.findLed(ledName(bit));
    if (led && led->enabled())
      s.clickableInputs = static_cast<uint8_t>(s.clickableInputs | 1 << bit);
  }
  tap_.fillTraffic(s);
  s.faults = host_.faults().settings();
  s.counters = tap_.counters();
  s.counters.dropped = host_.faults().dropped();
  s.counters.delayed = host_.faults().delayed();
  s.counters.corrupted = host_.faults().corrupted();
  return s;
}

std::optional<std::vector<api::UnitSnapshot>> SimulatorUnit::snapshotAll() {
  std::vector<api::UnitSnapshot> units(1);
  if (!owner_.call([&] { units[0] = read(); }, kOwnerTimeout)) return std::nullopt;
  return units;
}

SimulatorUnit::Lookup SimulatorUnit::snapshot(std::string_view id) {
  Lookup found;
  if (id != id_) {
    found.outcome = Lookup::Outcome::UnknownUnit;
  } else if (!owner_.call([&] { found.snapshot = read(); }, kOwnerTimeout)) {
    found.outcome = Lookup::Outcome::Unavailable;
  }
  return found;
}

api::ChangeResult SimulatorUnit::apply(std::string_view id, const api::UnitChange& change) {
  api::ChangeResult result;
  if (id != id_) {
    result.outcome = api::ChangeResult::Outcome::UnknownUnit;
  } else if (!owner_.call([&] { result = applyHere(change); }, kOwnerTimeout)) {
    result = {};
    result.outcome = api::ChangeResult::Outcome::Unavailable;
  }
  return result;
}

api::ChangeResult SimulatorUnit::applyHere(const api::UnitChange& change) {
  using Outcome = api::ChangeResult::Outcome;
  api::ChangeResult result;
  auto refuse = [&result](std::string field, std::string message) {
    result.outcome = Outcome::Refused;
    result.field = std::move(field);
    result.message = std::move(message);
    return result;
  };

  // Everything that could be refused is checked before anything changes.
  const bool autoAfter =
      change.autoMode.value_or(change.resetToDefaults ? false : view_.autoChecked());
  for (int level = 0; level < 3; ++level) {
    if (change.levels[level] && autoAfter) {
      return refuse(std::string("levels.") + kLevelNames[level],
                    "the levels follow auto mode; switch it off first");
    }
  }
  for (int bit = 0; bit < 8; ++bit) {
    const bool wanted =
        change.inputs[bit].has_value() ||
        std::find(change.toggles.begin(), change.toggles.end(), bit) != change.toggles.end();
    const LedModel* led = view_.findLed(ledName(bit));
    if (wanted && (!led || !led->enabled())) {
      return refuse("inputs." + std::to_string(bit),
                    "input " + std::to_string(bit) + " follows the reset countdown");
    }
  }
  // The endpoint goes first: it is the one step that can fail, and then nothing else changes.
  const std::optional<bool> endpoint = change.endpoint          ? change.endpoint
                                       : change.resetToDefaults ? std::optional(true)
                                                                : std::nullopt;
  if (endpoint && *endpoint != host_.endpoint().Active()) {
    view_.setEndpointChecked(*endpoint);  // runs the switch's click handler
    if (host_.endpoint().Active() != *endpoint) {
      return refuse("endpoint", EndpointSwitch::failureMessage(host_.endpoint().DefaultPort()));
    }
  }

  if (change.resetToDefaults) resetToDefaults();
  if (change.autoMode) controls_.setAuto(*change.autoMode);
  if (change.variantCode) {
    view_.setVariantButtonDown(*change.variantCode);
    host_.presenter().sbCodClick(*change.variantCode);
  }
  if (change.batteryItem) controls_.setBattery(*change.batteryItem);
  if (change.faults) {
    FaultSettings f = host_.faults().settings();
    const api::FaultChange& c = *change.faults;
    f.dropProbability = c.drop.value_or(f.dropProbability);
    f.corruptProbability = c.corrupt.value_or(f.corruptProbability);
    f.delayMs = c.delayMs.value_or(f.delayMs);
    f.delayJitterMs = c.jitterMs.value_or(f.delayJitterMs);
    host_.faults().configure(f);
  }
  for (int bit = 0; bit < 8; ++bit) {
    if (!change.inputs[bit]) continue;
    const bool set = host_.state().locked(
        [bit](const DeviceData& d) { return (d.live.InputFlags() >> bit & 1) != 0; });
    if (set != *change.inputs[bit]) host_.presenter().LdClick(ledName(bit));
  }
  for (const int bit : change.toggles) host_.presenter().LdClick(ledName(bit));
  for (int level = 0; level < 3; ++level) {
    if (!change.levels[level]) continue;
    const int requested = *change.levels[level];
    // The slider's clamping and the temperature factor apply, as for a slider moved by hand.
    const int64_t position = level == 1 ? roundHalfEvenTimes15(requested) : requested;
    view_.setSliderValue(level, static_cast<int>(position));
    const int applied =
        host_.state().locked([level](const DeviceData& d) { return d.live.Nv(level); });
    if (applied != requested) {
      result.clamped.push_back({std::string("levels.") + kLevelNames[level], requested, applied});
    }
  }
  lookForChanges();
  result.after = read();
  return result;
}

void SimulatorUnit::resetToDefaults() {
  // A fresh unit: the default blocks with nothing else in them, manual levels, variant 150,
  // the first battery range, no faults.
  host_.state().locked([](DeviceData& d) {
    d.config = DeviceConfig{};
    d.live = LiveRecord{};
    writeStartupDefaults(d);
    d.ResetCountdown = 0;
    d.TickToken = 0;
  });
  controls_.setAuto(false);
  host_.presenter().moveLevelSliders();
  host_.presenter().ShowConfig();
  host_.presenter().selectVariant(4);
  controls_.setBattery(0);
  host_.faults().configure(FaultSettings{});
}

}  // namespace vexa
