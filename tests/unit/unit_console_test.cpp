#include "unit_console.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_unit_clock.h"
#include "temp_dir.h"

namespace vexa {
namespace {

struct FakeEndpoint final : UnitEndpoint {
  bool on = true;
  bool fail = false;
  Status setActive(bool active) override {
    if (active && fail) return Status::Error("Modbus\rErro na abertura da porta 5010");
    on = active;
    return Status::Ok();
  }
  bool active() const override { return on; }
};

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() : unit(settings(), clock), console(unit) {
    unit.load();
    unit.setEndpoint(&endpoint);
  }
  UnitSettings settings() {
    UnitSettings s;
    s.paths = StatePaths::forDirectory(dir.path());
    s.randomSeed = 3;
    return s;
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
  FakeEndpoint endpoint;
  Unit unit;
  UnitConsole console;
};

TEST_F(ConsoleTest, InputsToggleLikeLedClicks) {
  EXPECT_EQ(run("input 0 on"), "");
  EXPECT_EQ(run("input 0 on"), "");  // already on: no toggle
  EXPECT_EQ(data().live.InputFlags(), 5);
  run("input 2 off");
  run("input 7 toggle");
  EXPECT_EQ(data().live.InputFlags(), 0x81);
  EXPECT_EQ(run("input 1 on").rfind("error: ", 0), 0u);
  EXPECT_EQ(data().live.InputFlags(), 0x81);
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
  EXPECT_EQ(run("endpoint on"), "error: Modbus Erro na abertura da porta 5010\n");
  EXPECT_NE(run("status").find("endpoint=off"), std::string::npos);
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
