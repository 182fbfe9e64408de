#include "scenario_loader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scenario_file.h"

namespace vexa {
namespace {

TEST(ScenarioLoader, ReadsEveryField) {
  const ScenarioLoad load = parseScenario(R"({
    "name": "everything", "seed": 18446744073709551615, "time_factor": 60,
    "levels": {
      "bat": {"kind": "ramp", "from": 250, "to": 210, "over": 1800, "at": 60, "then": "reverse"},
      "temp": {"kind": "steps", "steps": [{"at": 0, "value": 20}, {"at": 3600, "value": 25.5}]},
      "umid": {"kind": "walk", "start": 60, "step": 2, "interval": 0.5, "min": 40, "max": 90}
    },
    "inputs": [{"kind": "toggle", "input": "rede3", "every": 5, "jitter": 2, "until": 60,
                "at": 1, "first": false}],
    "unit": [{"kind": "faults", "at": [10, 100], "for": 20, "delay_ms": 250,
              "delay_jitter_ms": 50, "drop": 0.1, "corrupt": 0.01},
             {"kind": "reset", "at": 5, "seconds": 999}]
  })");
  ASSERT_TRUE(load.ok()) << load.error;
  const Scenario& s = *load.scenario;
  EXPECT_EQ(s.name, "everything");
  EXPECT_EQ(s.seed, 18446744073709551615ull);
  EXPECT_EQ(s.timeFactor, 60);
  const auto& ramp = std::get<RampLevel>(*s.levels[0]);
  EXPECT_EQ(ramp.from, 250);
  EXPECT_EQ(ramp.to, 210);
  EXPECT_EQ(ramp.over, 1800);
  EXPECT_EQ(ramp.at, 60);
  EXPECT_EQ(ramp.then, RampLevel::Then::kReverse);
  const auto& steps = std::get<StepsLevel>(*s.levels[1]);
  ASSERT_EQ(steps.steps.size(), 2u);
  EXPECT_EQ(steps.steps[1].at, 3600);
  EXPECT_EQ(steps.steps[1].value, 25.5);
  const auto& walk = std::get<WalkLevel>(*s.levels[2]);
  EXPECT_EQ(walk.interval, 0.5);
  EXPECT_EQ(walk.max, 90);
  ASSERT_EQ(s.events.size(), 3u);
  const auto& toggle = std::get<InputEvent>(s.events[0].action);
  EXPECT_EQ(toggle.kind, InputEvent::Kind::kToggle);
  EXPECT_EQ(toggle.bit, 4);
  EXPECT_FALSE(toggle.firstOn);
  EXPECT_EQ(s.events[0].schedule.every, 5);
  EXPECT_EQ(s.events[0].schedule.at, 1);
  EXPECT_EQ(s.events[0].schedule.until, 60);
  EXPECT_EQ(s.events[0].schedule.jitter, 2);
  const auto& faults = std::get<FaultsEvent>(s.events[1].action);
  EXPECT_EQ(faults.delayMs, 250);
  EXPECT_EQ(faults.delayJitterMs, 50);
  EXPECT_EQ(faults.drop, 0.1);
  EXPECT_EQ(faults.corrupt, 0.01);
  EXPECT_EQ(s.events[1].duration, 20);
  EXPECT_EQ(s.events[1].schedule.times, (std::vector<double>{10, 100}));
  EXPECT_EQ(std::get<ResetEvent>(s.events[2].action).seconds, 999);
}

TEST(ScenarioLoader, DefaultsOfAnEmptyScenario) {
  const ScenarioLoad load = parseScenario("{}");
  ASSERT_TRUE(load.ok()) << load.error;
  EXPECT_EQ(load.scenario->seed, 1u);
  EXPECT_EQ(load.scenario->timeFactor, 1);
  EXPECT_FALSE(load.scenario->levels[0]);
  EXPECT_TRUE(load.scenario->events.empty());
}

// Each invalid document and the exact error naming the field at fault.
TEST(ScenarioLoader, InvalidDocumentsNameTheField) {
  const struct {
    const char* json;
    const char* error;
  } table[] = {
      {"[]", "document: must be an object"},
      {R"({"levles": {}})", "levles: unknown field"},
      {R"({"seed": -1})", "seed: must be a whole number from 0 to 18446744073709551615"},
      {R"({"seed": 1.5})", "seed: must be a whole number from 0 to 18446744073709551615"},
      {R"({"name": 5})", "name: must be a string"},
      {R"({"time_factor": 0})", "time_factor: must be within 0.01..1000"},
      {R"({"time_factor": 1001})", "time_factor: must be within 0.01..1000"},
      {R"({"time_factor": "60"})", "time_factor: must be a number"},
      {R"({"levels": []})", "levels: must be an object"},
      {R"({"levels": {"pressure": {}}})", "levels.pressure: unknown field"},
      {R"({"levels": {"temp": {}}})", "levels.temp.kind: missing"},
      {R"({"levels": {"temp": {"kind": "square"}}})",
       "levels.temp.kind: must be constant, ramp, sine, walk or steps"},
      {R"({"levels": {"temp": {"kind": "constant", "value": 68}}})",
       "levels.temp.value: must be within 0..67"},
      {R"({"levels": {"bat": {"kind": "constant", "value": -1}}})",
       "levels.bat.value: must be within 0..600"},
      {R"({"levels": {"umid": {"kind": "constant", "value": 101}}})",
       "levels.umid.value: must be within 0..100"},
      {R"({"levels": {"umid": {"kind": "constant", "value": true}}})",
       "levels.umid.value: must be a number"},
      {R"({"levels": {"umid": {"kind": "constant", "value": 5, "period": 3}}})",
       "levels.umid.period: unknown field"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5, "period": 0}}})",
       "levels.temp.period: must be > 0"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5}}})",
       "levels.temp.period: missing"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5, "perod": 10}}})",
       "levels.temp.perod: unknown field"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 60, "amplitude": 8, "period": 10}}})",
       "levels.temp.amplitude: mean - amplitude .. mean + amplitude must stay within 0..67"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": -1, "period": 10}}})",
       "levels.temp.amplitude: must be >= 0"},
      {R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 1, "period": 10,
           "phase": 361}}})",
       "levels.temp.phase: must be within -360..360 (degrees)"},
      {R"({"levels": {"bat": {"kind": "ramp", "from": 250, "to": 700, "over": 10}}})",
       "levels.bat.to: must be within 0..600"},
      {R"({"levels": {"bat": {"kind": "ramp", "from": 250, "to": 200, "over": -5}}})",
       "levels.bat.over: must be > 0"},
      {R"({"levels": {"bat": {"kind": "ramp", "from": 250, "to": 200, "over": 5, "at": -1}}})",
       "levels.bat.at: must be >= 0"},
      {R"({"levels": {"bat": {"kind": "ramp", "from": 250, "to": 200, "over": 1e9}}})",
       "levels.bat.over: must be at most 1e+08"},
      {R"({"levels": {"bat": {"kind": "ramp", "from": 250, "to": 200, "over": 5,
           "then": "loop"}}})",
       "levels.bat.then: must be hold, repeat or reverse"},
      {R"({"levels": {"umid": {"kind": "walk", "start": 50, "step": 1, "min": 60, "max": 40}}})",
       "levels.umid.max: must be >= min"},
      {R"({"levels": {"umid": {"kind": "walk", "start": 30, "step": 1, "min": 40, "max": 60}}})",
       "levels.umid.start: must be within min..max"},
      {R"({"levels": {"umid": {"kind": "walk", "start": 50, "step": 0, "min": 40, "max": 60}}})",
       "levels.umid.step: must be > 0"},
      {R"({"levels": {"umid": {"kind": "walk", "start": 50, "step": 1, "min": 40, "max": 60,
           "interval": 0.05}}})",
       "levels.umid.interval: must be at least 0.1"},
      {R"({"levels": {"umid": {"kind": "steps", "steps": []}}})",
       "levels.umid.steps: must be a list of 1..10000 steps"},
      {R"({"levels": {"umid": {"kind": "steps", "steps": [{"at": 0, "value": 1}, 7]}}})",
       "levels.umid.steps[1]: must be an object"},
      {R"({"levels": {"umid": {"kind": "steps", "steps": [{"at": 5, "value": 1},
           {"at": 5, "value": 2}]}}})",
       "levels.umid.steps[1].at: must be later than the previous step's"},
      {R"({"levels": {"umid": {"kind": "steps", "steps": [{"at": 0, "value": 1, "x": 1}]}}})",
       "levels.umid.steps[0].x: unknown field"},
      {R"({"inputs": {}})", "inputs: must be a list of at most 1000 events"},
      {R"({"inputs": [{"kind": "set", "input": 1, "at": 0}]})",
       "inputs[0].input: bit 1 follows the reset countdown; use a reset event"},
      {R"({"inputs": [{"kind": "set", "input": 8, "at": 0}]})",
       "inputs[0].input: must be 0 or 2..7, or presença (presenca), rede, rede2, rede3, reserva5, "
       "reserva6 or reserva7"},
      {R"({"inputs": [{"kind": "set", "input": "reserva", "at": 0}]})",
       "inputs[0].input: must be 0 or 2..7, or presença (presenca), rede, rede2, rede3, reserva5, "
       "reserva6 or reserva7"},
      {R"({"inputs": [{"kind": "set", "at": 0}]})", "inputs[0].input: missing"},
      {R"({"inputs": [{"kind": "blink", "input": 0, "at": 0}]})",
       "inputs[0].kind: must be set, clear, pulse or toggle"},
      {R"({"inputs": [{"kind": "set", "input": 0}]})", "inputs[0].at: missing"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": 0, "for": 3}]})",
       "inputs[0].for: unknown field"},
      {R"({"inputs": [{"kind": "pulse", "input": 0, "at": 0}]})", "inputs[0].for: missing"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": 1},
                      {"kind": "pulse", "input": 0, "every": 10, "for": 8, "jitter": 3}]})",
       "inputs[1].every: must be at least for + jitter"},
      {R"({"inputs": [{"kind": "toggle", "input": 0, "at": 3, "until": 9}]})",
       "inputs[0].until: only with every"},
      {R"({"inputs": [{"kind": "toggle", "input": 0, "at": 3, "every": 1, "until": 3}]})",
       "inputs[0].until: must be later than at"},
      {R"({"inputs": [{"kind": "toggle", "input": 0, "every": 0}]})",
       "inputs[0].every: must be > 0"},
      {R"({"inputs": [{"kind": "toggle", "input": 0, "every": 1, "first": 1}]})",
       "inputs[0].first: must be true or false"},
      {R"({"inputs": [{"kind": "pulse", "input": 0, "at": [0, 5, 6], "for": 2}]})",
       "inputs[0].at[2]: must be at least for + jitter after the previous time"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": [0, "5"]}]})",
       "inputs[0].at[1]: must be a number"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": [1, 2], "every": 4}]})",
       "inputs[0].at: must be one time with every"},
      {R"({"unit": [{"kind": "unplug", "at": 0}]})",
       "unit[0].kind: must be endpoint_off, faults or reset"},
      {R"({"unit": [{"kind": "endpoint_off", "at": 0}]})", "unit[0].for: missing"},
      {R"({"unit": [{"kind": "faults", "at": 0, "for": 1, "drop": 1.5}]})",
       "unit[0].drop: must be within 0..1"},
      {R"({"unit": [{"kind": "faults", "at": 0, "for": 1, "delay_ms": 700000}]})",
       "unit[0].delay_ms: must be a whole number within 0..600000"},
      {R"({"unit": [{"kind": "faults", "at": 0, "for": 1, "delay_ms": 2.5}]})",
       "unit[0].delay_ms: must be a whole number within 0..600000"},
      {R"({"unit": [{"kind": "reset", "at": 0, "seconds": 0}]})",
       "unit[0].seconds: must be a whole number within 1..999"},
      {R"({"unit": [{"kind": "reset", "at": 0}]})", "unit[0].seconds: missing"},
      {R"({"unit": [{"kind": "reset", "at": 0, "seconds": 3, "for": 2}]})",
       "unit[0].for: unknown field"},
      {R"({"inputs": [{"kind": "toggle", "input": 0, "every": 0.09}]})",
       "inputs[0].every: must be at least 0.1"},
      {R"({"seed": 1, "seed": 2})", "seed: duplicate field"},
      {R"({"levels": {"temp": {"kind": "constant", "value": 1, "value": 2}}})",
       "levels.temp.value: duplicate field"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": 1}, {"kind": "set", "kind": "clear"}]})",
       "inputs[1].kind: duplicate field"},
      {R"({"levels": {"umid": {"kind": "steps", "steps": [{"at": 0, "value": 1},
           {"at": 1, "at": 2, "value": 3}]}}})",
       "levels.umid.steps[1].at: duplicate field"},
      {R"([[1, 2], {"a": [3], "b": {"c": 1}}, {"a": 1, "a": 2}])", "[2].a: duplicate field"},
      {R"({"inputs": [{"kind": "set", "input": "reset", "at": 0}]})",
       "inputs[0].input: bit 1 follows the reset countdown; use a reset event"},
      {R"({"inputs": [{"kind": "set", "input": "Rede", "at": 0}]})",
       "inputs[0].input: must be 0 or 2..7, or presença (presenca), rede, rede2, rede3, reserva5, "
       "reserva6 or reserva7"},
      {R"({"seed": 1e400})", "seed: a number too large for any field"},
      {R"({"inputs": [{"kind": "set", "input": 0, "at": [1, -1e400]}]})",
       "inputs[0].at[1]: a number too large for any field"},
      {"1e400", "a number too large for any field"},
      {"{\"levels\": ",
       "line 1, column 12: syntax error while parsing value - unexpected end of "
       "input; expected '[', '{', or a literal"},
  };
  for (const auto& row : table) {
    const ScenarioLoad load = parseScenario(row.json);
    EXPECT_FALSE(load.ok()) << row.json;
    EXPECT_EQ(load.error, row.error) << row.json;
  }
}

