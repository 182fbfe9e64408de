#pragma once

#include <cstdint>

#include "unit.h"
#include "unit_event_bridge.h"
#include "unit_snapshot.h"

namespace vexa::api {

// The operator's controls of one unit as the interface drives them, on the thread that owns
// the unit. This base drives the unit alone (a fleet's unit); the window's version also moves
// its widgets (check box, sliders, buttons, battery list), as the operator's clicks would.
// The rules themselves (clamping, the temperature factor, the reset input) are the unit's.
class UnitControls {
 public:
  // `port`: the UDP port the unit answers on.
  UnitControls(Unit& unit, uint16_t port) : unit_(unit), port_(port) {}
  virtual ~UnitControls() = default;

  Unit& unit() { return unit_; }
  uint16_t port() const { return port_; }

  virtual void setInput(int bit, Unit::InputAction action) { unit_.setInput(bit, action); }
  // A level in its own unit (temperature: Nv01): its slider goes there, clamped.
  virtual void setLevel(int level, int value) { unit_.enterLevel(level, value); }
  virtual void setAuto(bool on) { unit_.setAuto(on); }
  virtual void setVariant(int code) { unit_.setVariant(code); }
  virtual void setBattery(int item) { unit_.setBattery(item); }
  virtual int batteryItem() { return unit_.battery(); }
  virtual Status setEndpoint(bool on) { return unit_.setEndpointActive(on); }
  virtual void resetToDefaults() { unit_.resetToDefaults(); }
  // Starts `scenario` on the unit with its last run options (or stops the one that runs); an
  // owner with a scenario timer of its own hears of it through `scenarioChanged`.
  void startScenario(std::shared_ptr<const Scenario> scenario);
  void stopScenario();
  virtual void scenarioChanged() {}

 private:
  Unit& unit_;
  const uint16_t port_;
};

// The unit behind `controls` as it stands now, with the id `id` and the traffic boxes the
// bridge kept. Owner thread.
UnitSnapshot snapshotOf(UnitControls& controls, const std::string& id, const TrafficBoxes& traffic);

// Applies the whole change through the controls or, when the unit's state refuses any part of
// it (an input that follows the reset countdown, levels in auto mode, an endpoint that cannot
// open), nothing. Levels held inside their sliders' ranges are reported as clamped. The
// result's `after` is left for the caller to fill. Owner thread.
ChangeResult applyChange(UnitControls& controls, const UnitChange& change);

}  // namespace vexa::api
