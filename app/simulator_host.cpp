#include "simulator_host.h"

#include "endpoint_sender.h"

namespace vexa {

namespace {
// The replies of the datagram in hand, to its sender: at once, or through the delayed sender.
class EndpointReplyOut final : public ReplyOut {
 public:
  EndpointReplyOut(UdpEndpoint& endpoint, const Binding& binding, DelayedSender& delayed)
      : endpoint_(endpoint), binding_(binding), delayed_(delayed) {}
  bool sendNow(std::string_view bytes) override {
    return EndpointSender(endpoint_, binding_).Send(bytes);
  }
  bool sendLater(int delayMs, std::string bytes) override {
    return delayed_.schedule(delayMs, binding_, std::move(bytes));
  }

 private:
  UdpEndpoint& endpoint_;
  const Binding& binding_;
  DelayedSender& delayed_;
};

UnitSettings unitSettings(const StartupSettings& settings, const SimulatorHost::Network& network) {
  UnitSettings s;
  s.paths = settings.paths;
  s.LogEnabled = settings.LogEnabled;
  s.startVariant = network.startVariant;
  s.faults = network.faults;
  s.faultSeed = network.faultSeed;
  s.maxRepliesPerDatagram = network.maxRepliesPerDatagram;
  return s;
}
}  // namespace

// The unit's endpoint switch goes through the panel's check box, so the LED follows.
class SimulatorHost::EndpointPort final : public UnitEndpoint {
 public:
  EndpointPort(SimulatorHost& host) : host_(host) {}
  Status setActive(bool active) override {
    host_.view_.setEndpointChecked(active);
    host_.switch_.cbCT13Click();
    return host_.endpoint_.Active() == active
               ? Status::Ok()
               : Status::Error(EndpointSwitch::failureMessage(host_.endpoint_.DefaultPort()));
  }
  bool active() const override { return host_.endpoint_.Active(); }

 private:
  SimulatorHost& host_;
};

SimulatorHost::SimulatorHost(const StartupSettings& settings, PanelView& view,
                             PanelTextSink* panelTexts, EndpointSwitch::FailureReport reportFailure,
                             Network network)
    : network_(network),
      view_(view),
      unit_(unitSettings(settings, network), clock_, panelTexts),
      presenter_(unit_, view),
      endpoint_(network.port, network.bindAddress),
      switch_(endpoint_, view, std::move(reportFailure)),
      port_(std::make_unique<EndpointPort>(*this)) {
  unit_.setEndpoint(port_.get());
  endpoint_.setOnUDPRead([this](UdpEndpoint& endpoint, std::string_view data, const Binding& from) {
    EndpointReplyOut out(endpoint, from, delayed_);
    unit_.handleDatagram(data, out);
  });
  tmr4_.setInterval(100);
  connect(&tmr1_, &QTimer::timeout, this, [this] { presenter_.Tmr1Timer(); });
  connect(&tmr4_, &QTimer::timeout, this, [this] { presenter_.Tmr4Timer(); });
  // The runner sets levels at most every 100 ms and events at their own times, so a 100 ms
  // timer serves both at that pace; it stops once the scenario has stopped.
  scenarioTimer_.setInterval(100);
  connect(&scenarioTimer_, &QTimer::timeout, this, [this] {
    UnitScenario& scenario = unit_.scenario();
    scenario.advanceTo(UnitScenario::Clock::now());
    if (!scenario.running()) scenarioTimer_.stop();
  });
}

SimulatorHost::~SimulatorHost() {
  endpoint_.setActive(false);
}

void SimulatorHost::start() {
  tmr4_.start();
  unit_.load();
  // The panel's part of the start-up load, in its order.
  presenter_.moveLevelSliders();
  presenter_.ShowConfig();
  presenter_.setVersionTexts("1.50", unit_.versionDateText());
  presenter_.selectVariant(network_.startVariant);
  view_.setEndpointChecked(true);
  switch_.cbCT13Click();
  if (network_.scenario) {
    unit_.scenario().start(network_.scenario, network_.scenarioFile, network_.scenarioRun,
                           UnitScenario::Clock::now());
    scenarioTimer_.start();
    presenter_.Tmr4Timer();
  } else {
    unit_.scenario().setOptions(network_.scenarioRun);
  }
  // A "Ciclo" of 0 or less leaves the cycle timer idle for the whole run.
  if (unit_.cycleIntervalMs() > 0) {
    tmr1_.setInterval(unit_.cycleIntervalMs());
    tmr1_.start();
  }
}

void SimulatorHost::endpointClicked() {
  const bool was = endpoint_.Active();
  switch_.cbCT13Click();
  if (endpoint_.Active() != was) unit_.endpointSwitched(endpoint_.Active());
}

Status SimulatorHost::close() {
  tmr1_.stop();
  return unit_.save();
}

void SimulatorHost::scenarioChanged() {
  if (unit_.scenario().running() && !scenarioTimer_.isActive()) scenarioTimer_.start();
}

}  // namespace vexa
