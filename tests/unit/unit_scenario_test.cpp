#include "unit_scenario.h"

#include <gtest/gtest.h>

#include "fake_unit_clock.h"
#include "scenario_loader.h"
#include "temp_dir.h"
#include "unit.h"

namespace vexa {
namespace {

class UnitScenarioTest : public ::testing::Test {
 protected:
  UnitScenarioTest() {
    unit = std::make_unique<Unit>(testing::unitSettingsIn(dir, 5), clock);
    unit->load();
    unit->setEndpoint(&endpoint);
  }
  std::shared_ptr<const Scenario> parse(const std::string& text) {
    ScenarioLoad load = parseScenario(text);
    EXPECT_TRUE(load.ok()) << load.error;
    return load.scenario;
  }
  testing::TempDir dir;
  testing::FakeUnitClock clock;
  testing::FakeEndpoint endpoint;
  std::unique_ptr<Unit> unit;
  const UnitScenario::Clock::time_point t0 =
      UnitScenario::Clock::time_point{} + std::chrono::hours(1);
};

TEST_F(UnitScenarioTest, DrivenLevelsGoThroughTheSliderRuleEvenInAutoMode) {
  // Values past the slider's range are clamped as a slider moved by hand; temperature goes
  // through the 1.5 factor (55 -> slider 82 -> 55; 67 the highest).
  struct Case {
    int level;
    int value, nv, slider;
  };
  const Case cases[] = {
      {0, 599, 599, 599}, {1, 55, 55, 82}, {1, 67, 67, 100}, {2, 0, 0, 0}, {2, 100, 100, 100}};
  unit->setAuto(true);
  for (const Case& c : cases) {
    unit->driveLevel(c.level, c.value);
    EXPECT_EQ(unit->read().nv[c.level], c.nv) << c.level << " " << c.value;
    EXPECT_EQ(unit->sliderPosition(c.level), c.slider);
  }
  unit->driveLevel(0, 900);
  EXPECT_EQ(unit->read().nv[0], 600);
  unit->driveLevel(1, -5);
  EXPECT_EQ(unit->read().nv[1], 0);
}

TEST_F(UnitScenarioTest, TheAutoDrawSkipsAClaimedLevelAndTheOperatorIsRefused) {
  unit->claimLevel(1, "scenario sine");
  unit->driveLevel(1, 5);  // outside auto's 25..34
  unit->setAuto(true);
  for (int tick = 1; tick <= 5; ++tick) {
    clock.now = tick * 2000;
    const Unit::Reading r = unit->read();
    EXPECT_EQ(r.nv[1], 5) << tick;
    EXPECT_GE(r.nv[0], 230);  // the other levels are drawn
    EXPECT_GE(r.nv[2], 60);
  }
  unit->setAuto(false);
  EXPECT_FALSE(unit->setLevel(1, 20));
  unit->sliderChange(1, 90);  // the window's slider: only its position is recorded
  EXPECT_EQ(unit->read().nv[1], 5);
  EXPECT_EQ(unit->levelSource(1), "scenario sine");
  unit->releaseLevel(1);
  EXPECT_EQ(unit->levelSource(1), "");
  EXPECT_TRUE(unit->setLevel(1, 20));
  EXPECT_EQ(unit->read().nv[1], 20);
}

TEST_F(UnitScenarioTest, TheSameDrawsWithALevelHeldAsWithout) {
  // Holding a level leaves the random sequence of the others as it was.
  testing::TempDir other;
  Unit twin(testing::unitSettingsIn(other, 5), clock);
  twin.load();
  unit->claimLevel(0, "scenario constant");
  unit->setAuto(true);
  twin.setAuto(true);
  for (int tick = 1; tick <= 4; ++tick) {
    clock.now = tick * 2000;
    EXPECT_EQ(unit->read().nv[2], twin.read().nv[2]) << tick;
    EXPECT_EQ(unit->read().nv[1], twin.read().nv[1]) << tick;
  }
}

TEST_F(UnitScenarioTest, EventsReachTheUnitAndStoppingHandsEverythingBack) {
  FaultSettings mine;
  mine.dropProbability = 0.25;
  unit->setFaults(mine);
  UnitScenario& scenario = unit->scenario();
  scenario.start(parse(R"({"levels": {"bat": {"kind": "constant", "value": 123}},
      "inputs": [{"kind": "set", "input": 3, "at": 1}],
      "unit": [{"kind": "endpoint_off", "at": 2, "for": 10},
               {"kind": "faults", "at": 3, "for": 10, "drop": 1},
               {"kind": "reset", "at": 4, "seconds": 7}]})"),
                 "f.json", {}, t0);
  EXPECT_TRUE(scenario.running());
  EXPECT_EQ(unit->read().nv[0], 123);
  EXPECT_EQ(unit->levelSource(0), "scenario constant");
  EXPECT_EQ(scenario.nextDeadline(), t0 + std::chrono::seconds(1));
  scenario.advanceTo(t0 + std::chrono::seconds(1));
  EXPECT_EQ(unit->read().inputs & 0x08, 0x08);
  scenario.advanceTo(t0 + std::chrono::seconds(2));
  EXPECT_FALSE(endpoint.on);
  scenario.advanceTo(t0 + std::chrono::seconds(3));
  EXPECT_EQ(unit->faults().dropProbability, 1);
  scenario.advanceTo(t0 + std::chrono::seconds(4));
  EXPECT_EQ(unit->read().countdown, 700);
  scenario.stop();
  EXPECT_FALSE(scenario.running());
  EXPECT_TRUE(endpoint.on);
  EXPECT_EQ(unit->faults().dropProbability, 0.25);  // the unit's own faults come back
  EXPECT_EQ(unit->levelSource(0), "");
  EXPECT_EQ(unit->read().nv[0], 123);  // kept
  EXPECT_EQ(scenario.nextDeadline(), UnitScenario::Clock::time_point::max());
  EXPECT_EQ(scenario.file(), "f.json");
}

// A reset to defaults gives a fresh unit: its scenario stops and hands the levels and the
// endpoint back before the defaults are written.
TEST_F(UnitScenarioTest, AResetToDefaultsStopsTheScenario) {
  UnitScenario& scenario = unit->scenario();
  scenario.start(parse(R"({"levels": {"umid": {"kind": "constant", "value": 90}},
      "unit": [{"kind": "endpoint_off", "at": 0, "for": 100}]})"),
                 "f.json", {}, t0);
  scenario.advanceTo(t0);
  ASSERT_FALSE(endpoint.on);
  ASSERT_EQ(unit->read().nv[2], 90);
  unit->resetToDefaults();
  EXPECT_FALSE(scenario.running());
  EXPECT_TRUE(endpoint.on);
  EXPECT_EQ(unit->levelSource(2), "");
  EXPECT_EQ(unit->read().nv[2], 50);
  EXPECT_TRUE(unit->setLevel(2, 60));  // the operator has the level again
  EXPECT_EQ(unit->read().nv[2], 60);
}

TEST_F(UnitScenarioTest, AUnitDestroyedWhileItsScenarioRunsIsLeftAlone) {
  unit->scenario().start(parse(R"({"unit": [{"kind": "endpoint_off", "at": 0, "for": 10}]})"),
                         "f.json", {}, t0);
  EXPECT_FALSE(endpoint.on);
  unit.reset();
  EXPECT_FALSE(endpoint.on);  // not switched on again by a unit that is going away
}

}  // namespace
}  // namespace vexa
