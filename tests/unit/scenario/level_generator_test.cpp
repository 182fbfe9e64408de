#include "level_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "counter_random.h"

namespace vexa {
namespace {

struct Sample {
  double t;
  double value;
};

void expectTable(LevelGenerator generator, const std::vector<Sample>& table) {
  LevelEvaluator evaluator(generator, 1, 0);
  for (const Sample& s : table) {
    EXPECT_NEAR(evaluator.valueAt(s.t), s.value, 1e-9) << generatorKind(generator) << " t=" << s.t;
  }
}

TEST(CounterRandom, SplitMixMatchesTheReferenceSequence) {
  // The first outputs of splitmix64 seeded with 0: the state advances by the golden gamma.
  EXPECT_EQ(splitMix64(0), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(splitMix64(0x9E3779B97F4A7C15ull), 0x6E789E6AA1B965F4ull);
}

TEST(CounterRandom, DrawsDependOnEveryInputAndStayInTheUnitInterval) {
  std::set<uint64_t> seen;
  double sum = 0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const double u = counterUniform(7, 3, static_cast<uint64_t>(i));
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    sum += u;
    seen.insert(counterHash(7, 3, static_cast<uint64_t>(i)));
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(n));
  EXPECT_NEAR(sum / n, 0.5, 0.01);
  EXPECT_NE(counterHash(1, 0, 0), counterHash(2, 0, 0));
  EXPECT_NE(counterHash(1, 0, 0), counterHash(1, 1, 0));
  EXPECT_NE(counterHash(1, 0, 0), counterHash(1, 0, 1));
  // The same inputs, the same draw, on every run: the value the hash gives today.
  EXPECT_EQ(counterHash(9, 4, 5), 0xB5A6E29E8DE60DEFull);
}

TEST(LevelGenerator, Constant) {
  expectTable(ConstantLevel{42}, {{0, 42}, {0.05, 42}, {1e6, 42}});
}

TEST(LevelGenerator, RampHoldsAfterItsEnd) {
  RampLevel r{.from = 250, .to = 210, .over = 100, .at = 10, .then = RampLevel::Then::kHold};
  expectTable(r, {{0, 250}, {10, 250}, {35, 240}, {60, 230}, {109, 210.4}, {110, 210}, {500, 210}});
}

TEST(LevelGenerator, RampRepeatsFromItsStart) {
  RampLevel r{.from = 0, .to = 100, .over = 100, .at = 0, .then = RampLevel::Then::kRepeat};
  expectTable(r, {{0, 0}, {50, 50}, {99, 99}, {100, 0}, {150, 50}, {250, 50}, {1000, 0}});
}

TEST(LevelGenerator, RampReverseRunsBackAndForth) {
  RampLevel r{.from = 10, .to = 60, .over = 50, .at = 20, .then = RampLevel::Then::kReverse};
  expectTable(r,
              {{0, 10}, {20, 10}, {45, 35}, {70, 60}, {95, 35}, {120, 10}, {145, 35}, {170, 60}});
}

TEST(LevelGenerator, Sine) {
  SineLevel s{.mean = 20, .amplitude = 10, .period = 100, .phaseDegrees = 0};
  expectTable(s, {{0, 20}, {25, 30}, {50, 20}, {75, 10}, {100, 20}, {125, 30}});
  s.phaseDegrees = 90;
  expectTable(s, {{0, 30}, {25, 20}, {50, 10}});
  s.phaseDegrees = -90;
  expectTable(s, {{0, 10}, {50, 30}});
  s.phaseDegrees = 30;
  expectTable(s, {{0, 25}});
}

TEST(LevelGenerator, StepsTakeEachValueFromItsTime) {
  StepsLevel s{{{10, 5}, {20, 7}, {30, 9}}};
  expectTable(s, {{0, 5}, {9.99, 5}, {10, 5}, {19.99, 5}, {20, 7}, {29.999, 7}, {30, 9}, {1e6, 9}});
}

// The walk's definition, step by step: move n adds (2 u(seed, stream, n) - 1) * step, clamped.
std::vector<double> walkByDefinition(const WalkLevel& w, uint64_t seed, uint64_t stream,
                                     int moves) {
  std::vector<double> values{w.start};
  for (int n = 0; n < moves; ++n) {
    const double u = counterUniform(seed, stream, static_cast<uint64_t>(n));
    values.push_back(std::clamp(values.back() + (2 * u - 1) * w.step, w.min, w.max));
  }
  return values;
}

TEST(LevelGenerator, WalkFollowsItsDefinitionAtEveryInterval) {
  const WalkLevel w{.start = 50, .step = 2, .interval = 0.5, .min = 40, .max = 60};
  const auto expected = walkByDefinition(w, 11, 2, 400);
  RandomWalk walk(w, 11, 2);
  for (int k = 0; k <= 400; ++k) {
    // Anywhere inside interval k the value is that after k moves.
    EXPECT_DOUBLE_EQ(walk.valueAt(k * 0.5), expected[k]) << k;
    EXPECT_DOUBLE_EQ(walk.valueAt(k * 0.5 + 0.49), expected[k]) << k;
  }
  for (size_t k = 1; k < expected.size(); ++k) {
    EXPECT_LE(std::abs(expected[k] - expected[k - 1]), 2.0);
    EXPECT_GE(expected[k], 40.0);
    EXPECT_LE(expected[k], 60.0);
  }
}

TEST(LevelGenerator, WalkIsTheSameWhateverTheOrderOfQuestions) {
  const WalkLevel w{.start = 30, .step = 5, .interval = 1, .min = 0, .max = 100};
  RandomWalk everyTenth(w, 3, 1), jumps(w, 3, 1), backwards(w, 3, 1);
  std::vector<double> a;
  for (int i = 0; i <= 3000; ++i) a.push_back(everyTenth.valueAt(i * 0.1));
  for (int i = 3000; i >= 0; i -= 7) EXPECT_DOUBLE_EQ(backwards.valueAt(i * 0.1), a[i]) << i;
  for (int i = 0; i <= 3000; i += 173) EXPECT_DOUBLE_EQ(jumps.valueAt(i * 0.1), a[i]) << i;
}

TEST(LevelGenerator, WalkDependsOnSeedAndStream) {
  const WalkLevel w{.start = 50, .step = 3, .interval = 1, .min = 0, .max = 100};
  RandomWalk a(w, 1, 0), b(w, 2, 0), c(w, 1, 1), a2(w, 1, 0);
  EXPECT_NE(a.valueAt(100), b.valueAt(100));
  EXPECT_NE(a.valueAt(100), c.valueAt(100));
  EXPECT_DOUBLE_EQ(a.valueAt(100), a2.valueAt(100));
}

TEST(LevelGenerator, WalkIsHeldAtItsBounds) {
  const WalkLevel w{.start = 50, .step = 10, .interval = 1, .min = 50, .max = 51};
  RandomWalk walk(w, 5, 0);
  std::set<double> extremes;
  for (int t = 0; t < 200; ++t) {
    const double v = walk.valueAt(t);
    ASSERT_GE(v, 50.0);
    ASSERT_LE(v, 51.0);
    if (v == 50.0 || v == 51.0) extremes.insert(v);
  }
  EXPECT_EQ(extremes.size(), 2u);  // both bounds reached
}

TEST(LevelGenerator, KindNames) {
  EXPECT_STREQ(generatorKind(ConstantLevel{}), "constant");
  EXPECT_STREQ(generatorKind(RampLevel{}), "ramp");
  EXPECT_STREQ(generatorKind(SineLevel{}), "sine");
  EXPECT_STREQ(generatorKind(WalkLevel{}), "walk");
  EXPECT_STREQ(generatorKind(StepsLevel{}), "steps");
}

}  // namespace
}  // namespace vexa
