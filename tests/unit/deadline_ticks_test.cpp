// The deadline ticks against the ticking unit: at every moment of a table, the same replies byte
// for byte and the same live state. The reference runs the 10 ms, 100 ms and 2 s tick
// functions on every boundary, as the timers would; the unit only catches up when looked at.
#include <gtest/gtest.h>

#include <cstdio>

#include "datagram_handler.h"
#include "fake_clock.h"
#include "fake_unit_clock.h"
#include "live_ticks.h"
#include "temp_dir.h"
#include "unit.h"

namespace vexa {
namespace {

constexpr uint32_t kSeed = 77;

// The ticking unit: the state after a start-up without files, and the three tick functions
// run at every boundary up to the moment asked for; ticks due at one instant run 10 ms, 100 ms,
// 2 s, and all before an action at that instant.
class TickingUnit {
 public:
  TickingUnit() : random_(kSeed), handler_(state_, ticks_) {
    state_.locked([](DeviceData& d) { writeStartupDefaults(d); });
    measurementTick(state_, random_);
  }
  void runTo(int64_t t) {
    for (; time_ < t;) {
      ++time_;
      if (time_ % 10 == 0) resetTick(state_);
      if (time_ % 100 == 0) flagsStep(state_);
      if (time_ % 2000 == 0) measurementTick(state_, random_);
    }
    ticks_.now = static_cast<uint32_t>(t);
  }
  std::vector<std::string> request(const std::string& line) { return handler_.handle(line); }
  DeviceState& state() { return state_; }

