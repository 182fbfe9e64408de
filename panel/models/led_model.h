#pragma once

#include <cstdint>
#include <functional>

namespace vexa {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

namespace colors {
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kLime{0, 255, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kSilver{192, 192, 192};
}  // namespace colors

// The LED indicator's state and colour rule. The shown colour is derived from the properties:
// off colour while not lit, else the lit colour that LedIndex selects (an index outside 0..3
// keeps the colour shown before). `onRepaint` runs only when the shown colour changes.
class LedModel {
 public:
  bool LedOn() const { return ledOn_; }
  int32_t LedIndex() const { return ledIndex_; }
  Rgb LedColorOff() const { return off_; }
  Rgb LedColorOn(int index) const { return on_[index & 3]; }
  Rgb shownColor() const { return shown_; }
  bool enabled() const { return enabled_; }

  void setLedOn(bool on) { apply(ledOn_, on); }
  void setLedIndex(int32_t index) { apply(ledIndex_, index); }
  void setLedColorOff(Rgb c) { apply(off_, c); }
  void setLedColorOn(int index, Rgb c) { apply(on_[index & 3], c); }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  // A primary-button click: raises OnClick when enabled. The LED's state is the handler's.
  void click();

  std::function<void()> onRepaint;
  std::function<void(LedModel&)> OnClick;

 private:
  template <class T>
  void apply(T& field, const T& value) {
    field = value;
    recompute();
  }
  void recompute();

  bool ledOn_ = false;
  int32_t ledIndex_ = 0;
  Rgb off_ = colors::kGrey;
  Rgb on_[4] = {colors::kLime, colors::kYellow, colors::kRed, colors::kSilver};
  Rgb shown_ = colors::kGrey;
  bool enabled_ = true;
};

}  // namespace vexa
