#include <gtest/gtest.h>

#include "fake_clock.h"
#include "live_ticks.h"

namespace vexa {
namespace {

TEST(FlagsText, FromInputBits) {
  struct Case {
    uint16_t flags;
    const char* text;
  };
  const Case cases[] = {{0, "0,1,0,0,0,"},    {4, "0,1,1,0,0,"},      {0x1F, "1,0,1,1,1,"},
                        {0xE0, "0,1,0,0,0,"}, {0xFF00, "0,1,0,0,0,"}, {0x02, "0,0,0,0,0,"}};
  for (const Case& c : cases) EXPECT_EQ(flagsTextOf(c.flags), c.text) << c.flags;
}

class TicksTest : public ::testing::Test {
 protected:
  TicksTest() { testing::loadDefaults(state); }
  DeviceData data() const {
    return state.locked([](const DeviceData& d) { return d; });
  }
  DeviceState state;
  testing::FakeRandom random;
};

TEST_F(TicksTest, MeasureTextBeforeAndAfterTheFirstFlagsStep) {
  measurementTick(state, random);
  EXPECT_EQ(data().MeasureText, "20,50,250,");
  flagsStep(state);
  measurementTick(state, random);
  EXPECT_EQ(data().MeasureText, "20,50,250,0,1,1,0,0,");
  state.locked([](DeviceData& d) { d.live.setNv(1, -5); });
  measurementTick(state, random);
  EXPECT_EQ(data().MeasureText, "-5,50,250,0,1,1,0,0,");
}

TEST_F(TicksTest, AutoModeDrawsLevelsInOrderAndInRange) {
  state.locked([](DeviceData& d) { d.AutoMode = true; });
  random.draws = {0, 0, 0};
  measurementTick(state, random);
  EXPECT_EQ(data().live.Nv(0), 230);
  EXPECT_EQ(data().live.Nv(1), 25);
  EXPECT_EQ(data().live.Nv(2), 60);
  random.draws = {29, 9, 19};
  measurementTick(state, random);
  EXPECT_EQ(data().live.Nv(0), 259);
  EXPECT_EQ(data().live.Nv(1), 34);
  EXPECT_EQ(data().live.Nv(2), 79);
  SeededRandom real(1);
  for (int i = 0; i < 500; ++i) {
    measurementTick(state, real);
    const DeviceData d = data();
    ASSERT_GE(d.live.Nv(0), 230);
    ASSERT_LE(d.live.Nv(0), 259);
    ASSERT_GE(d.live.Nv(1), 25);
    ASSERT_LE(d.live.Nv(1), 34);
    ASSERT_GE(d.live.Nv(2), 60);
    ASSERT_LE(d.live.Nv(2), 79);
  }
}

TEST_F(TicksTest, ManualModeKeepsLevels) {
  measurementTick(state, random);
  EXPECT_EQ(data().live.Nv(0), 250);
}

TEST_F(TicksTest, ResetHoldsForTheRequestedTicks) {
  state.locked([](DeviceData& d) { d.ResetCountdown = 300; });
  EXPECT_TRUE(resetTick(state));
  EXPECT_EQ(data().ResetCountdown, 299);
  EXPECT_TRUE(data().live.InputFlags() & 2);
  flagsStep(state);
  EXPECT_EQ(data().FlagsText, "0,0,1,0,0,");
  for (int tick = 2; tick < 300; ++tick) ASSERT_TRUE(resetTick(state)) << tick;
  EXPECT_FALSE(resetTick(state));  // the 300th tick releases
  EXPECT_EQ(data().ResetCountdown, 0);
  EXPECT_EQ(data().live.InputFlags(), 4);
}

TEST_F(TicksTest, ZeroOrNegativeCountsHoldNoReset) {
  for (int32_t count : {0, -500}) {
    state.locked([&](DeviceData& d) {
      d.ResetCountdown = count;
      d.live.setInputFlags(0xFF06);  // bit 1 loaded as set is cleared by the first tick
    });
    EXPECT_FALSE(resetTick(state));
    EXPECT_EQ(data().ResetCountdown, count);
    EXPECT_EQ(data().live.InputFlags(), 0xFF04);
  }
}

}  // namespace
}  // namespace vexa
