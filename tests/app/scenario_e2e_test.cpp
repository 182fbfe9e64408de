// Scenarios end to end: the real headless program over UDP on 127.0.0.1 (ports 25200 to 25399),
// at high time factors so each test takes a few seconds.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "reply_body.h"
#include "sim_process.h"

namespace vexa {
namespace {

using testing::writeFile;
using Clock = std::chrono::steady_clock;

// Asks `status` until its line holds `text`, or `timeoutMs` passes.
bool statusShows(testing::SimProcess& sim, const std::string& prefix, const std::string& text,
                 int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    sim.input(prefix + "status\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string out = sim.standardOutput();
    const size_t last = out.rfind("endpoint=");
    if (last != std::string::npos && out.find(text, last) != std::string::npos) return true;
  }
  return false;
}

// Whether the unit on `port` answers rPr000 within `waitMs`.
bool answers(uint16_t port, int waitMs) {
  UdpClient client;
  return client.request(port, "rPr000\n", waitMs).has_value();
}

// Polls until the unit's answering is `want`, or `timeoutMs` passes.
bool becomes(uint16_t port, bool want, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    if (answers(port, 150) == want) return true;
  }
  return false;
}

TEST(ScenarioE2E, StepsReachTheStatusAndSndAndStoppingHandsTheLevelBack) {
  testing::TempDir dir;
  // At factor 100 the step at scenario second 100 comes after one real second.
  writeFile(dir.file("steps.json"), R"({"name": "step up", "levels": {
      "temp": {"kind": "steps", "steps": [{"at": 0, "value": 20}, {"at": 100, "value": 40}]},
      "umid": {"kind": "constant", "value": 33}}})");
  testing::SimProcess sim(dir);
  const uint16_t port = 25200;
  sim.start({"--headless", "--port", std::to_string(port), "--state-dir", dir.path(), "--scenario",
             dir.file("steps.json"), "--time-factor", "100"},
            {}, true);
  ASSERT_TRUE(sim.waitUntilAnswering(port));
  ASSERT_TRUE(statusShows(sim, "", "temp=40 ", 30000)) << sim.standardOutput();
  EXPECT_TRUE(statusShows(sim, "", "umid=33 umid_text=33 auto=off", 30000));
  EXPECT_TRUE(statusShows(
      sim, "", R"(temp_source="scenario steps" umid_source="scenario constant")", 30000));
  EXPECT_TRUE(
      statusShows(sim, "", "scenario=" + dir.file("steps.json") + " scenario_time=", 30000));
  // A driven level refuses the operator, in auto mode too it keeps its value.
  sim.input("level temp 10\nauto on\n");
  ASSERT_TRUE(sim.waitForOutput("error: level temp follows the scenario steps"));
  // The measurement of every 2 s reports the driven levels: temperature, humidity first.
  UdpClient client;
  bool seen = false;
  for (const auto end = Clock::now() + std::chrono::seconds(30); !seen && Clock::now() < end;) {
    seen = testing::replyBody(client.request(port, "snd000\n", 1000)).find("40,33,") !=
           std::string::npos;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_TRUE(seen);
  sim.input("status --json\n");
  ASSERT_TRUE(sim.waitForOutput("\"temp_source\":\"scenario steps\""));
  EXPECT_TRUE(sim.waitForOutput("\"scenario\":{\"file\":"));
  EXPECT_TRUE(sim.waitForOutput("\"name\":\"step up\""));
  sim.input("scenario stop\nauto off\nlevel temp 10\n");
  ASSERT_TRUE(sim.waitForOutput("ok scenario stop"));
  EXPECT_TRUE(sim.waitForOutput("ok level temp 10\n"));
  EXPECT_TRUE(statusShows(sim, "", "temp_source=operator", 30000));
  sim.input("scenario stop\nscenario start " + dir.file("missing.json") + "\n");
  EXPECT_TRUE(sim.waitForOutput("error: no scenario runs"));
  EXPECT_TRUE(sim.waitForOutput("error: " + dir.file("missing.json") + ": "));
  sim.input("quit\n");
  EXPECT_EQ(sim.waitForExit(), 0);
}

