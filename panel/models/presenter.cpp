#include "presenter.h"

#include "bits.h"
#include "config_display.h"
#include "level_rules.h"
#include "number_format.h"
#include "pad_zeros.h"

namespace vexa {

Presenter::Presenter(Unit& unit, PanelView& view) : unit_(unit), view_(view) {}

void Presenter::ShowConfig() {
  const ConfigDisplay display =
      unit_.state().locked([](const DeviceData& d) { return configDisplayOf(d); });
  for (size_t i = 0; i < ConfigDisplay::kIds.size(); ++i) {
    view_.setText(ConfigDisplay::kIds[i], display.texts[i]);
  }
}

void Presenter::moveLevelSliders() {
  for (int level = 0; level < 3; ++level) {
    const int16_t nv = unit_.state().locked([&](const DeviceData& d) { return d.live.Nv(level); });
    view_.setSliderValue(level, static_cast<int>(sliderPositionOf(level, nv)));
  }
}

void Presenter::setVersionTexts(std::string_view version, std::string_view date) {
  view_.setText(PanelText::stVrs1, version);
  view_.setText(PanelText::stVrs2, date);
}

void Presenter::selectVariant(int tag) {
  view_.setVariantButtonDown(tag);
  unit_.setVariant(tag);
}

void Presenter::showInputLeds(uint16_t flags) {
  for (int i = 0; i < 8; ++i) {
    if (LedModel* led = view_.findLed("Ld" + PadZeros(i, 2))) led->setLedOn(BitIsSet(flags, i));
  }
}

void Presenter::Tmr1Timer() {
  showInputLeds(unit_.read().inputs);
}

void Presenter::showLevelSources(bool autoMode) {
  for (int level = 0; level < 3; ++level) {
    std::string source = unit_.levelSource(level);
    if (source == shownSources_[static_cast<size_t>(level)]) continue;
    view_.setSliderEnabled(level, source.empty() && !autoMode);
    view_.setSliderToolTip(level, source.empty() ? "" : "Set by the " + source);
    shownSources_[static_cast<size_t>(level)] = std::move(source);
  }
}

void Presenter::Tmr4Timer() {
  const Unit::Reading r = unit_.read();
  showLevelSources(r.autoMode);
  for (int level = 0; level < 3; ++level) {
    if (r.autoMode || !shownSources_[static_cast<size_t>(level)].empty()) {
      view_.setSliderValue(level, static_cast<int>(sliderPositionOf(level, r.nv[level])));
    }
  }
  const int item = view_.batteryItem();
  if (item >= 0 && item <= 2) view_.setText(PanelText::stNv00, batteryText(r.nv[0], item));
  view_.setText(PanelText::stNv01, std::to_string(r.nv[1]));
  view_.setText(PanelText::stNv02, std::to_string(r.nv[2]));
  showInputLeds(r.inputs);
  if (LedModel* led = view_.findLed("ldRst")) led->setLedOn(r.resetHeld);
}

void Presenter::LdClick(std::string_view ledName) {
  if (ledName.size() < 4) return;
  const int bit = (ledName[2] - '0') * 10 + (ledName[3] - '0');
  unit_.setInput(bit, Unit::InputAction::Toggle);
}

void Presenter::cbAutClick() {
  const bool on = view_.autoChecked();
  unit_.setAuto(on);
  for (int level = 0; level < 3; ++level) {
    view_.setSliderEnabled(level, !on && shownSources_[static_cast<size_t>(level)].empty());
  }
}

void Presenter::sliderChange(int level, int value) {
  unit_.sliderChange(level, value);
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
  unit_.setVariant(tag);
}

}  // namespace vexa
