#include "unit_console.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_unit_clock.h"
#include "temp_dir.h"

namespace vexa {
namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() : unit(testing::unitSettingsIn(dir, 3), clock), console(unit) {
    unit.load();
    unit.setEndpoint(&endpoint);
  }
  std::string run(const std::string& line) {
    bool known = false;
    const std::string out = console.execute(UnitConsole::wordsOf(line), known);
    return known ? out : "unknown\n";
  }
  DeviceData data() {
    unit.catchUp();
    return unit.state().locked([](const DeviceData& d) { return d; });
  }
  testing::TempDir dir;
  testing::FakeUnitClock clock;
  testing::FakeEndpoint endpoint;
  Unit unit;
  UnitConsole console;
};

TEST_F(ConsoleTest, InputsToggleLikeLedClicks) {
  EXPECT_EQ(run("input 0 on"), "ok input 0 on\n");
  EXPECT_EQ(run("input 0 on"), "ok input 0 on\n");  // already on: no toggle
  EXPECT_EQ(data().live.InputFlags(), 5);
  EXPECT_EQ(run("input 2 off"), "ok input 2 off\n");
  EXPECT_EQ(run("input 7 toggle"), "ok input 7 on\n");
  EXPECT_EQ(data().live.InputFlags(), 0x81);
  EXPECT_EQ(run("input 1 on").rfind("error: ", 0), 0u);
  EXPECT_EQ(data().live.InputFlags(), 0x81);
}

// An input is named as in the API and scenarios: its bit, or its name in either spelling.
TEST_F(ConsoleTest, InputsByNumberOrName) {
  const std::string presenca =
      "presen\xC3\xA7"
      "a";
  const std::pair<std::string, std::string> cases[] = {
      {"input " + presenca + " on", "ok input 0 on\n"},
      {"input presenca off", "ok input 0 off\n"},
      {"input " + presenca + " toggle", "ok input 0 on\n"},
      {"input rede toggle", "ok input 2 off\n"},
      {"input rede2 on", "ok input 3 on\n"},
      {"input rede3 on", "ok input 4 on\n"},
      {"input reserva5 on", "ok input 5 on\n"},
      {"input reserva7 toggle", "ok input 7 on\n"},
  };
  for (const auto& [line, answer] : cases) EXPECT_EQ(run(line), answer) << line;
  EXPECT_EQ(data().live.InputFlags(), 0xB9);
  for (const char* line : {"input reset on", "input Rede on", "input presen on", "input 0x1 on"}) {
    EXPECT_EQ(run(line).rfind("error: ", 0), 0u) << line;
  }
  EXPECT_EQ(data().live.InputFlags(), 0xB9);
}

TEST_F(ConsoleTest, LevelsGoThroughTheSliders) {
  run("level temp 25");
  EXPECT_EQ(unit.sliderPosition(1), 38);
  EXPECT_EQ(data().live.Nv(1), 25);
  run("level bat 700");
  EXPECT_EQ(data().live.Nv(0), 600);  // clamped by the slider
  run("level umid 100");
  run("level temp 99");
  EXPECT_EQ(data().live.Nv(1), 67);
  run("auto on");
  EXPECT_TRUE(data().AutoMode);
  EXPECT_EQ(run("level bat 100").rfind("error: ", 0), 0u);
  EXPECT_EQ(data().live.Nv(0), 600);
  run("auto off");
  EXPECT_FALSE(data().AutoMode);
}

TEST_F(ConsoleTest, VariantBatteryFaultsEndpointAndStatus) {
  run("variant 130");
  EXPECT_EQ(data().VariantCode, 3);
  run("battery 2");
  EXPECT_EQ(unit.battery(), 2);
  run("fault drop 0.5");
  run("fault delay 20:5");
  EXPECT_DOUBLE_EQ(unit.faults().dropProbability, 0.5);
  EXPECT_EQ(unit.faults().delayJitterMs, 5);
  run("fault off");
  EXPECT_FALSE(unit.faults().any());
  const std::string status = run("status");
  EXPECT_EQ(status.rfind("endpoint=on variant=130 inputs=00000100 bat=250 bat_text=98,8 ", 0), 0u)
      << status;
  EXPECT_NE(status.find("datagrams=0"), std::string::npos);
  EXPECT_EQ(status.back(), '\n');
  const std::string json = run("status --json");
  EXPECT_EQ(json.rfind("{\"endpoint\":true,\"variant\":130,\"inputs\":\"00000100\"", 0), 0u)
      << json;
  run("endpoint off");
  EXPECT_FALSE(endpoint.on);
  endpoint.fail = true;
  EXPECT_EQ(run("endpoint on"),
            "error: Modbus Erro na abertura da porta 5010; the endpoint stays off\n");
  EXPECT_NE(run("status").find("endpoint=off"), std::string::npos);
}