// A unit started with --time-factor but no scenario runs a scenario started later at that
// factor: the step at scenario second 100 comes after about a real second, not 100.
TEST(ScenarioE2E, AScenarioStartedLaterKeepsTheTimeFactorOfTheCommandLine) {
  testing::TempDir dir;
  writeFile(dir.file("steps.json"), R"({"levels": {
      "temp": {"kind": "steps", "steps": [{"at": 0, "value": 20}, {"at": 100, "value": 40}]}}})");
  testing::SimProcess sim(dir);
  const uint16_t port = 25225;
  sim.start({"--headless", "--port", std::to_string(port), "--state-dir", dir.path(),
             "--time-factor", "100"},
            {}, true);
  ASSERT_TRUE(sim.waitUntilAnswering(port));
  sim.input("scenario start " + dir.file("steps.json") + "\n");
  ASSERT_TRUE(sim.waitForOutput("ok scenario start"));
  EXPECT_TRUE(statusShows(sim, "", "temp=40 ", 30000)) << sim.standardOutput();
  sim.input("quit\n");
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(ScenarioE2E, AnUnpluggedUnitStopsAnsweringThenAnswersAgain) {
  testing::TempDir dir;
  // At factor 10: unplugged from 1.5 s to 3.5 s of real time.
  writeFile(dir.file("dropout.json"),
            R"({"unit": [{"kind": "endpoint_off", "at": 15, "for": 20}]})");
  testing::SimProcess sim(dir);
  const uint16_t port = 25210;
  sim.start({"--headless", "--port", std::to_string(port), "--state-dir", dir.path(), "--scenario",
             dir.file("dropout.json"), "--time-factor", "10"},
            {}, true);
  ASSERT_TRUE(sim.waitUntilAnswering(port));
  ASSERT_TRUE(becomes(port, false, 5000));
  EXPECT_TRUE(statusShows(sim, "", "endpoint=off", 30000));
  ASSERT_TRUE(becomes(port, true, 5000));
  EXPECT_TRUE(statusShows(sim, "", "endpoint=on", 30000));
  sim.input("quit\n");
  EXPECT_EQ(sim.waitForExit(), 0);
}

// Every unit's battery from `all status`, by unit number.
std::map<int, int> batteries(const std::string& out) {
  std::map<int, int> values;
  static const std::regex line(R"(unit (\d+): endpoint=\S+ variant=\d+ inputs=\d+ bat=(\d+) )");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
       ++it) {
    values[std::stoi((*it)[1])] = std::stoi((*it)[2]);
  }
  return values;
}

TEST(ScenarioE2E, AFleetOfAHundredRunsEachUnitAtItsOwnPhase) {
  testing::TempDir dir;
  // A slow ramp: unit N starts 6 (N - 1) scenario seconds in, so it reads 6 (N - 1) plus the
  // seconds since the start.
  writeFile(dir.file("ramp.json"),
            R"({"levels": {"bat": {"kind": "ramp", "from": 0, "to": 600, "over": 600}}})");
  testing::SimProcess fleet(dir);
  fleet.start({"--units", "100", "--port-base", "25250", "--bind", "127.0.0.1", "--state-dir",
               dir.path(), "--scenario", dir.file("ramp.json"), "--scenario-stagger", "6"},
              {}, true);
  ASSERT_TRUE(fleet.waitUntilAnswering(25250));
  ASSERT_TRUE(fleet.waitUntilAnswering(25349));
  fleet.input("all status\n");
  ASSERT_TRUE(fleet.waitForOutput("unit 100: endpoint="));
  const std::map<int, int> values = batteries(fleet.standardOutput());
  ASSERT_EQ(values.size(), 100u);
  std::set<int> distinct;
  for (const auto& [number, bat] : values) {
    distinct.insert(bat);
    EXPECT_GE(bat, 6 * (number - 1)) << number;
    EXPECT_LE(bat, std::min(600, 6 * (number - 1) + 5)) << number;
  }
  EXPECT_EQ(distinct.size(), 100u);
  // One unit's scenario stops; the others run on.
  fleet.input("unit 7 scenario stop\nunit 7 status\nunit 8 status\n");
  ASSERT_TRUE(fleet.waitForOutput("ok scenario stop"));
  EXPECT_TRUE(fleet.waitForOutput("bat_source=operator"));
  EXPECT_TRUE(fleet.waitForOutput(R"(bat_source="scenario ramp")"));
  fleet.input("quit\n");
  EXPECT_EQ(fleet.waitForExit(20000), 0);
}

