#include "scenario_runner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>

#include "fake_target.h"
#include "scenario_loader.h"

namespace vexa {
namespace {

using Clock = ScenarioRunner::Clock;
using testing::FakeTarget;

const Clock::time_point kStart = Clock::time_point{} + std::chrono::hours(1);

Clock::time_point at(double seconds) {
  return kStart +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::shared_ptr<const Scenario> load(const std::string& json) {
  ScenarioLoad load = parseScenario(json);
  EXPECT_TRUE(load.ok()) << load.error;
  return load.scenario;
}

// Advances as an event loop would: to each deadline in turn, until `endSeconds` of real time.
void runToDeadlines(ScenarioRunner& runner, FakeTarget& target, double endSeconds) {
  target.now = 0;  // the calls start() makes (the tests that use this start at offset 0)
  runner.start(kStart);
  for (auto d = runner.nextDeadline(); d <= at(endSeconds); d = runner.nextDeadline()) {
    target.now = runner.scenarioTime(d);
    runner.advanceTo(d);
  }
}

std::vector<std::string> withoutLevels(const std::vector<FakeTarget::Call>& calls) {
  std::vector<std::string> out;
  for (const auto& c : calls) {
    if (c.what.rfind("level ", 0) != 0) out.push_back(c.what);
  }
  return out;
}

TEST(ScenarioRunner, LevelsAreSetAtStartAndThenAtMostEvery100ms) {
  auto scenario =
      load(R"({"levels": {"bat": {"kind": "ramp", "from": 0, "to": 600, "over": 60}}})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  EXPECT_EQ(target.levels[0], 0);
  EXPECT_EQ(runner.nextDeadline(), at(0.1));
  // (real seconds of the call, battery value after it): 10 units per second, rounded.
  const struct {
    double t;
    int value;
  } table[] = {{0.05, 0}, {0.1, 1},   {0.15, 1}, {0.23, 2},    {0.3, 2},     {0.34, 3}, {0.449, 4},
               {0.5, 4},  {0.549, 5}, {10, 100}, {10.05, 100}, {59.99, 600}, {60, 600}, {600, 600}};
  for (const auto& row : table) {
    runner.advanceTo(at(row.t));
    EXPECT_EQ(target.levels[0], row.value) << row.t;
  }
}

TEST(ScenarioRunner, OnlyChangedValuesAreSet) {
  auto scenario =
      load(R"({"levels": {"umid": {"kind": "ramp", "from": 50, "to": 52, "over": 100}}})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runToDeadlines(runner, target, 200);
  // 50, 51, 52: three values, however many evaluations.
  EXPECT_EQ(target.levelSets, 3);
  EXPECT_EQ(target.levels[2], 52);
}

TEST(ScenarioRunner, ConstantLevelsAreSetOnceAndNeedNoDeadline) {
  auto scenario = load(R"({"levels": {"temp": {"kind": "constant", "value": 33}}})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  EXPECT_EQ(target.levels[1], 33);
  EXPECT_EQ(runner.nextDeadline(), Clock::time_point::max());
}

TEST(ScenarioRunner, TimeFactorScalesScenarioTime) {
  // A daily-style sine of period 3600 s at factor 60: a quarter period after 15 s of real time.
  auto scenario = load(
      R"({"time_factor": 60,
          "levels": {"temp": {"kind": "sine", "mean": 30, "amplitude": 10, "period": 3600}}})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  EXPECT_DOUBLE_EQ(runner.timeFactor(), 60);
  const struct {
    double real;
    int value;
  } table[] = {{0, 30}, {15, 40}, {30, 30}, {45, 20}, {60, 30}, {67.5, 37}};
  for (const auto& row : table) {
    runner.advanceTo(at(row.real));
    EXPECT_EQ(target.levels[1], row.value) << row.real;
    EXPECT_NEAR(runner.scenarioTime(at(row.real)), row.real * 60, 1e-6);
  }
  ScenarioRunner faster(scenario, target, RunOptions{.timeFactor = 120});
  EXPECT_DOUBLE_EQ(faster.timeFactor(), 120);
}

const char* kEvents = R"({
  "inputs": [
    {"kind": "pulse", "input": "presença", "at": 10, "for": 2},
    {"kind": "toggle", "input": 3, "every": 5, "until": 20},
    {"kind": "set", "input": "rede2", "at": [1, 50]},
    {"kind": "clear", "input": 3, "at": 12}
  ],
  "unit": [
    {"kind": "endpoint_off", "at": 30, "for": 5},
    {"kind": "faults", "at": 40, "for": 10, "drop": 0.5, "delay_ms": 100,
     "delay_jitter_ms": 20, "corrupt": 0.25},
    {"kind": "reset", "at": 45, "seconds": 3}
  ]})";

const std::vector<FakeTarget::Call> kEventTable = {
    {0, "input 3 on"},
    {1, "input 3 on"},
    {5, "input 3 off"},
    {10, "input 0 on"},
    {10, "input 3 on"},
    {12, "input 0 off"},
    {12, "input 3 off"},
    {15, "input 3 off"},
    {30, "endpoint off"},
    {35, "endpoint on"},
    {40, "faults 0.500000 100 20 0.250000"},
    {45, "reset 3"},
    {50, "input 3 on"},
    {50, "faults off"},
};

TEST(ScenarioRunner, EventsHappenAtTheirScenarioTimesInOrder) {
  for (double factor : {1.0, 10.0, 0.5}) {
    auto scenario = load(kEvents);
    FakeTarget target;
    ScenarioRunner runner(scenario, target, RunOptions{.timeFactor = factor});
    runToDeadlines(runner, target, 100 / factor);
    ASSERT_EQ(target.timed.size(), kEventTable.size()) << factor;
    for (size_t i = 0; i < kEventTable.size(); ++i) {
      EXPECT_NEAR(target.timed[i].time, kEventTable[i].time, 1e-6) << factor << " #" << i;
      // The file's "set rede2" is bit 3: the table names the bit.
      EXPECT_EQ(target.timed[i].what, kEventTable[i].what) << factor << " #" << i;
    }
  }
}

TEST(ScenarioRunner, ALateCallCatchesUpEveryStepInOrder) {
  auto scenario = load(kEvents);
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  runner.advanceTo(at(1000));
  std::vector<std::string> expected;
  for (const auto& c : kEventTable) expected.push_back(c.what);
  EXPECT_EQ(target.log, expected);
  EXPECT_EQ(runner.nextDeadline(), Clock::time_point::max());
}

TEST(ScenarioRunner, ALongStallIsWorkedOffInBoundedSlices) {
  auto scenario = load(R"({"inputs": [{"kind": "toggle", "input": 0, "every": 0.1}]})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target, RunOptions{.timeFactor = 1000});
  runner.start(kStart);
  runner.advanceTo(at(3));  // 30,000 toggles due
  // The toggle at 0 came with start().
  EXPECT_EQ(target.log.size(), 1u + ScenarioRunner::kMaxStepsPerAdvance);
  EXPECT_LE(runner.nextDeadline(), at(3));  // more to do at once
  runner.advanceTo(at(3));
  runner.advanceTo(at(3));
  EXPECT_EQ(target.log.size(), 30001u);  // toggles 0..30000 (at 0 s to 3000 s)
  EXPECT_GT(runner.nextDeadline(), at(3));
}

// A scenario with randomness everywhere: walks, a sine, jittered toggles and pulses.
const char* kRandom = R"({
  "seed": 1234,
  "levels": {
    "bat": {"kind": "walk", "start": 250, "step": 5, "interval": 0.5, "min": 200, "max": 300},
    "temp": {"kind": "sine", "mean": 30, "amplitude": 20, "period": 37, "phase": 45},
    "umid": {"kind": "walk", "start": 50, "step": 3, "interval": 1, "min": 0, "max": 100}
  },
  "inputs": [
    {"kind": "toggle", "input": 0, "every": 2, "jitter": 1.5},
    {"kind": "pulse", "input": 4, "every": 7, "for": 2, "jitter": 3}
  ],
  "unit": [{"kind": "endpoint_off", "at": 5, "every": 30, "for": 10, "jitter": 10}]})";

TEST(ScenarioRunner, TheSameSeedRepeatsAndAnotherSeedDiffers) {
  auto scenario = load(kRandom);
  FakeTarget a, b, c;
  ScenarioRunner ra(scenario, a), rb(scenario, b), rc(scenario, c, RunOptions{.seed = 99});
  runToDeadlines(ra, a, 120);
  runToDeadlines(rb, b, 120);
  runToDeadlines(rc, c, 120);
  EXPECT_EQ(a.log, b.log);
  EXPECT_GT(a.log.size(), 100u);
  EXPECT_NE(a.log, c.log);
  EXPECT_EQ(ra.seed(), 1234u);
  EXPECT_EQ(rc.seed(), 99u);
}

TEST(ScenarioRunner, ValuesDoNotDependOnHowOftenOrHowLateItIsCalled) {
  auto scenario = load(kRandom);
  FakeTarget regular, irregular;
  ScenarioRunner r1(scenario, regular), r2(scenario, irregular);
  runToDeadlines(r1, regular, 120);

  // Calls at irregular gaps of 1 ms to 700 ms, as a loaded event loop might make them.
  std::mt19937 gaps(7);
  irregular.now = 0;
  r2.start(kStart);
  for (double t = 0; t <= 120;) {
    t += std::uniform_int_distribution<int>(1, 700)(gaps) / 1000.0;
    irregular.now = r2.scenarioTime(at(t));
    r2.advanceTo(at(t));
  }
  // The same event steps in the same order.
  EXPECT_EQ(withoutLevels(regular.timed), withoutLevels(irregular.timed));
  // Every level value set, in either run, is the level's value at the scenario time it was set.
  for (const FakeTarget* target : {&regular, &irregular}) {
    std::vector<LevelEvaluator> reference;
    for (int level = 0; level < kLevelCount; ++level) {
      reference.emplace_back(*scenario->levels[level], 1234, levelStream(level));
    }
    int checked = 0;
    for (const auto& call : target->timed) {
      int level = 0, value = 0;
      if (std::sscanf(call.what.c_str(), "level %d %d", &level, &value) != 2) continue;
      EXPECT_EQ(value, std::lround(reference[level].valueAt(call.time))) << call.time;
      ++checked;
    }
    EXPECT_GT(checked, 100);
  }
}

TEST(ScenarioRunner, AHundredUnitsEachWithItsOwnPhase) {
  auto scenario = load(
      R"({"levels": {"temp": {"kind": "sine", "mean": 33, "amplitude": 30, "period": 3600}},
          "unit": [{"kind": "endpoint_off", "at": 100, "every": 3600, "for": 10}]})");
  std::vector<FakeTarget> targets(100);
  std::vector<std::unique_ptr<ScenarioRunner>> runners;
  for (int i = 0; i < 100; ++i) {
    runners.push_back(
        std::make_unique<ScenarioRunner>(scenario, targets[i], RunOptions{.offset = 36.0 * i}));
    runners.back()->start(kStart);
  }
  const SineLevel& sine = std::get<SineLevel>(*scenario->levels[1]);
  std::set<int> distinct;
  for (double t : {0.0, 50.0, 101.0, 900.0}) {
    for (int i = 0; i < 100; ++i) {
      runners[i]->advanceTo(at(t));
      const double own = 36.0 * i + t;
      EXPECT_NEAR(runners[i]->scenarioTime(at(t)), own, 1e-6);
      EXPECT_EQ(targets[i].levels[1], std::lround(sineValue(sine, own))) << i << " " << t;
      distinct.insert(targets[i].levels[1]);
      // Each unit is unplugged for 10 s once an hour at its own scenario time 100..110 only.
      // An occurrence that began before the unit's offset is skipped.
      const double inHour = std::fmod(own, 3600);
      const bool off = inHour >= 100 && inHour < 110 && own - inHour + 100 >= 36.0 * i;
      EXPECT_EQ(targets[i].endpoint, !off) << i << " " << t;
    }
  }
  EXPECT_GT(distinct.size(), 50u);
}

TEST(ScenarioRunner, AnOffsetSkipsOccurrencesBeforeIt) {
  auto scenario = load(R"({"inputs": [{"kind": "pulse", "input": 2, "every": 10, "for": 1}]})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target, RunOptions{.offset = 35});
  runToDeadlines(runner, target, 10);
  ASSERT_GE(target.timed.size(), 2u);
  EXPECT_NEAR(target.timed[0].time, 40, 1e-6);
  EXPECT_EQ(target.timed[0].what, "input 2 on");
}

TEST(ScenarioRunner, ClaimsItsLevelsAndStoppingHandsEverythingBack) {
  auto scenario = load(
      R"({"levels": {"bat": {"kind": "sine", "mean": 300, "amplitude": 10, "period": 60},
                     "umid": {"kind": "constant", "value": 70}},
          "unit": [{"kind": "endpoint_off", "at": 5, "for": 100},
                   {"kind": "faults", "at": 6, "for": 100, "drop": 1}]})");
  FakeTarget target;
  {
    ScenarioRunner runner(scenario, target);
    EXPECT_FALSE(runner.drives(0));
    runner.start(kStart);
    EXPECT_TRUE(runner.running());
    EXPECT_EQ(target.claimed, (std::array<bool, 3>{true, false, true}));
    EXPECT_TRUE(runner.drives(0));
    EXPECT_FALSE(runner.drives(1));
    EXPECT_TRUE(runner.drives(2));
    EXPECT_FALSE(runner.drives(3));
    EXPECT_EQ(runner.levelSource(0), "scenario sine");
    EXPECT_EQ(runner.levelSource(1), "");
    EXPECT_EQ(runner.levelSource(2), "scenario constant");
    runner.advanceTo(at(10));
    EXPECT_FALSE(target.endpoint);
    EXPECT_TRUE(target.faults);

    runner.stop();
    EXPECT_FALSE(runner.running());
    EXPECT_EQ(target.claimed, (std::array<bool, 3>{}));
    EXPECT_TRUE(target.endpoint);
    EXPECT_FALSE(target.faults);
    EXPECT_FALSE(runner.drives(0));
    EXPECT_EQ(runner.levelSource(0), "");
    EXPECT_EQ(runner.nextDeadline(), Clock::time_point::max());
    const size_t calls = target.log.size();
    runner.advanceTo(at(200));
    runner.stop();
    EXPECT_EQ(target.log.size(), calls);  // stopped: nothing more happens
  }
  EXPECT_EQ(target.log.back(), "faults off");

