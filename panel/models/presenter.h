#pragma once

#include <array>
#include <string>
#include <string_view>

#include "panel_view.h"
#include "unit.h"

namespace vexa {

// Binds the operator panel to one unit: what each display shows and when, and which of the
// unit's operations each control runs. The rules themselves (clamping, the temperature
// factor, auto mode, the ticks) live in the unit; this is the view's side. Works on an
// abstract view, so it runs without a window system. GUI thread only.
class Presenter {
 public:
  Presenter(Unit& unit, PanelView& view);

  // The seven configuration displays from the current state.
  void ShowConfig();

  // Start-up fill: sliders to the levels (their change handlers write the clamped levels
  // back), version texts, the variant button.
  void moveLevelSliders();
  void setVersionTexts(std::string_view version, std::string_view date);
  // Sets the variant button with this tag down and VariantCode to it (4 at start-up).
  void selectVariant(int tag);

  void Tmr1Timer();  // input LEDs
  // The display refresh (every 100 ms): sliders in auto mode, level displays, input LEDs and
  // the reset LED, all as of now; a slider whose level a scenario drives follows it, disabled,
  // with a tooltip naming the source, until the scenario hands the level back.
  void Tmr4Timer();

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
  void showLevelSources(bool autoMode);

  Unit& unit_;
  PanelView& view_;
  std::array<std::string, 3> shownSources_;  // the sources the sliders show
};

}  // namespace vexa