TEST(ScenarioE2E, AFleetFileGivesUnitsTheirOwnScenarioAndOffset) {
  testing::TempDir dir;
  ::mkdir(dir.file("scenarios").c_str(), 0755);
  writeFile(dir.file("scenarios/flat.json"),
            R"({"levels": {"umid": {"kind": "ramp", "from": 0, "to": 100, "over": 100}}})");
  writeFile(dir.file("fleet.json"), R"({"defaults": {"address": "127.0.0.1"}, "units": [
      {"port": 25300, "scenario": "scenarios/flat.json"},
      {"port": 25301, "scenario": "scenarios/flat.json", "scenario_offset": 70},
      {"port": 25302}]})");
  testing::SimProcess fleet(dir);
  fleet.start({"--fleet", dir.file("fleet.json"), "--state-dir", dir.path()}, {}, true);
  ASSERT_TRUE(fleet.waitUntilAnswering(25302));
  fleet.input("all status\n");
  ASSERT_TRUE(fleet.waitForOutput("unit 3: endpoint="));
  const std::string out = fleet.standardOutput();
  EXPECT_TRUE(
      std::regex_search(out, std::regex(R"(unit 1: .* umid=[0-4] .*umid_source="scenario ramp")")))
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(unit 2: .* umid=7[0-4] )"))) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(unit 3: .*umid_source=operator scenario=none)")))
      << out;
  fleet.input("quit\n");
  EXPECT_EQ(fleet.waitForExit(), 0);
}

TEST(ScenarioE2E, AnInvalidScenarioExitsTwoNamingTheFieldBeforeAnythingIsWritten) {
  testing::TempDir dir;
  writeFile(dir.file("bad.json"),
            R"({"levels": {"temp": {"kind": "sine", "mean": 30, "amplitude": 5, "period": 0}}})");
  writeFile(dir.file("fleet.json"), R"({"units": [{"port": 25310, "scenario": "bad.json"}]})");
  const std::vector<std::vector<std::string>> cases = {
      {"--headless", "--port", "25311", "--scenario", dir.file("bad.json")},
      {"--units", "3", "--port-base", "25312", "--scenario", dir.file("bad.json")},
      {"--fleet", dir.file("fleet.json")},
  };
  for (std::vector<std::string> args : cases) {
    const std::string stateDir = dir.file("state");
    args.insert(args.end(), {"--state-dir", stateDir});
    testing::SimProcess sim(dir);
    sim.start(args);
    EXPECT_EQ(sim.waitForExit(), 2) << args[0];
    const std::string err = sim.standardError();
    EXPECT_NE(err.find("bad.json: levels.temp.period: "), std::string::npos) << err;
    EXPECT_FALSE(testing::fileExists(stateDir + "/VXS1.dat")) << args[0];
    EXPECT_FALSE(testing::fileExists(stateDir + "/unit-0001")) << args[0];
  }
  for (const auto& [option, value] :
       std::vector<std::pair<std::string, std::string>>{{"--time-factor", "0"},
                                                        {"--time-factor", "1001"},
                                                        {"--scenario-seed", "-1"},
                                                        {"--scenario-stagger", "x"},
                                                        {"--scenario", dir.file("missing.json")}}) {
    testing::SimProcess sim(dir);
    sim.start({"--headless", "--port", "25313", "--state-dir", dir.file("state"), option, value});
    EXPECT_EQ(sim.waitForExit(), 2) << option << " " << value;
    EXPECT_NE(sim.standardError().find(option == "--scenario" ? "missing.json" : option),
              std::string::npos)
        << sim.standardError();
  }
}

}  // namespace
}  // namespace vexa
