#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>

#include "led_model.h"
#include "panel_view.h"
#include "slider_model.h"

namespace vexa {

// A PanelView made of the control models alone, with no widgets: the headless program's panel
// and the presenter tests' view. Holds the ten LEDs and three sliders as the window lays them
// out, and the last text of every display.
class ModelView : public PanelView {
 public:
  ModelView();

  void setText(PanelText id, std::string_view text) override;
  LedModel* findLed(std::string_view name) override;
  void setSliderValue(int level, int value) override { sliders_[level].setValue(value); }
  void setSliderEnabled(int level, bool enabled) override { sliders_[level].setEnabled(enabled); }
  int batteryItem() const override { return batteryItem_; }
  bool autoChecked() const override { return autoChecked_; }
  void setVariantButtonDown(int tag) override { variantDown_ = tag; }
  bool endpointChecked() const override { return endpointChecked_; }
  void setEndpointChecked(bool checked) override;

  const std::string& text(PanelText id) const { return texts_[static_cast<size_t>(id)]; }
  SliderModel& slider(int level) { return sliders_[level]; }
  int variantDown() const { return variantDown_; }
  void setBatteryItem(int item) { batteryItem_ = item; }
  void setAutoChecked(bool checked) { autoChecked_ = checked; }

  // Raised by a slider's OnChange, and by a change of the endpoint check box.
  std::function<void(int level, int value)> onSliderChange;
  std::function<void()> onEndpointClick;

 private:
  std::array<std::string, kPanelTextCount> texts_;
  std::map<std::string, LedModel, std::less<>> leds_;
  std::array<SliderModel, 3> sliders_;
  int batteryItem_ = 0;
  bool autoChecked_ = false;
  int variantDown_ = 4;
  bool endpointChecked_ = true;
};

// Applies the window's settings to the models: LED colours and enabled states, slider ranges
// and increments. Shared by the Qt window and the model view.
void configureLed(LedModel& led, std::string_view name);
void configureLevelSlider(SliderModel& slider, int level);

}  // namespace vexa