TEST_F(ConsoleTest, EveryCommandAnswersOneLineWithWhatChanged) {
  struct Case {
    const char* line;
    const char* answer;
  };
  const Case cases[] = {
      {"level temp 25", "ok level temp 25\n"},
      {"level temp 80", "ok level temp 67 (clamped from 80)\n"},
      {"level temp 67", "ok level temp 67\n"},
      {"level bat 700", "ok level bat 600 (clamped from 700)\n"},
      {"level bat 600", "ok level bat 600\n"},
      {"level bat -5", "ok level bat 0 (clamped from -5)\n"},
      {"level umid 101", "ok level umid 100 (clamped from 101)\n"},
      {"level umid 0", "ok level umid 0\n"},
      {"auto on", "ok auto on\n"},
      {"auto off", "ok auto off\n"},
      {"variant 110", "ok variant 110\n"},
      {"battery 1", "ok battery 1 (120 V)\n"},
      {"endpoint on", "ok endpoint on\n"},
      {"fault drop 0.25", "ok fault drop 0.25 delay 0:0 corrupt 0\n"},
      {"fault delay 20:5", "ok fault drop 0.25 delay 20:5 corrupt 0\n"},
      {"fault off", "ok fault off\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.line), c.answer) << c.line;
  for (const char* line : {"status", "status --json"}) {
    const std::string out = run(line);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << line;
    EXPECT_EQ(out.back(), '\n') << line;
  }
}

TEST_F(ConsoleTest, ALevelAtTheSlidersPositionIsStillSet) {
  ASSERT_EQ(unit.sliderPosition(0), 250);
  unit.state().locked([](DeviceData& d) { d.live.setNv(0, -5); });  // the slider stays at 250
  EXPECT_EQ(run("level bat 250"), "ok level bat 250\n");
  EXPECT_EQ(data().live.Nv(0), 250);
}

TEST_F(ConsoleTest, StatusJsonDecodesTheParametersAndCountsWhatTheBoundsDropped) {
  unit.state().locked([](DeviceData& d) {
    d.config.Ip = {10, 0, 0, 7};
    d.config.Mac = {0, 1, 2, 0xAB, 0, 0x0C};
    d.WorkScale = -2;
    d.WorkAjTemp = 200;
  });
  const std::string json = run("status --json");
  for (const char* field :
       {"\"ip\":\"10.0.0.7\",\"ip_hex\":\"0A.00.00.07\"", "\"mask\":\"255.255.255.0\"",
        "\"mask_hex\":\"FF.FF.FF.00\"", "\"gateway\":\"192.168.0.1\"",
        "\"mac\":\"00:01:02:AB:00:0C\"", "\"scale\":-2,\"scale_hex\":\"FFFFFFFE\"",
        "\"aj_temp\":200,\"aj_temp_hex\":\"C8\"", "\"aj_umid\":0", "\"inputs_value\":4",
        "\"bat\":250", "\"token\":0", "\"variant\":150", "\"delay_overflow\":0,",
        "\"unanswered\":0,", "\"bat_source\":\"operator\"", "\"scenario\":null}"}) {
    EXPECT_NE(json.find(field), std::string::npos) << field << " in " << json;
  }
  EXPECT_NE(
      run("status").find(" delay_overflow=0 unanswered=0 bat_source=operator temp_source=operator "
                         "umid_source=operator scenario=none\n"),
      std::string::npos);
}

// The sources read as the API's "source": "operator", in auto mode too, or the scenario.
TEST_F(ConsoleTest, LevelSourcesInTheApisWords) {
  run("auto on");
  EXPECT_NE(run("status").find(" bat_source=operator temp_source=operator umid_source=operator "),
            std::string::npos);
  EXPECT_NE(run("status --json").find(R"("bat_source":"operator","temp_source":"operator")"),
            std::string::npos);
  testing::writeFile(dir.file("sine.json"), R"({"levels": {"temp": {"kind": "sine", "mean": 20,
      "amplitude": 5, "period": 60}}})");
  ASSERT_EQ(run("scenario start " + dir.file("sine.json")).rfind("ok ", 0), 0u);
  const std::string line = run("status");
  EXPECT_NE(line.find(R"( bat_source=operator temp_source="scenario sine" umid_source=operator )"),
            std::string::npos)
      << line;
  const std::string json = run("status --json");
  EXPECT_NE(json.find(R"("temp_source":"scenario sine")"), std::string::npos) << json;
  run("scenario stop");
  EXPECT_NE(run("status").find(" temp_source=operator "), std::string::npos);
}

TEST_F(ConsoleTest, MalformedCommandsChangeNothing) {
  const DeviceData before = data();
  for (const char* line :
       {"input 9 on", "input 0 maybe", "level x 1", "level bat 1.5", "variant 120", "battery 3",
        "fault drop 2", "fault delay a", "fault drop"}) {
    const std::string out = run(line);
    EXPECT_EQ(out.rfind("error: ", 0), 0u) << line;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << line;
  }
  for (const char* line : {"bogus", "auto", "auto yes", "endpoint", "status json", "quit", "input",
                           "level bat", "fault", "input 0 on extra"}) {
    EXPECT_EQ(run(line), "unknown\n") << line;
  }
  const DeviceData after = data();
  EXPECT_EQ(after.live.InputFlags(), before.live.InputFlags());
  EXPECT_EQ(after.VariantCode, before.VariantCode);
}

}  // namespace
}  // namespace vexa
