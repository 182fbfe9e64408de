#pragma once

#include <cstdint>

namespace vexa {

// R(a / b): the nearest integer to the exact quotient, halves to the even neighbour. b > 0.
inline int64_t roundHalfEvenDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  int64_t r = a % b;
  if (r < 0) {  // floor division
    r += b;
    --q;
  }
  const int64_t twice = 2 * r;
  if (twice > b || (twice == b && (q % 2 != 0))) ++q;
  return q;
}

// R(x) for a level times 1.5: R(3 v / 2).
inline int64_t roundHalfEvenTimes15(int64_t v) {
  return roundHalfEvenDiv(3 * v, 2);
}

// R(v / 1.5): R(2 v / 3).
inline int64_t roundHalfEvenOver15(int64_t v) {
  return roundHalfEvenDiv(2 * v, 3);
}

}  // namespace vexa
