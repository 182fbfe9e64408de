#include "simulator_host.h"

#include "endpoint_sender.h"

namespace vexa {

namespace {
// Sends the read handler's replies to the sender of the datagram being handled, through the
// fault injection when it is on: a reply may be corrupted, or handed to the delayed sender.
class EndpointReplySender final : public ReplySender {
 public:
  EndpointReplySender(UdpEndpoint& endpoint, const Binding& binding, FaultInjector* faults,
                      DelayedSender& delayed)
      : endpoint_(endpoint), binding_(binding), faults_(faults), delayed_(delayed) {}
  bool Send(std::string_view bytes) override {
    if (!faults_) return EndpointSender(endpoint_, binding_).Send(bytes);
    std::string reply(bytes);
    faults_->corruptReply(reply);
    if (const int delay = faults_->replyDelayMs(); delay > 0) {
      delayed_.schedule(delay, binding_, std::move(reply));
      return true;
    }
    return EndpointSender(endpoint_, binding_).Send(reply);
  }

 private:
  UdpEndpoint& endpoint_;
  const Binding& binding_;
  FaultInjector* faults_;  // null when no fault is on
  DelayedSender& delayed_;
};

TrafficLog* makeLog(const StartupSettings& settings, std::unique_ptr<TrafficLog>& holder) {
  if (settings.LogEnabled) holder = std::make_unique<TrafficLog>(settings.paths.LogDir);
  return holder.get();
}
}  // namespace

SimulatorHost::SimulatorHost(const StartupSettings& settings, PanelView& view,
                             PanelTextSink* panelTexts, EndpointSwitch::FailureReport reportFailure,
                             Network network)
    : settings_(settings),
      network_(network),
      view_(view),
      handler_(state_, ticks_, panelTexts, makeLog(settings_, log_)),
      presenter_(state_, view, random_),
      endpoint_(network.port, network.bindAddress),
      faults_(network.faultSeed),
      switch_(endpoint_, view, std::move(reportFailure)) {
  faults_.configure(network.faults);
  handler_.setMaxRepliesPerDatagram(network.maxRepliesPerDatagram);
  endpoint_.setOnUDPRead([this](UdpEndpoint& endpoint, std::string_view data, const Binding& from) {
    const bool faulty = faults_.settings().any();
    if (faulty && faults_.dropRequest()) return;
    EndpointReplySender sender(endpoint, from, faulty ? &faults_ : nullptr, delayed_);
    handler_.UDPUDPRead(data, sender);
    ++datagramsHandled_;
  });
  tmr2_.setTimerType(Qt::PreciseTimer);
  tmr2_.setInterval(10);
  tmr3_.setInterval(2000);
  tmr4_.setInterval(100);
  connect(&tmr1_, &QTimer::timeout, this, [this] { presenter_.Tmr1Timer(); });
  connect(&tmr2_, &QTimer::timeout, this, [this] { presenter_.Tmr2Timer(); });
  connect(&tmr3_, &QTimer::timeout, this, [this] { presenter_.Tmr3Timer(); });
  connect(&tmr4_, &QTimer::timeout, this, [this] { presenter_.Tmr4Timer(); });
}

SimulatorHost::~SimulatorHost() = default;

void SimulatorHost::start() {
  // The timers run from window creation; their first ticks come from the event loop, after
  // the start-up load, unless a modal message during the load lets them in earlier.
  tmr2_.start();
  tmr3_.start();
  tmr4_.start();
  unread_ = LoadState(state_, settings_.paths, *this);
}

Status SimulatorHost::close() {
  return FormClose(state_, settings_.paths, *this, posixFileSystem(), unread_);
}

std::string SimulatorHost::keptFilesNotice() const {
  return vexa::keptFilesNotice(settings_.paths, unread_);
}

void SimulatorHost::setCycleInterval(int milliseconds) {
  cycleInterval_ = milliseconds;
  if (milliseconds > 0) tmr1_.setInterval(milliseconds);
}

void SimulatorHost::setVersionTexts(const std::string& version, const std::string& date) {
  presenter_.setVersionTexts(version, date);
}

void SimulatorHost::switchEndpointOn() {
  view_.setEndpointChecked(true);
  switch_.cbCT13Click();
}

void SimulatorHost::setCycleTimerEnabled(bool enabled) {
  // A "Ciclo" of 0 or less leaves the cycle timer idle for the whole run.
  if (enabled && cycleInterval_ > 0) {
    tmr1_.start();
  } else {
    tmr1_.stop();
  }
}

}  // namespace vexa
