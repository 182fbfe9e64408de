#include "presenter.h"

#include "bits.h"
#include "config_display.h"
#include "live_ticks.h"
#include "number_format.h"
#include "pad_zeros.h"
#include "rounding.h"

namespace vexa {

namespace {
constexpr PanelText kLevelDisplays[3] = {PanelText::stNv00, PanelText::stNv01, PanelText::stNv02};
}

Presenter::Presenter(DeviceState& state, PanelView& view, RandomSource& random)
    : state_(state), view_(view), random_(random) {}

void Presenter::ShowConfig() {
  const ConfigDisplay display =
      state_.locked([](const DeviceData& d) { return configDisplayOf(d); });
  for (size_t i = 0; i < ConfigDisplay::kIds.size(); ++i) {
    view_.setText(ConfigDisplay::kIds[i], display.texts[i]);
  }
}

// Slider positions of the three levels: level 1 is shown as R(Nv01 x 1.5).
static int sliderPositionOf(int level, int16_t nv) {
  return level == 1 ? static_cast<int>(roundHalfEvenTimes15(nv)) : nv;
}

void Presenter::moveLevelSliders() {
  for (int level = 0; level < 3; ++level) {
    const int16_t nv = state_.locked([&](const DeviceData& d) { return d.live.Nv(level); });
    view_.setSliderValue(level, sliderPositionOf(level, nv));
  }
}

void Presenter::setVersionTexts(std::string_view version, std::string_view date) {
  view_.setText(PanelText::stVrs1, version);
  view_.setText(PanelText::stVrs2, date);
}

void Presenter::selectVariant(int tag) {
  view_.setVariantButtonDown(tag);
  state_.locked([tag](DeviceData& d) { d.VariantCode = tag; });
}

void Presenter::showInputLeds(uint16_t flags) {
  for (int i = 0; i < 8; ++i) {
    if (LedModel* led = view_.findLed("Ld" + PadZeros(i, 2))) led->setLedOn(BitIsSet(flags, i));
  }
}

void Presenter::Tmr1Timer() {
  showInputLeds(state_.locked([](const DeviceData& d) { return d.live.InputFlags(); }));
}

void Presenter::Tmr2Timer() {
  const bool held = resetTick(state_);
  if (LedModel* led = view_.findLed("ldRst")) led->setLedOn(held);
}

void Presenter::Tmr3Timer() {
  measurementTick(state_, random_);
}

void Presenter::Tmr4Timer() {
  flagsStep(state_);
  struct Reading {
    bool autoMode;
    int16_t nv[3];
    uint16_t flags;
  };
  const Reading r = state_.locked([](const DeviceData& d) {
    return Reading{d.AutoMode, {d.live.Nv(0), d.live.Nv(1), d.live.Nv(2)}, d.live.InputFlags()};
  });
  if (r.autoMode) {
    for (int level = 0; level < 3; ++level) {
      view_.setSliderValue(level, sliderPositionOf(level, r.nv[level]));
    }
  }
  const int item = view_.batteryItem();
  if (item >= 0 && item <= 2) view_.setText(PanelText::stNv00, batteryText(r.nv[0], item));
  view_.setText(kLevelDisplays[1], std::to_string(r.nv[1]));
  view_.setText(kLevelDisplays[2], std::to_string(r.nv[2]));
  showInputLeds(r.flags);
}

void Presenter::LdClick(std::string_view ledName) {
  if (ledName.size() < 4) return;
  const int bit = (ledName[2] - '0') * 10 + (ledName[3] - '0');
  if (bit < 0 || bit > 15) return;
  state_.locked([&](DeviceData& d) {
    uint16_t flags = d.live.InputFlags();
    SetBit(flags, bit, !BitIsSet(flags, bit));
    d.live.setInputFlags(flags);
  });
}

void Presenter::cbAutClick() {
  const bool on = view_.autoChecked();
  state_.locked([&](DeviceData& d) { d.AutoMode = on; });
  for (int level = 0; level < 3; ++level) view_.setSliderEnabled(level, !on);
}

void Presenter::sliderChange(int level, int value) {
  state_.locked([&](DeviceData& d) {
    if (d.AutoMode) return;
    const int64_t nv = level == 1 ? roundHalfEvenOver15(value) : value;
    d.live.setNv(level, static_cast<int16_t>(nv));
  });
}

void Presenter::slNv00Change(int value) {
  sliderChange(0, value);
}
void Presenter::slNv01Change(int value) {
  sliderChange(1, value);
}
void Presenter::slNv02Change(int value) {
  sliderChange(2, value);
}

void Presenter::sbCodClick(int tag) {
  state_.locked([&](DeviceData& d) { d.VariantCode = tag; });
}

}  // namespace vexa
