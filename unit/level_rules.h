#pragma once

#include <cstdint>

#include "rounding.h"

namespace vexa {

// The level sliders' rules, shared by the window's sliders and the unit's own record of them:
// ranges 0..600 (battery) and 0..100 (temperature, humidity); the temperature slider stands at
// R(Nv01 x 1.5) and writes back R(position / 1.5), halves to even.
inline int sliderMaximum(int level) {
  return level == 0 ? 600 : 100;
}

// A level's slider position before clamping to the slider's range.
inline int64_t sliderPositionOf(int level, int64_t nv) {
  return level == 1 ? roundHalfEvenTimes15(nv) : nv;
}

// The level a slider at `position` writes.
inline int16_t levelOfSliderPosition(int level, int position) {
  return static_cast<int16_t>(level == 1 ? roundHalfEvenOver15(position) : position);
}

// Clamps a position to the slider's range.
inline int clampSliderPosition(int level, int64_t position) {
  if (position < 0) return 0;
  if (position > sliderMaximum(level)) return sliderMaximum(level);
  return static_cast<int>(position);
}

}  // namespace vexa
