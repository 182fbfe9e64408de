#pragma once

#include <string>
#include <string_view>

#include "clock.h"
#include "device_state.h"
#include "panel_view.h"

namespace vexa {

// Binds the operator panel to the device state: what each display shows and when, and what
// each control does. Works on an abstract view, so it runs without a window system. Every
// method runs on the GUI thread; the device state is reached through its lock.
class Presenter {
 public:
  Presenter(DeviceState& state, PanelView& view, RandomSource& random);

  // The seven configuration displays from the current state.
  void ShowConfig();

  // Start-up fill: sliders to the levels (their change handlers clamp the levels), version
  // texts, variant 150.
  void moveLevelSliders();
  void setVersionTexts(std::string_view version, std::string_view date);
  // Sets the variant button with this tag down and VariantCode to it (4 at start-up).
  void selectVariant(int tag);

  void Tmr1Timer();  // input LEDs
  void Tmr2Timer();  // reset tick and ldRst
  void Tmr3Timer();  // measurement tick
  void Tmr4Timer();  // flags step, then sliders in auto mode, level displays, input LEDs

  // Operator controls.
  void LdClick(std::string_view ledName);
  void cbAutClick();
  void slNv00Change(int value);
  void slNv01Change(int value);
  void slNv02Change(int value);
  void sliderChange(int level, int value);
  void sbCodClick(int tag);

 private:
  void showInputLeds(uint16_t flags);

  DeviceState& state_;
  PanelView& view_;
  RandomSource& random_;
};

}  // namespace vexa
