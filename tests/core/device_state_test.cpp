#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "command_interpreter.h"
#include "fake_clock.h"
#include "live_ticks.h"

namespace vexa {
namespace {

TEST(DeviceBlocks, DefaultsAreThoseOfAnUnconfiguredUnit) {
  DeviceData d;
  writeConfigDefaults(d.config);
  writeLiveDefaults(d.live);
  deriveWorkValues(d);
  const uint8_t expected[28] = {0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 192,  168, 0,    250,
                                255,  255,  255,  0,    192,  168,  0,    1,   0xEE, 0x01,
                                0,    0,    0x00, 0x08, 0x03, 0x15, 0x20, 0x17};
  EXPECT_EQ(std::memcmp(&d.config, expected, sizeof expected), 0);
  EXPECT_EQ(d.WorkScale, 494);
  const uint8_t live[10] = {4, 0, 250, 0, 20, 0, 50, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&d.live, live, sizeof live), 0);
}

TEST(DeviceBlocks, WorkScaleIsTheSignedPair) {
  struct Case {
    uint8_t low, high;
    int16_t work;
  };
  for (const Case& c : {Case{0x00, 0x80, -32768}, Case{0xFF, 0xFF, -1}, Case{0xEE, 0x01, 494}}) {
    DeviceConfig config{};
    config.ScaleLow = c.low;
    config.ScaleHigh = c.high;
    EXPECT_EQ(workScaleOf(config), c.work);
  }
}

TEST(DeviceBlocks, LiveLevelsAreLittleEndianSigned) {
  LiveRecord live{};
  live.setNv(2, -3);
  EXPECT_EQ(live.Nv02Bytes[0], 0xFD);
  EXPECT_EQ(live.Nv02Bytes[1], 0xFF);
  EXPECT_EQ(live.Nv(2), -3);
  live.setInputFlags(0x1234);
  EXPECT_EQ(live.InputFlagsBytes[0], 0x34);
}

// Commands on one thread and ticks on another: no count is lost, texts are whole, snapshots
// are consistent. Run under ThreadSanitizer this also proves there is no data race.
TEST(DeviceState, CommandsAndTicksDoNotInterleave) {
  DeviceState state;
  testing::loadDefaults(state);
  testing::FakeTicks ticks;
  std::atomic<bool> done{false};
  std::atomic<bool> torn{false};
  std::thread listener([&] {
    for (int i = 0; i < 20000; ++i) {
      state.locked([&](DeviceData& d) {
        InterpretLine(d, "rst000001", ticks);
        const std::string body = InterpretLine(d, "snd000", ticks);
        // Before the first measurement tick MeasureText is still empty.
        const bool whole = body == "snd,000,0000000," || body == "snd,000,20,50,250,0000000," ||
                           body == "snd,000,20,50,250,0,1,1,0,0,0000000," ||
                           body == "snd,000,20,50,250,0,0,1,0,0,0000000,";
        if (!whole) torn = true;
        InterpretLine(d, "wPr000,001,001,001,001,002,002,002,002,003,003,003,003", ticks);
      });
    }
    done = true;
  });
  testing::FakeRandom random;
  while (!done) {
    resetTick(state);
    flagsStep(state);
    measurementTick(state, random);
    const auto snap = state.snapshot();
    const bool before = snap.config.Ip[0] == 192 && snap.config.Mask[0] == 255;
    const bool after = snap.config.Ip == std::array<uint8_t, 4>{1, 1, 1, 1} &&
                       snap.config.Mask == std::array<uint8_t, 4>{2, 2, 2, 2};
    ASSERT_TRUE(before || after);
  }
  listener.join();
  EXPECT_FALSE(torn);
  EXPECT_EQ(state.snapshot().config.Gateway[0], 3);
}

}  // namespace
}  // namespace vexa
