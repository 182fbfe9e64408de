#pragma once

#include <cstdint>

namespace vexa {

// Sets (on) or clears bit `bit` of `word` in place, leaving the other bits; returns the new word.
inline uint16_t SetBit(uint16_t& word, int bit, bool on) {
  const auto mask = static_cast<uint16_t>(1u << (bit & 15));
  word = static_cast<uint16_t>(word & ~mask);
  if (on) word = static_cast<uint16_t>(word | mask);
  return word;
}

inline bool BitIsSet(uint16_t value, int bit) {
  return (value & (1u << (bit & 15))) != 0;
}

}  // namespace vexa
