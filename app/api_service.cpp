#include "api_service.h"

#include <iostream>

#include "level_rules.h"
#include "pad_zeros.h"

namespace vexa {

// The API's changes through the window's controls, so the widgets show them as they happen.
class ApiService::WindowControls final : public api::UnitControls {
 public:
  WindowControls(SimulatorHost& host, PanelView& view, Widgets widgets)
      : UnitControls(host.unit(), host.endpoint().DefaultPort()),
        host_(host),
        view_(view),
        widgets_(std::move(widgets)) {}

  void setInput(int bit, Unit::InputAction action) override {
    const bool set = (unit().read().inputs >> bit & 1) != 0;
    const bool click =
        action == Unit::InputAction::Toggle || set != (action == Unit::InputAction::On);
    if (click) host_.presenter().LdClick("Ld" + PadZeros(bit, 2));
  }
  void setLevel(int level, int value) override {
    // The slider moves and its change handler writes the level, as a slider moved by hand.
    view_.setSliderValue(level, clampSliderPosition(level, sliderPositionOf(level, value)));
    unit().enterLevel(level, value);
  }
  void setAuto(bool on) override {
    if (view_.autoChecked() != on) widgets_.setAuto(on);
  }
  void setVariant(int code) override { host_.presenter().selectVariant(code); }
  void setBattery(int item) override {
    widgets_.setBattery(item);
    unit().setBattery(item);
  }
  int batteryItem() override { return view_.batteryItem(); }
  void scenarioChanged() override { host_.scenarioChanged(); }
  void resetToDefaults() override {
    unit().resetToDefaults();
    setAuto(false);
    host_.presenter().moveLevelSliders();
    host_.presenter().ShowConfig();
    host_.presenter().selectVariant(4);
    widgets_.setBattery(0);
  }

 private:
  SimulatorHost& host_;
  PanelView& view_;
  Widgets widgets_;
};

ApiService::ApiService(SimulatorHost& host, PanelView& view, Widgets widgets, ApiOptions options)
    : host_(host),
      bridge_(hub_, 1),
      controls_(std::make_unique<WindowControls>(host, view, std::move(widgets))),
      registry_({controls_.get()}, owner_, bridge_),
      wake_(owner_.fd(), QSocketNotifier::Read),
      host_address_(options.address->host),
      server_(registry_, hub_,
              api::ApiServer::Options{*options.address, std::move(options.token), VEXA_VERSION}) {
  host_.unit().setObserver(&bridge_);
  QObject::connect(&wake_, &QSocketNotifier::activated, [this] { owner_.drain(); });
}

ApiService::~ApiService() {
  owner_.close();  // releases requests waiting for this thread
  server_.stop();
  host_.endpoint().setActive(false);  // its listener thread calls the observer
  host_.unit().setObserver(nullptr);
}

Status ApiService::start() {
  return server_.start();
}

std::string ApiService::url() const {
  return "http://" + host_address_ + ":" + std::to_string(server_.port()) + "/";
}

std::unique_ptr<ApiService> makeApiService(ApiOptions options, SimulatorHost& host, PanelView& view,
                                           ApiService::Widgets widgets) {
  if (!options.address) return nullptr;
  return std::make_unique<ApiService>(host, view, std::move(widgets), std::move(options));
}

bool startApiService(ApiService& service) {
  const Status started = service.start();
  if (!started.ok()) {
    std::cerr << "vexa-sim: API: " << started.text() << std::endl;
    return false;
  }
  std::cerr << "vexa-sim: API on " << service.url() << std::endl;
  return true;
}

}  // namespace vexa
