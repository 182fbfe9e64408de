#pragma once

#include <string_view>

#include "led_model.h"
#include "panel_texts.h"

namespace vexa {

// What the presenter needs of the operator window. The Qt window implements it; so does the
// headless program, with models and no widgets. GUI thread only.
class PanelView {
 public:
  virtual ~PanelView() = default;
  virtual void setText(PanelText id, std::string_view text) = 0;
  // The LED of that object name ("Ld00".."Ld07", "ldRst", "ldUDP"), or null.
  virtual LedModel* findLed(std::string_view name) = 0;
  // Level slider 0, 1 or 2 (slNv00..slNv02). Setting a value runs its change handler.
  virtual void setSliderValue(int level, int value) = 0;
  virtual void setSliderEnabled(int level, bool enabled) = 0;
  // The slider's tooltip (empty: none); a view without tooltips ignores it.
  virtual void setSliderToolTip(int /*level*/, std::string_view /*text*/) {}
  // The selected battery item of cbBat: 0, 1, 2, or -1 when none is selected.
  virtual int batteryItem() const = 0;
  virtual bool autoChecked() const = 0;
  // Sets the variant button with this tag (2, 3, 4) down, the others up.
  virtual void setVariantButtonDown(int tag) = 0;
  // The endpoint switch cbCT13.
  virtual bool endpointChecked() const = 0;
  virtual void setEndpointChecked(bool checked) = 0;
};

}  // namespace vexa
