#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "random_walk.h"

namespace vexa {

// The value of one level as a function of scenario time t (seconds from the scenario's start).
// Every kind but the walk is a pure function of t.

// The same value throughout.
struct ConstantLevel {
  double value = 0;
};

// From `from` at time `at` (and before) to `to` at `at + over`, a straight line; afterwards it
// holds `to`, starts again from `from` (repeat), or runs back and forth (reverse).
struct RampLevel {
  enum class Then { kHold, kRepeat, kReverse };
  double from = 0;
  double to = 0;
  double over = 1;
  double at = 0;
  Then then = Then::kHold;
};

// mean + amplitude * sin(2 pi t / period + phase), phase in degrees.
struct SineLevel {
  double mean = 0;
  double amplitude = 0;
  double period = 1;
  double phaseDegrees = 0;
};

// Piecewise constant: each step's value from its time on; before the first step, the first
// value. Times strictly increase.
struct StepsLevel {
  struct Step {
    double at;
    double value;
  };
  std::vector<Step> steps;
};

using LevelGenerator = std::variant<ConstantLevel, RampLevel, SineLevel, WalkLevel, StepsLevel>;

// "constant", "ramp", "sine", "walk" or "steps": the name of the kind in a scenario file.
const char* generatorKind(const LevelGenerator& generator);

double rampValue(const RampLevel& ramp, double t);
double sineValue(const SineLevel& sine, double t);
double stepsValue(const StepsLevel& steps, double t);

// Evaluates one generator for one runner; the walk draws from (seed, stream, move). Not
// thread-safe: one owner.
class LevelEvaluator {
 public:
  LevelEvaluator(const LevelGenerator& generator, uint64_t seed, uint64_t stream);
  double valueAt(double t);

 private:
  const LevelGenerator* generator_;
  std::variant<std::monostate, RandomWalk> walk_;
};

}  // namespace vexa
