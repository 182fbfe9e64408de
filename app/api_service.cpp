#include "api_service.h"

#include "level_rules.h"
#include "pad_zeros.h"

namespace vexa {

namespace {
// The API's changes through the window's controls, so the widgets show them as they happen.
class WindowControls final : public api::UnitControls {
 public:
  WindowControls(SimulatorHost& host, PanelView& view, ApiService::Widgets widgets)
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
  ApiService::Widgets widgets_;
};

std::vector<std::unique_ptr<api::UnitControls>> controlsOf(SimulatorHost& host, PanelView& view,
                                                           ApiService::Widgets widgets) {
  std::vector<std::unique_ptr<api::UnitControls>> controls;
  controls.push_back(std::make_unique<WindowControls>(host, view, std::move(widgets)));
  return controls;
}
}  // namespace

ApiService::ApiService(SimulatorHost& host, PanelView& view, Widgets widgets, ApiOptions options)
    : host_(host),
      api_(controlsOf(host, view, std::move(widgets)), serverOptions(std::move(options))),
      wake_(api_.owner().fd(), QSocketNotifier::Read) {
  QObject::connect(&wake_, &QSocketNotifier::activated, [this] { api_.owner().drain(); });
}

ApiService::~ApiService() {
  api_.stop();
  host_.endpoint().setActive(false);  // its listener thread calls the observer
}

std::unique_ptr<ApiService> makeApiService(ApiOptions options, SimulatorHost& host, PanelView& view,
                                           ApiService::Widgets widgets) {
  if (!options.address) return nullptr;
  return std::make_unique<ApiService>(host, view, std::move(widgets), std::move(options));
}

}  // namespace vexa
