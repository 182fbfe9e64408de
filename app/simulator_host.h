#pragma once

#include <QObject>
#include <QTimer>

#include "endpoint_switch.h"
#include "fault_injector.h"
#include "presenter.h"
#include "startup_settings.h"
#include "udp_endpoint.h"
#include "unit.h"
#include "unit_scenario.h"

namespace vexa {

// The window's unit: one unit served by an endpoint with its own listener thread, the panel's
// presenter and endpoint switch, and two Qt timers that only refresh the display (the unit's
// own ticks are deadlines and need no timer), plus one that advances the unit's scenario while
// one runs. Lives on the GUI thread.
class SimulatorHost : public QObject {
  Q_OBJECT

 public:
  struct Network {
    uint16_t port = UdpEndpoint::kDefaultPort;
    std::string bindAddress = "0.0.0.0";
    int startVariant = 4;  // VariantCode selected by the start-up load
    FaultSettings faults;
    uint32_t faultSeed = 1;
    size_t maxRepliesPerDatagram = 0;  // 0: every line answered
    // The unit's scenario (null: none), from the start-up planning.
    std::shared_ptr<const Scenario> scenario;
    std::string scenarioFile;
    RunOptions scenarioRun;
  };

  // `panelTexts` receives the listener thread's display texts (null: not shown).
  SimulatorHost(const StartupSettings& settings, PanelView& view, PanelTextSink* panelTexts,
                EndpointSwitch::FailureReport reportFailure, Network network);
  ~SimulatorHost() override;

  // The start-up load, then the panel's fill, the endpoint and the timers.
  void start();
  // FormClose: saves both state files; on failure the cycle timer stays off and the rest runs.
  Status close();
  // After a completed close: what it says about the files it left alone (empty: none).
  std::string keptFilesNotice() const { return unit_.keptFilesNotice(); }
  // The operator clicked cbCT13: the switch, then the unit's observer hears of a change.
  void endpointClicked();

  Unit& unit() { return unit_; }
  Presenter& presenter() { return presenter_; }
  EndpointSwitch& endpointSwitch() { return switch_; }
  UdpEndpoint& endpoint() { return endpoint_; }
  int cycleInterval() const { return unit_.cycleIntervalMs(); }
  bool cycleTimerActive() const { return tmr1_.isActive(); }
  bool scenarioTimerActive() const { return scenarioTimer_.isActive(); }
  // A scenario was started or stopped from outside (the API): its timer follows.
  void scenarioChanged();

 private:
  class EndpointPort;
  const Network network_;
  PanelView& view_;
  SteadyUnitClock clock_;
  Unit unit_;
  Presenter presenter_;
  // Declared after everything its listener thread uses, so it is switched off first.
  UdpEndpoint endpoint_;
  DelayedSender delayed_{endpoint_};  // destroyed before the endpoint it sends from
  EndpointSwitch switch_;
  std::unique_ptr<EndpointPort> port_;
  QTimer tmr1_, tmr4_;
  QTimer scenarioTimer_;  // every 100 ms while a scenario runs; the levels' own pace
};

}  // namespace vexa
