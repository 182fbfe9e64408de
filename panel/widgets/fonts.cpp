#include "fonts.h"

namespace vexa {

namespace {
QFont font(const char* family, int pixels, bool bold) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}
}  // namespace

QFont arialFont(int pixels, bool bold) {
  return font("Liberation Sans", pixels, bold);
}
QFont monoFont(int pixels, bool bold) {
  return font("Liberation Mono", pixels, bold);
}

}  // namespace vexa
