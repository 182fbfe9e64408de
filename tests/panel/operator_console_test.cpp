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
                 [this] { ++quits; }, [this] { return queueDropped; },
                 [this] { return unanswered; }}) {
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
  uint64_t queueDropped = 0;
  uint64_t unanswered = 0;
};

TEST_F(ConsoleTest, InputsToggleLikeLedClicks) {
  EXPECT_EQ(console.execute("input 0 on"), "");
  EXPECT_EQ(console.execute("input 0 on"), "");  // already on: no toggle
  EXPECT_EQ(data().live.InputFlags(), 5);
  console.execute("input 2 off");
  console.execute("input 7 toggle");
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
  console.execute("quit");
  EXPECT_EQ(quits, 1);
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
        "fault delay a", "status json", "quit now", "input 0 on extra"}) {
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