  // Destroying a running runner stops it; after its own end step nothing is undone twice.
  FakeTarget second;
  {
    ScenarioRunner runner(scenario, second);
    runner.start(kStart);
    runner.advanceTo(at(200));
    EXPECT_TRUE(second.endpoint);
  }
  EXPECT_EQ(second.log.back(), "release 2");
  EXPECT_EQ(second.claimed, (std::array<bool, 3>{}));
}

TEST(ScenarioRunner, OptionsOutOfRangeFallBack) {
  auto scenario =
      load(R"({"time_factor": 5, "levels": {"bat": {"kind": "constant", "value": 1}}})");
  FakeTarget target;
  for (double bad : {0.0, -1.0, 0.009, 1000.5, std::nan("")}) {
    ScenarioRunner runner(scenario, target, RunOptions{.timeFactor = bad, .offset = -3});
    EXPECT_EQ(runner.timeFactor(), 5) << bad;
    runner.start(kStart);
    EXPECT_EQ(runner.scenarioTime(at(1)), 5) << bad;
  }
  ScenarioRunner edge(scenario, target, RunOptions{.timeFactor = 1000, .offset = 1e12});
  edge.start(kStart);
  EXPECT_EQ(edge.timeFactor(), 1000);
  EXPECT_EQ(edge.scenarioTime(kStart), 1e6);
}

TEST(ScenarioRunner, StartingAgainBeginsAtScenarioTimeZero) {
  auto scenario = load(
      R"({"levels": {"bat": {"kind": "ramp", "from": 0, "to": 100, "over": 100}},
          "inputs": [{"kind": "pulse", "input": 0, "at": 5, "for": 1}]})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  runner.advanceTo(at(50));
  EXPECT_EQ(target.levels[0], 50);
  runner.stop();
  runner.start(at(1000));
  EXPECT_TRUE(target.claimed[0]);
  EXPECT_EQ(target.levels[0], 0);
  runner.advanceTo(at(1005));
  EXPECT_TRUE(target.inputs[0]);  // the pulse comes again, 5 s after the new start
  EXPECT_EQ(target.levels[0], 5);
}

TEST(ScenarioRunner, StartTwiceDoesNothing) {
  auto scenario = load(R"({"levels": {"bat": {"kind": "constant", "value": 5}}})");
  FakeTarget target;
  ScenarioRunner runner(scenario, target);
  runner.start(kStart);
  runner.start(at(5));
  EXPECT_EQ(target.log, (std::vector<std::string>{"claim 0 scenario constant", "level 0 5"}));
}

}  // namespace
}  // namespace vexa