// An input is named as everywhere else: either spelling of presença, or any input's name.
TEST(ScenarioLoader, InputsByEveryName) {
  const std::string presenca =
      "presen\xC3\xA7"
      "a";
  const std::pair<std::string, int> names[] = {
      {'"' + presenca + '"', 0}, {R"("presen\u00e7a")", 0}, {R"("presenca")", 0}, {R"("rede")", 2},
      {R"("rede3")", 4},         {R"("reserva5")", 5},      {R"("reserva7")", 7}, {"6", 6},
  };
  for (const auto& [name, bit] : names) {
    const std::string json =
        std::string(R"({"inputs": [{"kind": "set", "at": 0, "input": )") + name + "}]}";
    const ScenarioLoad load = parseScenario(json);
    ASSERT_TRUE(load.ok()) << json << ": " << load.error;
    EXPECT_EQ(std::get<InputEvent>(load.scenario->events[0].action).bit, bit) << json;
  }
}

TEST(ScenarioLoader, TooManyEventsAreRejected) {
  std::string json = R"({"inputs": [)";
  for (size_t i = 0; i <= kMaxScenarioEvents; ++i) {
    json += (i ? "," : "") + std::string(R"({"kind": "set", "input": 0, "at": 1})");
  }
  json += "]}";
  EXPECT_EQ(parseScenario(json).error, "inputs: must be a list of at most 1000 events");
}

TEST(ScenarioLoader, DeepNestingIsRejectedWithoutHarm) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(parseScenario(R"({"levels": )" + deep + "}").error, "levels: must be an object");
  EXPECT_EQ(parseScenario(deep).error, "document: must be an object");
  const std::string huge = std::string(30000, '[') + "1e400" + std::string(30000, ']');
  const std::string error = parseScenario(R"({"levels": )" + huge + "}").error;
  EXPECT_EQ(error.substr(0, 12), "levels[0][0]") << error.substr(0, 100);
  EXPECT_EQ(error.substr(error.size() - 37), "[0]: a number too large for any field");
}

TEST(ScenarioLoader, EveryExampleLoads) {
  int examples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VEXA_SCENARIO_EXAMPLES)) {
    if (entry.path().extension() != ".json") continue;
    const ScenarioLoad load = loadScenarioFile(entry.path().string());
    EXPECT_TRUE(load.ok()) << load.error;
    ++examples;
  }
  EXPECT_GE(examples, 4);
}

}  // namespace
}  // namespace vexa
