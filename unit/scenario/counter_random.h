#pragma once

#include <cstdint>

namespace vexa {

// One splitmix64 step: a bijective scramble of 64 bits.
inline uint64_t splitMix64(uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Random numbers that are a pure function of (seed, stream, index): the n-th draw of a generator
// does not depend on how many draws were made before it, nor by whom, so a scenario repeats
// exactly whatever the load or the order of evaluation.
inline uint64_t counterHash(uint64_t seed, uint64_t stream, uint64_t index) {
  return splitMix64(splitMix64(splitMix64(seed) ^ stream) ^ index);
}

// A uniform number in [0, 1) with 53 random bits.
inline double counterUniform(uint64_t seed, uint64_t stream, uint64_t index) {
  return static_cast<double>(counterHash(seed, stream, index) >> 11) * 0x1.0p-53;
}

}  // namespace vexa
