#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "level_generator.h"
#include "timed_event.h"

namespace vexa {

// The three levels as a scenario names them, with the values the slider operation can give
// each: battery (raw value) 0..600, temperature 0..67 (its slider's 0..100 over the 1.5
// factor), humidity 0..100.
struct LevelInfo {
  const char* name;
  int min;
  int max;
};
inline constexpr int kLevelCount = 3;
inline constexpr std::array<LevelInfo, kLevelCount> kLevelInfo = {
    LevelInfo{"bat", 0, 600}, LevelInfo{"temp", 0, 67}, LevelInfo{"umid", 0, 100}};

// Scenario seconds per real second: a file's "time_factor" or `--time-factor`.
inline constexpr double kMinTimeFactor = 0.01;
inline constexpr double kMaxTimeFactor = 1000;
inline bool validTimeFactor(double factor) {
  return factor >= kMinTimeFactor && factor <= kMaxTimeFactor;
}

// A loaded scenario file: what drives each level and the timed events, in file order (the
// "inputs" list, then the "unit" list). Immutable once loaded; many runners share one.
struct Scenario {
  std::string name;
  uint64_t seed = 1;
  double timeFactor = 1;
  std::array<std::optional<LevelGenerator>, kLevelCount> levels;
  std::vector<TimedEvent> events;
};

// The random streams: one per level, one per event, so each draws independently of the others.
inline uint64_t levelStream(int level) {
  return static_cast<uint64_t>(level);
}
inline uint64_t eventStream(size_t index) {
  return 16 + index;
}

}  // namespace vexa