 private:
  DeviceState state_;
  testing::FakeTicks ticks_;
  SmallRandom random_;
  DatagramHandler handler_;
  int64_t time_ = 0;
};

// The deadline-tick unit under test: loaded in a folder of its own with the table's seed, on
// a clock moved by hand.
struct SeededUnit {
  SeededUnit() { unit.load(); }
  testing::TempDir dir;
  testing::FakeUnitClock clock;
  Unit unit{testing::unitSettingsIn(dir, kSeed), clock};
};

struct Step {
  int64_t at;
  std::string line;   // a request datagram, or empty
  int input = -1;     // an input bit to toggle, or -1
  int autoMode = -1;  // 0 or 1 to switch auto mode, or -1
};

std::string liveOf(const DeviceData& d) {
  char text[200];
  std::snprintf(text, sizeof text, "count=%d inputs=%04X nv=%d,%d,%d flags=%s measure=%s",
                d.ResetCountdown, d.live.InputFlags(), d.live.Nv(0), d.live.Nv(1), d.live.Nv(2),
                d.FlagsText.c_str(), d.MeasureText.c_str());
  return text;
}

TEST(DeadlineTicks, RepliesMatchTheTickingUnitAtEveryMomentOfTheTable) {
  SeededUnit seeded;
  testing::FakeUnitClock& clock = seeded.clock;
  Unit& unit = seeded.unit;
  TickingUnit ticking;

  // snd replies carry MeasureText (and through it FlagsText); rst uses the token of the snd
  // just before it (the tick count in ms, so "0" + seven digits of the moment).
  auto rst = [](int64_t sndAt, int seconds) {
    char line[40];
    std::snprintf(line, sizeof line, "rst000%03d0%07d\n", seconds,
                  static_cast<int>(sndAt & 0xFFFF));
    return std::string(line);
  };
  const std::vector<Step> table = {{0, "snd000\n"},
                                   {9, "snd000\n"},
                                   {10, "snd000\n"},
                                   {11, "snd000\n"},
                                   {99, "snd000\n"},
                                   {100, "snd000\n"},
                                   {101, "snd000\n"},
                                   {1999, "snd000\n"},
                                   {2000, "snd000\n"},
                                   {2001, "snd000\n"},
                                   {2050, "", 0},
                                   {2099, "snd000\n"},
                                   {2100, "snd000\n"},
                                   {3999, "snd000\n"},
                                   {4000, "snd000\n"},
                                   {4003, "snd000\n"},
                                   {4005, rst(4003, 1)},
                                   {4009, "snd000\n"},
                                   {4010, "snd000\n"},
                                   {4011, "snd000\n"},
                                   {4099, "snd000\n"},
                                   {4100, "snd000\n"},
                                   {4999, "snd000\n"},
                                   {5000, "snd000\n"},
                                   {5001, "snd000\n"},
                                   {5099, "snd000\n"},
                                   {5100, "snd000\n"},
                                   {5999, "snd000\n"},
                                   {6000, "snd000\n"},
                                   {6001, "", -1, 1},
                                   {7999, "snd000\n"},
                                   {8000, "snd000\n"},
                                   {8001, "snd000\n"},
                                   {9999, "snd000\n"},
                                   {10000, "snd000\n"},
                                   {10001, "", -1, 0},
                                   {11999, "snd000\n"},
                                   {12000, "snd000\n"},
                                   {12003, "snd000\n"},
                                   {12004, rst(12003, 30)},
                                   {12015, "snd000\n"},
                                   {12300, rst(12003, 2)},
                                   {12309, "snd000\n"},
                                   {12310, "snd000\n"},
                                   {14299, "snd000\n"},
                                   {14300, "snd000\n"},
                                   {14310, "snd000\n"},
                                   {16000, "snd000\n"},
                                   {16001, "", -1, 1},
                                   {75999, "snd000\n"},
                                   {76000, "snd000\n"},
                                   {76001, "", -1, 0},
                                   {76002, "snd000\nrPr000\n"},
                                   {76003, rst(76002, -5)},
                                   {76010, "snd000\n"},
                                   {99999, "snd000\n"},
                                   {100000, "snd000\n"},
                                   {100001, rst(100000, 999)},
                                   {160000, "snd000\n"},
                                   {199990, "snd000\n"},
                                   {200000, "snd000\n"},
                                   {200001, "", 3},
                                   {200099, "snd000\n"},
                                   {200100, "snd000\n"},
                                   {202000, "snd000\n"}};

  for (const Step& step : table) {
    ticking.runTo(step.at);
    clock.now = step.at;
    if (!step.line.empty()) {
      testing::CollectingOut out;
      unit.handleDatagram(step.line, out);
      EXPECT_EQ(out.replies, ticking.request(step.line)) << "at " << step.at << " " << step.line;
    }
    if (step.input >= 0) {
      unit.setInput(step.input, Unit::InputAction::Toggle);
      ticking.state().locked([&](DeviceData& d) {
        d.live.setInputFlags(static_cast<uint16_t>(d.live.InputFlags() ^ (1u << step.input)));
      });
    }
    if (step.autoMode >= 0) {
      unit.setAuto(step.autoMode == 1);
      ticking.state().locked([&](DeviceData& d) { d.AutoMode = step.autoMode == 1; });
    }
    unit.catchUp();
    const std::string mine = unit.state().locked([](const DeviceData& d) { return liveOf(d); });
    const std::string theirs =
        ticking.state().locked([](const DeviceData& d) { return liveOf(d); });
    ASSERT_EQ(mine, theirs) << "at " << step.at;
  }
}

// Between the table's moments: every millisecond of 4.2 s around a reset hold, read with
// strides of several lengths, so catch-ups span every mix of boundaries.
TEST(DeadlineTicks, ReadsAtEveryStrideAroundAResetHold) {
  for (const int stride : {1, 3, 37, 130, 450, 2001}) {
    SeededUnit seeded;
    testing::FakeUnitClock& clock = seeded.clock;
    Unit& unit = seeded.unit;
    unit.setAuto(true);
    TickingUnit ticking;
    ticking.state().locked([](DeviceData& d) { d.AutoMode = true; });
    for (int64_t t = 1; t <= 4200; ++t) {
      ticking.runTo(t);
      clock.now = t;
      if (t == 1234) {
        testing::CollectingOut out;
        unit.handleDatagram("rst000002 0000000\n", out);
        ASSERT_EQ(out.replies, ticking.request("rst000002 0000000\n"));
      }
      if (t % stride != 0) continue;
      const Unit::Reading r = unit.read();
      const DeviceData d = ticking.state().locked([](const DeviceData& x) { return x; });
      ASSERT_EQ(r.countdown, d.ResetCountdown) << stride << " " << t;
      ASSERT_EQ(r.inputs, d.live.InputFlags()) << stride << " " << t;
      ASSERT_EQ(r.flagsText, d.FlagsText) << stride << " " << t;
      ASSERT_EQ(r.measureText, d.MeasureText) << stride << " " << t;
    }
  }
}

TEST(DeadlineTicks, NothingRunsBeforeStartAndTimeNeverRunsBackwards) {
  DeviceData d;
  writeStartupDefaults(d);
  d.ResetCountdown = 50;
  SmallRandom random(1);
  DeadlineTicks ticks;
  ticks.advance(d, 1000, random);
  EXPECT_EQ(d.ResetCountdown, 50);
  ticks.start(1000);
  ticks.advance(d, 1009, random);
  EXPECT_EQ(d.ResetCountdown, 50);
  ticks.advance(d, 1010, random);
  EXPECT_EQ(d.ResetCountdown, 49);
  ticks.advance(d, 900, random);
  EXPECT_EQ(d.ResetCountdown, 49);
  ticks.advance(d, 1000000, random);
  EXPECT_EQ(d.ResetCountdown, 0);
  EXPECT_EQ(d.FlagsText, "0,1,1,0,0,");
  EXPECT_EQ(ticks.nextFlagsDue(), 1000100 + 0);
}

}  // namespace
}  // namespace vexa
