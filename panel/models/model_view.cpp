#include "model_view.h"

namespace vexa {

void configureLed(LedModel& led, std::string_view name) {
  led.setLedColorOn(0, colors::kLime);
  led.setLedIndex(0);
  led.setLedColorOff(name == "ldUDP" ? colors::kGrey : colors::kSilver);
  led.setEnabled(name != "Ld01" && name != "ldRst");
}

void configureLevelSlider(SliderModel& slider, int level) {
  slider.setOrientation(SliderModel::Orientation::soVertical);
  slider.setBevel(SliderModel::Bevel::Raised);
  slider.setSize(41, 103);
  slider.setRange(0, level == 0 ? 600 : 100);
  slider.setIncrement(level == 0 ? 5 : 2);
}

ModelView::ModelView() {
  for (const char* name :
       {"ldUDP", "ldRst", "Ld00", "Ld01", "Ld02", "Ld03", "Ld04", "Ld05", "Ld06", "Ld07"}) {
    configureLed(leds_[name], name);
  }
  for (int level = 0; level < 3; ++level) {
    configureLevelSlider(sliders_[level], level);
    sliders_[level].OnChange = [this, level](SliderModel& s) {
      if (onSliderChange) onSliderChange(level, s.Value());
    };
  }
}

void ModelView::setText(PanelText id, std::string_view text) {
  texts_[static_cast<size_t>(id)].assign(text);
}

LedModel* ModelView::findLed(std::string_view name) {
  const auto it = leds_.find(name);
  return it == leds_.end() ? nullptr : &it->second;
}

void ModelView::setEndpointChecked(bool checked) {
  if (checked == endpointChecked_) return;
  endpointChecked_ = checked;
  if (onEndpointClick) onEndpointClick();
}

}  // namespace vexa
