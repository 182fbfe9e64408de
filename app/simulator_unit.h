#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "change_watch.h"
#include "owner_queue.h"
#include "panel_view.h"
#include "simulator_host.h"
#include "traffic_tap.h"
#include "unit_registry.h"

namespace vexa {

// The running simulator as the HTTP interface's one unit. Reads and changes reach the unit on
// the thread that owns it (the GUI thread) through the owner queue, and every change goes
// through the same presenter operations and controls as a click or a console command, so the
// panel's rules hold (slider clamping, the temperature factor, the disabled input LED).
class SimulatorUnit final : public api::UnitRegistry {
 public:
  // How long a request waits for the GUI thread before it is answered "unavailable".
  static constexpr std::chrono::milliseconds kOwnerTimeout{2000};

  // The controls PanelView does not offer; each acts as the operator's click would.
  struct Controls {
    std::function<void(bool on)> setAuto;      // checks cbAut and runs cbAutClick
    std::function<void(int item)> setBattery;  // selects the cbBat item
  };

  SimulatorUnit(std::string id, SimulatorHost& host, PanelView& view, Controls controls,
                api::OwnerQueue& owner, api::EventSink& events);

  // Observes the host's datagram handler; set before the endpoint is switched on.
  api::TrafficTap& tap() { return tap_; }

  // GUI thread: publishes input, level and endpoint changes since the last look.
  void lookForChanges();

  // UnitRegistry, any thread.
  std::optional<std::vector<api::UnitSnapshot>> snapshotAll() override;
  Lookup snapshot(std::string_view id) override;
  api::ChangeResult apply(std::string_view id, const api::UnitChange& change) override;

 private:
  // GUI thread.
  api::UnitSnapshot read() const;
  api::ChangeResult applyHere(const api::UnitChange& change);
  void resetToDefaults();

  const std::string id_;
  SimulatorHost& host_;
  PanelView& view_;
  Controls controls_;
  api::OwnerQueue& owner_;
  api::TrafficTap tap_;
  api::ChangeWatch watch_;
};

}  // namespace vexa
