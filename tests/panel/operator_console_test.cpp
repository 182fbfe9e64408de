#include <gtest/gtest.h>

#include "../core/fake_clock.h"
#include "operator_console.h"

namespace vexa {
namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest()
      : presenter(state, view, random),
        console({state, presenter, view, faults, [] { return true; }, [] { return uint64_t{3}; },
                 [this](bool force) {
                   ++quits;
                   forced = force;
                   return std::string(force ? "ok quit --force\n" : "ok quit\n");
                 },
                 [this] { return queueDropped; }, [this] { return unanswered; }}) {
    testing::loadDefaults(state);
    view.onSliderChange = [this](int level, int value) { presenter.sliderChange(level, value); };
  }
  DeviceData data() const {
    return state.locked([](const DeviceData& d) { return d; });
  }
  DeviceState state;
  ModelView view;
  testing::FakeRandom random;
  FaultInjector faults;
  Presenter presenter;
  OperatorConsole console;
  int quits = 0;
  bool forced = false;
  uint64_t queueDropped = 0;
  uint64_t unanswered = 0;
};

TEST_F(ConsoleTest, InputsToggleLikeLedClicks) {
  EXPECT_EQ(console.execute("input 0 on"), "ok input 0 on\n");
  EXPECT_EQ(console.execute("input 0 on"), "ok input 0 on\n");  // already on: no toggle
  EXPECT_EQ(data().live.InputFlags(), 5);
  EXPECT_EQ(console.execute("input 2 off"), "ok input 2 off\n");
  EXPECT_EQ(console.execute("input 7 toggle"), "ok input 7 on\n");
  EXPECT_EQ(data().live.InputFlags(), 0x81);
  EXPECT_EQ(console.execute("input 1 on").rfind("error: ", 0), 0u);
  EXPECT_EQ(data().live.InputFlags(), 0x81);
}

TEST_F(ConsoleTest, LevelsGoThroughTheSliders) {
  console.execute("level temp 25");
  EXPECT_EQ(view.slider(1).Value(), 38);
  EXPECT_EQ(data().live.Nv(1), 25);
  console.execute("level bat 700");
  EXPECT_EQ(data().live.Nv(0), 600);  // clamped by the slider
  console.execute("level umid 100");
  console.execute("level temp 99");
  EXPECT_EQ(data().live.Nv(1), 67);
  console.execute("auto on");
  EXPECT_TRUE(data().AutoMode);
  EXPECT_EQ(console.execute("level bat 100").rfind("error: ", 0), 0u);
  EXPECT_EQ(data().live.Nv(0), 600);
  console.execute("auto off");
  EXPECT_TRUE(view.slider(0).enabled());
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
      {"quit", "ok quit\n"},
      {"quit --force", "ok quit --force\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(console.execute(c.line), c.answer) << c.line;
  EXPECT_TRUE(forced);
  for (const char* line : {"help", "status", "status --json"}) {
    const std::string out = console.execute(line);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << line;
    EXPECT_EQ(out.back(), '\n') << line;
  }
  EXPECT_EQ(console.execute("help").rfind("ok ", 0), 0u);
}

TEST_F(ConsoleTest, ALevelAtTheSlidersPositionIsStillSet) {
  state.locked([](DeviceData& d) { d.live.setNv(0, -5); });  // the slider stands at 0
  EXPECT_EQ(console.execute("level bat 0"), "ok level bat 0\n");
  EXPECT_EQ(data().live.Nv(0), 0);
}

TEST_F(ConsoleTest, StatusJsonDecodesTheParameters) {
  state.locked([](DeviceData& d) {
    d.config.Ip = {10, 0, 0, 7};
    d.config.Mac = {0, 1, 2, 0xAB, 0, 0x0C};
    d.WorkScale = -2;
    d.WorkAjTemp = 200;
  });
  const std::string json = console.execute("status --json");
  for (const char* field :
       {"\"ip\":\"10.0.0.7\",\"ip_hex\":\"0A.00.00.07\"", "\"mask\":\"255.255.255.0\"",
        "\"mask_hex\":\"FF.FF.FF.00\"", "\"gateway\":\"192.168.0.1\"",
        "\"mac\":\"00:01:02:AB:00:0C\"", "\"scale\":-2,\"scale_hex\":\"FFFFFFFE\"",
        "\"aj_temp\":200,\"aj_temp_hex\":\"C8\"", "\"aj_umid\":0", "\"inputs_value\":4",
        "\"bat\":250", "\"token\":0", "\"variant\":150"}) {
    EXPECT_NE(json.find(field), std::string::npos) << field << " in " << json;
  }
}

TEST_F(ConsoleTest, VariantBatteryFaultsAndStatus) {
  console.execute("variant 130");
  EXPECT_EQ(data().VariantCode, 3);
  EXPECT_EQ(view.variantDown(), 3);
  console.execute("battery 2");
  EXPECT_EQ(view.batteryItem(), 2);
  console.execute("fault drop 0.5");
  console.execute("fault delay 20:5");
  EXPECT_DOUBLE_EQ(faults.settings().dropProbability, 0.5);
  EXPECT_EQ(faults.settings().delayJitterMs, 5);
  console.execute("fault off");
  EXPECT_FALSE(faults.settings().any());
  const std::string status = console.execute("status");
  EXPECT_NE(status.find("endpoint=on variant=130 inputs=00000100 bat=250"), std::string::npos)
      << status;
  EXPECT_NE(status.find("datagrams=3"), std::string::npos);
  EXPECT_EQ(status.back(), '\n');
  const std::string json = console.execute("status --json");
  EXPECT_EQ(json.rfind("{\"endpoint\":true,\"variant\":130,\"inputs\":\"00000100\"", 0), 0u)
      << json;
  EXPECT_EQ(console.execute("quit"), "ok quit\n");
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(forced);
}

// What the bounds dropped shows in the status, in both forms.
TEST_F(ConsoleTest, StatusCountsDroppedDelayedRepliesAndUnansweredLines) {
  for (const auto& [dropped, lines] :
       {std::pair<uint64_t, uint64_t>{0, 0}, {1, 0}, {0, 1}, {1234567, 89}}) {
    queueDropped = dropped;
    unanswered = lines;
    const std::string text = console.execute("status");
    EXPECT_NE(text.find(" delay_overflow=" + std::to_string(dropped) + " "), std::string::npos)
        << text;
    EXPECT_NE(text.find(" unanswered=" + std::to_string(lines) + "\n"), std::string::npos) << text;
    const std::string json = console.execute("status --json");
    EXPECT_NE(json.find("\"delay_overflow\":" + std::to_string(dropped) + ","), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"unanswered\":" + std::to_string(lines) + "}"), std::string::npos)
        << json;
  }
}

TEST_F(ConsoleTest, MalformedCommandsChangeNothing) {
  const DeviceData before = data();
  for (const char* line :
       {"bogus", "input", "input 9 on", "input 0 maybe", "level x 1", "level bat", "level bat 1.5",
        "auto", "auto yes", "variant 120", "battery 3", "endpoint", "fault", "fault drop 2",
        "fault delay a", "status json", "quit now", "quit --forced", "input 0 on extra"}) {
    const std::string out = console.execute(line);
    EXPECT_EQ(out.rfind("error: ", 0), 0u) << line;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << line;
  }
  const DeviceData after = data();
  EXPECT_EQ(after.live.InputFlags(), before.live.InputFlags());
  EXPECT_EQ(after.VariantCode, before.VariantCode);
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(console.execute("   "), "");
}

}  // namespace
}  // namespace vexa
