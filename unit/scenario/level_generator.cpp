#include "level_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vexa {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// Clang 14 (the fuzzing build) does not deduce an aggregate's arguments by itself.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

const char* generatorKind(const LevelGenerator& generator) {
  static constexpr const char* kNames[] = {"constant", "ramp", "sine", "walk", "steps"};
  return kNames[generator.index()];
}

double rampValue(const RampLevel& ramp, double t) {
  const double cycles = (t - ramp.at) / ramp.over;
  if (cycles <= 0) return ramp.from;
  double fraction = 0;
  switch (ramp.then) {
    case RampLevel::Then::kHold:
      fraction = std::min(cycles, 1.0);
      break;
    case RampLevel::Then::kRepeat:
      fraction = cycles - std::floor(cycles);
      break;
    case RampLevel::Then::kReverse: {
      const double whole = std::floor(cycles);
      fraction = cycles - whole;
      if (std::fmod(whole, 2.0) != 0) fraction = 1 - fraction;
      break;
    }
  }
  return ramp.from + (ramp.to - ramp.from) * fraction;
}

double sineValue(const SineLevel& sine, double t) {
  const double angle = 2 * std::numbers::pi * (t / sine.period + sine.phaseDegrees / 360);
  return sine.mean + sine.amplitude * std::sin(angle);
}

double stepsValue(const StepsLevel& steps, double t) {
  // The last step whose time has come; the first one before any has.
  auto after = std::upper_bound(steps.steps.begin(), steps.steps.end(), t,
                                [](double time, const StepsLevel::Step& s) { return time < s.at; });
  if (after == steps.steps.begin()) return steps.steps.front().value;
  return std::prev(after)->value;
}

LevelEvaluator::LevelEvaluator(const LevelGenerator& generator, uint64_t seed, uint64_t stream)
    : generator_(&generator) {
  if (const auto* walk = std::get_if<WalkLevel>(&generator))
    walk_.emplace<RandomWalk>(*walk, seed, stream);
}

double LevelEvaluator::valueAt(double t) {
  return std::visit(
      Overloaded{
          [](const ConstantLevel& c) { return c.value; },
          [t](const RampLevel& r) { return rampValue(r, t); },
          [t](const SineLevel& s) { return sineValue(s, t); },
          [this, t](const WalkLevel&) { return std::get<RandomWalk>(walk_).valueAt(t); },
          [t](const StepsLevel& s) { return stepsValue(s, t); },
      },
      *generator_);
}

}  // namespace vexa
