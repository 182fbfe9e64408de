#include "pad_zeros.h"

namespace vexa {

std::string PadZeros(int32_t value, int width) {
  std::string s = std::to_string(value);
  if (s.size() >= static_cast<size_t>(width < 0 ? 0 : width)) return s;
  const size_t missing = static_cast<size_t>(width) - s.size();
  if (value <= 0) {
    s.insert(1, missing, '0');
  } else {
    s.insert(0, missing, '0');
  }
  return s;
}

}  // namespace vexa
