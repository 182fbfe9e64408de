#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include <atomic>

#include "api_address.h"
#include "datagram_handler.h"
#include "endpoint_switch.h"
#include "fault_injector.h"
#include "presenter.h"
#include "startup_settings.h"
#include "traffic_log.h"
#include "udp_endpoint.h"

namespace vexa {

// The running simulator around a panel view: the device state, the endpoint and its read
// handler, the traffic log, the presenter, the endpoint switch and the four timers. Serves the
// start-up load and the close sequence. Lives on the GUI thread.
class SimulatorHost : public QObject, public StateHost {
  Q_OBJECT

 public:
  struct Network {
    uint16_t port = UdpEndpoint::kDefaultPort;
    std::string bindAddress = "0.0.0.0";
    int startVariant = 4;  // VariantCode selected by the start-up load
    FaultSettings faults;
    uint32_t faultSeed = 1;
    std::optional<api::ApiAddress> apiAddress;  // the HTTP interface (nothing: none)
    std::string apiToken;
  };

  // `panelTexts` receives the listener thread's display texts (null: not shown).
  SimulatorHost(const StartupSettings& settings, PanelView& view, PanelTextSink* panelTexts,
                EndpointSwitch::FailureReport reportFailure, Network network);
  ~SimulatorHost() override;

  // LoadState; the timers start with it.
  void start();
  // FormClose: saves both state files; on failure the cycle timer stays off and the rest runs.
  Status close();

  DeviceState& state() { return state_; }
  Presenter& presenter() { return presenter_; }
  EndpointSwitch& endpointSwitch() { return switch_; }
  UdpEndpoint& endpoint() { return endpoint_; }
  int cycleInterval() const { return cycleInterval_; }
  FaultInjector& faults() { return faults_; }
  uint64_t datagramsHandled() const { return datagramsHandled_.load(); }
  bool cycleTimerActive() const { return tmr1_.isActive(); }
  // Watches the read handler; set while the endpoint is off.
  void setTrafficObserver(TrafficObserver* observer) { handler_.setObserver(observer); }

  // StateHost
  void setCycleInterval(int milliseconds) override;
  void moveLevelSliders() override { presenter_.moveLevelSliders(); }
  void ShowConfig() override { presenter_.ShowConfig(); }
  void setVersionTexts(const std::string& version, const std::string& date) override;
  void seedRandom() override { random_.reseed(SeededRandom::seedFromTimeOfDay()); }
  void selectStartVariant() override { presenter_.selectVariant(network_.startVariant); }
  void switchEndpointOn() override;
  void measurementTick() override { presenter_.Tmr3Timer(); }
  void setCycleTimerEnabled(bool enabled) override;

 private:
  const StartupSettings settings_;
  const Network network_;
  PanelView& view_;
  DeviceState state_;
  MonotonicTickSource ticks_;
  SeededRandom random_{SeededRandom::seedFromTimeOfDay()};
  std::unique_ptr<TrafficLog> log_;
  DatagramHandler handler_;
  Presenter presenter_;
  // Declared after everything its listener thread uses, so it is switched off first.
  UdpEndpoint endpoint_;
  FaultInjector faults_;
  std::atomic<uint64_t> datagramsHandled_{0};
  DelayedSender delayed_{endpoint_};  // destroyed before the endpoint it sends from
  EndpointSwitch switch_;
  QTimer tmr1_, tmr2_, tmr3_, tmr4_;
  int cycleInterval_ = 0;
};

}  // namespace vexa
