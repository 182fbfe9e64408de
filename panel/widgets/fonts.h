#pragma once

#include <QColor>
#include <QFont>

#include "led_model.h"

namespace vexa {

// The panel's fonts at a pixel height: Arial is served by Liberation Sans, the fixed-pitch
// font by Liberation Mono.
QFont arialFont(int pixels, bool bold);
QFont monoFont(int pixels, bool bold);

inline QColor toQColor(Rgb c) {
  return QColor(c.r, c.g, c.b);
}

}  // namespace vexa
