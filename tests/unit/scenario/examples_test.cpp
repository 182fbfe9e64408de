// The example scenarios in docs/scenarios/ do what their names promise.
#include <gtest/gtest.h>

#include "fake_target.h"
#include "scenario_file.h"
#include "scenario_runner.h"

namespace vexa {
namespace {

using Clock = ScenarioRunner::Clock;
using testing::FakeTarget;

const Clock::time_point kStart = Clock::time_point{} + std::chrono::hours(1);

std::shared_ptr<const Scenario> example(const std::string& name) {
  const ScenarioLoad load = loadScenarioFile(std::string(VEXA_SCENARIO_EXAMPLES) + "/" + name);
  EXPECT_TRUE(load.ok()) << load.error;
  return load.scenario;
}

// Real time at which a runner with `factor` reaches scenario time `t`.
Clock::time_point when(double t, double factor) {
  return kStart +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t / factor));
}

struct Row {
  double t;
  int value;
};

TEST(Examples, BatteryDrainsToTheThresholdAndRecovers) {
  FakeTarget target;
  ScenarioRunner runner(example("battery-drain.json"), target, RunOptions{.timeFactor = 100});
  runner.start(kStart);
  for (const Row& row : {Row{0, 250}, Row{900, 230}, Row{1800, 210}, Row{2700, 230}, Row{3600, 250},
                         Row{5400, 210}}) {
    runner.advanceTo(when(row.t, 100));
    EXPECT_EQ(target.levels[0], row.value) << row.t;
  }
}

TEST(Examples, DailyTemperatureCycle) {
  FakeTarget target;
  ScenarioRunner runner(example("daily-temperature.json"), target, RunOptions{.timeFactor = 1000});
  runner.start(kStart);
  const struct {
    double t;
    int temp, umid;
  } table[] = {{0, 14, 75}, {21600, 22, 60}, {43200, 30, 45}, {64800, 22, 60}, {86400, 14, 75}};
  for (const auto& row : table) {
    runner.advanceTo(when(row.t, 1000));
    EXPECT_EQ(target.levels[1], row.temp) << row.t;
    EXPECT_EQ(target.levels[2], row.umid) << row.t;
  }
}

TEST(Examples, PresenceFlapsThenPulses) {
  FakeTarget target;
  ScenarioRunner runner(example("flapping-presence.json"), target);
  runner.start(kStart);
  runner.advanceTo(when(299.9, 1));
  EXPECT_EQ(target.log.size(), 75u);  // one toggle per 4 s
  for (size_t i = 0; i < target.log.size(); ++i) {
    EXPECT_EQ(target.log[i], i % 2 == 0 ? "input 0 on" : "input 0 off");
  }
  runner.advanceTo(when(900, 1));
  EXPECT_EQ(target.log.size(), 75u + 2 * 10);  // then a 1 s pulse every minute
  EXPECT_FALSE(target.inputs[0]);
}

TEST(Examples, UnitDropsOffTheNetworkFor30sEvery10Minutes) {
  FakeTarget target;
  ScenarioRunner runner(example("network-dropout.json"), target);
  runner.start(kStart);
  for (const Row& row : {Row{599.9, 1}, Row{600, 0}, Row{629.9, 0}, Row{630, 1}, Row{1199, 1},
                         Row{1200, 0}, Row{1230, 1}, Row{36000, 0}}) {
    runner.advanceTo(when(row.t, 1));
    EXPECT_EQ(target.endpoint, row.value == 1) << row.t;
  }
}

}  // namespace
}  // namespace vexa
