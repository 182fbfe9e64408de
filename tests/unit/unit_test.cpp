#include "unit.h"

#include <gtest/gtest.h>

#include "fake_unit_clock.h"
#include "reply_framing.h"
#include "temp_dir.h"

namespace vexa {
namespace {

using testing::readFile;
using testing::writeFile;

struct Recorder final : UnitObserver {
  std::vector<std::string> seen;
  std::string framed;  // the last framed reply (kept apart: it holds control bytes)
  void onUnitEvent(const UnitEvent& e) override {
    const bool bytes = e.kind == UnitEvent::Kind::ReplyFramed;
    if (bytes) framed.assign(e.text);
    seen.push_back(std::to_string(e.unit) + ":" + std::to_string(static_cast<int>(e.kind)) + ":" +
                   std::string(bytes ? std::string_view() : e.text) + ":" +
                   std::to_string(e.index) + ":" + std::to_string(e.value));
  }
};

class UnitTest : public ::testing::Test {
 protected:
  std::string body(Unit& unit, const std::string& line) {
    testing::CollectingOut out;
    unit.handleDatagram(line + "\n", out);
    if (out.replies.size() != 1) return "(no reply)";
    const auto decoded = decodeAnyReply(out.replies[0]);
    return decoded ? decoded->body : "(undecodable)";
  }
  testing::TempDir dir;
  testing::FakeUnitClock clock;
};

TEST_F(UnitTest, FreshIdentityOnlyWithoutAConfigurationFile) {
  UnitSettings s = testing::unitSettingsIn(dir, 5);
  UnitIdentity id;
  id.mac = std::array<uint8_t, 6>{0, 1, 2, 0, 0x12, 0x34};
  id.ip = std::array<uint8_t, 4>{10, 0, 0, 7};
  id.scale = -2;
  id.ajTemp = 9;
  s.freshIdentity = id;
  {
    Unit unit(s, clock);
    unit.load();
    EXPECT_EQ(body(unit, "rPr000"),
              "RPR,000,0A.00.00.07,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:12:34,FFFFFFFE,09,00,00,"
              "00,00,00,00,00,1.30,09,00,00,08,15,03,20,17,\r\n");
    ASSERT_TRUE(unit.save().ok());
  }
  // With the file there, the identity is not applied again: what the peer wrote stays.
  {
    Unit unit(s, clock);
    unit.load();
    body(unit, "wPr000,192,168,001,002,255,255,255,000,192,168,001,001");
    ASSERT_TRUE(unit.save().ok());
  }
  Unit unit(s, clock);
  unit.load();
  EXPECT_EQ(body(unit, "rPr000").substr(0, 20), "RPR,000,C0.A8.01.02,");
  EXPECT_EQ(readFile(dir.file("VXS1.dat")).size(), 1024u);
}

TEST_F(UnitTest, LevelsGoThroughTheSlidersClampAndFactor) {
  writeFile(dir.file("VXS2.dat"), std::string("\x04\x00\xBC\x02\x64\x00\xFD\xFF\x00\x00", 10));
  Unit unit(testing::unitSettingsIn(dir, 5), clock);
  unit.load();
  Unit::Reading r = unit.read();
  EXPECT_EQ(r.nv[0], 600);  // 700 clamped by its slider
  EXPECT_EQ(r.nv[1], 67);   // 100 -> slider 100 -> 67
  EXPECT_EQ(r.nv[2], -3);   // slider stays at 0: no change, kept
  struct Case {
    int level, value, slider, nv;
  };
  const Case cases[] = {{1, 25, 38, 25}, {1, 27, 40, 27},    {1, 2, 3, 2}, {0, 700, 600, 600},
                        {0, -9, 0, 0},   {2, 101, 100, 100}, {2, 0, 0, 0}, {1, 99, 100, 67}};
  for (const Case& c : cases) {
    ASSERT_TRUE(unit.setLevel(c.level, c.value));
    EXPECT_EQ(unit.sliderPosition(c.level), c.slider) << c.level << " " << c.value;
    EXPECT_EQ(unit.read().nv[c.level], c.nv) << c.level << " " << c.value;
  }
  unit.setAuto(true);
  EXPECT_FALSE(unit.setLevel(0, 100));
  clock.now = 2000;
  r = unit.read();
  EXPECT_GE(r.nv[0], 230);
  EXPECT_LE(r.nv[0], 259);
  unit.setAuto(false);
  // The slider did not move while auto drew levels, so the same position changes nothing.
  const int16_t drawn = unit.read().nv[1];
  unit.setLevel(1, 67);
  EXPECT_EQ(unit.read().nv[1], drawn);
}

TEST_F(UnitTest, ResetToDefaultsGivesAFreshUnitWithItsIdentity) {
  UnitSettings s = testing::unitSettingsIn(dir, 5);
  UnitIdentity id;
  id.ip = std::array<uint8_t, 4>{10, 0, 0, 7};
  s.freshIdentity = id;
  Unit unit(s, clock);
  unit.load();
  const std::string fresh = body(unit, "rPr000");
  body(unit, "wPr000,192,168,000,017,255,255,255,000,192,168,000,077");
  unit.setInput(0, Unit::InputAction::On);
  unit.setLevel(2, 70);
  unit.setAuto(true);
  unit.setVariant(2);
  unit.setBattery(2);
  FaultSettings f;
  f.dropProbability = 0.5;
  unit.setFaults(f);
  ASSERT_NE(body(unit, "rPr000"), fresh);

  unit.resetToDefaults();
  EXPECT_EQ(body(unit, "rPr000"), fresh);
  const Unit::Reading r = unit.read();
  EXPECT_EQ(r.inputs, 0x04);
  EXPECT_EQ(r.nv[2], 50);
  EXPECT_FALSE(r.autoMode);
  EXPECT_EQ(r.variant, 4);
  EXPECT_EQ(unit.battery(), 0);
  EXPECT_FALSE(unit.faults().any());
  EXPECT_EQ(unit.sliderPosition(2), 50);
  // The sliders follow the levels again: a level typed now is written.
  EXPECT_TRUE(unit.setLevel(2, 60));
  EXPECT_EQ(unit.read().nv[2], 60);
}

TEST_F(UnitTest, InputsVariantAndEventsReachTheObserver) {
  Unit unit(testing::unitSettingsIn(dir, 5, 7), clock);
  unit.load();
  Recorder recorder;
  unit.setObserver(&recorder);
  EXPECT_TRUE(unit.setInput(0, Unit::InputAction::On));
  EXPECT_TRUE(unit.setInput(0, Unit::InputAction::On));  // no change, no event
  EXPECT_FALSE(unit.setInput(1, Unit::InputAction::Toggle));
  EXPECT_FALSE(unit.setInput(8, Unit::InputAction::Toggle));
  unit.setInput(7, Unit::InputAction::Toggle);
  EXPECT_EQ(unit.read().inputs, 0x85);
  unit.setLevel(2, 70);
  unit.setVariant(2);
  testing::CollectingOut out;
  unit.handleDatagram("wMc000,001,002,003,004,005,006\n", out);
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_EQ(recorder.framed, out.replies[0]);
  unit.endpointSwitched(false);
  const std::vector<std::string> expected = {
      "7:3::0:1",
      "7:3::7:1",
      "7:4::2:70",
      "7:7::0:2",
      "7:0:wMc000,001,002,003,004,005,006:0:0",
      "7:1:wMc,000,:0:0",
      "7:2:01-02-03-04-05-06 192.168.0.250 255.255.255.0 192.168.0.1 494 0 0:0:0",
      "7:8::0:0",
      "7:5::0:0"};
  EXPECT_EQ(recorder.seen, expected);
  EXPECT_EQ(unit.counters().lines[UnitCounters::kWMc].load(), 1u);
  EXPECT_EQ(unit.counters().datagrams.load(), 1u);
  EXPECT_EQ(unit.counters().replies.load(), 1u);
  EXPECT_EQ(unit.counters().bytesIn.load(), 31u);
  unit.setObserver(nullptr);
}

TEST_F(UnitTest, FaultsDropDelayAndCorruptAndAreCounted) {
  UnitSettings s = testing::unitSettingsIn(dir, 5);
  s.faults.dropProbability = 1;
  Unit unit(s, clock);
  unit.load();
  testing::CollectingOut out;
  unit.handleDatagram("rPr000\n", out);
  EXPECT_TRUE(out.replies.empty());
  unit.setFaults(FaultSettings{0, 40, 0, 0});
  unit.handleDatagram("rPr000\n", out);
  ASSERT_EQ(out.later.size(), 1u);
  EXPECT_EQ(out.later[0].first, 40);
  unit.setFaults(FaultSettings{0, 0, 0, 1});
  unit.handleDatagram("rPr000\n", out);
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_NE(out.replies[0], out.later[0].second);
  EXPECT_EQ(out.replies[0].size(), out.later[0].second.size());
  const auto counts = unit.faultCounts();
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(counts[1], 1u);
  EXPECT_EQ(counts[2], 1u);
  unit.setFaults(FaultSettings{});
  unit.handleDatagram("rPr000\n", out);
  EXPECT_EQ(out.replies.size(), 2u);
}

TEST_F(UnitTest, TwoUnitsShareNothing) {
  testing::TempDir other;
  Unit a(testing::unitSettingsIn(dir, 5, 1), clock), b(testing::unitSettingsIn(other, 5, 2), clock);
  a.load();
  b.load();
  const std::string before = body(b, "rPr000");
  body(a, "wPr000,010,000,000,001,255,000,000,000,010,000,000,254");
  a.setInput(3, Unit::InputAction::On);
  a.setFaults(FaultSettings{1, 0, 0, 0});
  a.setVariant(2);
  EXPECT_EQ(body(b, "rPr000"), before);
  EXPECT_EQ(b.read().inputs, 4);
  EXPECT_FALSE(b.faults().any());
  ASSERT_TRUE(a.save().ok());
  ASSERT_TRUE(b.save().ok());
  EXPECT_NE(readFile(dir.file("VXS1.dat")), readFile(other.file("VXS1.dat")));
}

TEST_F(UnitTest, SaveClearsALoadedResetBitOnlyAfterTheFirstTick) {
  writeFile(dir.file("VXS2.dat"), std::string("\x06\x00\xFA\x00\x14\x00\x32\x00\x00\x00", 10));
  Unit unit(testing::unitSettingsIn(dir, 5), clock);
  unit.load();
  clock.now = 9;
  ASSERT_TRUE(unit.save().ok());
  EXPECT_EQ(readFile(dir.file("VXS2.dat"))[0], '\x06');
  clock.now = 10;
  ASSERT_TRUE(unit.save().ok());
  EXPECT_EQ(readFile(dir.file("VXS2.dat"))[0], '\x04');
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// The unit's bounds on traffic are counted where status reads them: lines beyond the
// per-datagram limit, and delayed replies a full queue refused.
// A level entered (console, API) reads that value afterwards, also when its slider already
// stands at the value's position (auto mode moved the level and left the slider where it was).
TEST_F(UnitTest, ALevelEnteredAfterAutoModeIsWrittenEvenWithTheSliderInPlace) {
  Unit unit(testing::unitSettingsIn(dir, 5), clock);
  unit.load();
  const int16_t before = unit.read().nv[0];
  unit.setAuto(true);
  clock.now = 6500;
  ASSERT_NE(unit.read().nv[0], before);  // the draws moved it
  unit.setAuto(false);
  ASSERT_TRUE(unit.enterLevel(0, before));
  EXPECT_EQ(unit.read().nv[0], before);
}

// Ticks that fell due before a level is claimed run as they would have, with the level free:
// claiming late gives the same unit as claiming right after a read.
TEST_F(UnitTest, ClaimingALevelRunsTheTicksDueBeforeIt) {
  testing::TempDir other;
  Unit read(testing::unitSettingsIn(dir, 5), clock), late(testing::unitSettingsIn(other, 5), clock);
  for (Unit* u : {&read, &late}) {
    u->load();
    u->setAuto(true);
  }
  clock.now = 6500;  // three 2 s draws due
  read.catchUp();
  read.claimLevel(0, "scenario");
  late.claimLevel(0, "scenario");
  const Unit::Reading a = read.read(), b = late.read();
  for (int level = 0; level < 3; ++level) EXPECT_EQ(a.nv[level], b.nv[level]) << level;
  EXPECT_EQ(a.measureText, b.measureText);
}

TEST(UnitBounds, LinesBeyondTheLimitAndRefusedDelaysAreCounted) {
  testing::TempDir dir;
  testing::FakeUnitClock clock;
  struct RefusingOut final : ReplyOut {
    int sent = 0;
    bool sendNow(std::string_view) override { return ++sent > 0; }
    bool sendLater(int, std::string) override { return false; }
  };
  for (const size_t limit : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
    UnitSettings s = testing::unitSettingsIn(dir, 5);
    s.maxRepliesPerDatagram = limit;
    Unit unit(s, clock);
    unit.load();
    RefusingOut out;
    unit.handleDatagram("rPr000\nrPr000\nrPr000\n", out);
    const size_t answered = limit == 0 ? 3 : std::min<size_t>(limit, 3);
    EXPECT_EQ(out.sent, static_cast<int>(answered)) << limit;
    EXPECT_EQ(unit.linesUnanswered(), 3 - answered) << limit;

    FaultSettings delay;
    delay.delayMs = 50;
    unit.setFaults(delay);
    unit.handleDatagram("rPr000\n", out);
    EXPECT_EQ(out.sent, static_cast<int>(answered)) << limit;  // it waited for a refused queue
    EXPECT_EQ(unit.counters().delayOverflow.load(), 1u) << limit;
  }
}

}  // namespace
}  // namespace vexa
