#pragma once

#include <optional>
#include <span>

#include "led_model.h"

namespace vexa {

// One control of the main window, in client coordinates.
struct ControlSpec {
  enum class Kind { Led, CheckBox, SpeedButton, Label, StaticText, ComboBox, Slider, Memo };
  enum class Align { Left, Center, Right };
  struct Font {
    bool mono;  // the fixed-pitch font, else Arial
    bool bold;
    int pixels;
  };

  const char* name;
  Kind kind;
  int x, y, width, height;
  const char* text;  // UTF-8
  Align align;
  bool sunken;
  std::optional<Rgb> background;
  Font font;
  bool enabled;
  int tag;  // variant of a speed button, level of a slider, bit of an input LED
};

namespace colors {
constexpr Rgb kPaleCyan{192, 255, 255};
constexpr Rgb kMoneyGreen{192, 220, 192};
}  // namespace colors

// Every control of the main window.
std::span<const ControlSpec> mainWindowLayout();

// The names of the controls that take the keyboard focus, in tab order.
std::span<const char* const> mainWindowTabOrder();

constexpr int kClientWidth = 650;
constexpr int kDetailHeight = 435;
constexpr int kCompactHeight = 150;

}  // namespace vexa
