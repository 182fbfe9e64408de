#include <gtest/gtest.h>

#include "command_interpreter.h"
#include "fake_clock.h"

namespace vexa {
namespace {

using testing::FakeTicks;

class InterpreterTest : public ::testing::Test {
 protected:
  InterpreterTest() { testing::loadDefaults(state); }
  std::string run(std::string_view line) {
    return state.locked([&](DeviceData& d) { return InterpretLine(d, line, ticks); });
  }
  DeviceData data() const {
    return state.locked([](const DeviceData& d) { return d; });
  }
  DeviceState state;
  FakeTicks ticks;
};

TEST_F(InterpreterTest, SndReportsMeasureTextAndANewToken) {
  state.locked([](DeviceData& d) { d.MeasureText = "25,60,250,1,0,0,0,0,"; });
  ticks.now = 0x10000u + 12345;
  EXPECT_EQ(run("snd000"), "snd,000,25,60,250,1,0,0,0,0,0012345,");
  EXPECT_EQ(data().TickToken, 12345);
  ticks.now = 65535;
  EXPECT_EQ(run("sndABC"), "snd,ABC,25,60,250,1,0,0,0,0,0065535,");
  ticks.now = 0;
  EXPECT_EQ(run("snd"), "snd,,25,60,250,1,0,0,0,0,0000000,");
}

TEST_F(InterpreterTest, RstAcceptsOnlyTheLatestToken) {
  ticks.now = 12345;
  run("snd000");
  EXPECT_EQ(run("rst000005 0012345"), "rst,000,ack, ");
  EXPECT_EQ(data().ResetCountdown, 500);
  EXPECT_EQ(run("rst00000300012345"), "rst,000,ack, ");  // the token is not used up
  EXPECT_EQ(data().ResetCountdown, 300);
  EXPECT_EQ(run("rst000009 0012346"), "rst,000,nak, ");
  EXPECT_EQ(data().ResetCountdown, 300);                 // a running countdown stays
  EXPECT_EQ(run("rst000005   77881"), "rst,000,ack, ");  // 77881 = 12345 + 65536
  EXPECT_EQ(run("rst000-05 0012345"), "rst,000,ack, ");
  EXPECT_EQ(data().ResetCountdown, -500);
}

TEST_F(InterpreterTest, RstBeforeAnySndComparesAgainstZero) {
  for (const char* line : {"rst000005", "rst00000500000000", "rst000005garbage!"}) {
    EXPECT_EQ(run(line), "rst,000,ack, ") << line;
  }
  EXPECT_EQ(run("rst000005 0000001"), "rst,000,nak, ");
}

TEST_F(InterpreterTest, RprListsTheParametersPerVariant) {
  state.locked([](DeviceData& d) { d.config.ConfigMarks = {11, 21, 12, 22, 13, 23}; });
  EXPECT_EQ(run("rPr000"),
            "rPr,000,C0.A8.00.FA,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:00:00,1EE,00,00,0B,15,0C,16,"
            "0D,17,1.30,00,00,00,08,15,03,20,17,");
  state.locked([](DeviceData& d) { d.VariantCode = 2; });
  EXPECT_EQ(run("rPr000"),
            "rPr,000,C0.A8.00.FA,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:00:00,1EE,0B,15,0C,16,0D,17,"
            "1.30,00,00,00,08,15,03,20,17,");
}

TEST_F(InterpreterTest, RprWritesANegativeScaleAsEightDigits) {
  state.locked([](DeviceData& d) {
    d.config.ScaleLow = 0x01;
    d.config.ScaleHigh = 0x80;
    deriveWorkValues(d);
  });
  EXPECT_NE(run("rPr000").find(",FFFF8001,"), std::string::npos);
}

TEST_F(InterpreterTest, WprStoresAndEchoesTheStoredBytes) {
  EXPECT_EQ(run("wPr000,192,168,000,250,255,255,255,000,192,168,000,001"),
            "wPr,000,192.168.0.250,255.255.255.0,192.168.0.1,");
  EXPECT_EQ(run("wPr000,300,-1 , 12,12 ,1,2,$C0,xC0,0xC,,,,,,,,,,,,,,,,"),
            "wPr,000,44.0.12.0,0.192.192.12,0.0.0.0,");
  const DeviceData d = data();
  EXPECT_EQ(d.config.Ip, (std::array<uint8_t, 4>{44, 0, 12, 0}));
  EXPECT_EQ(d.config.ConfigMarks[2], 12);
  EXPECT_EQ(d.config.ConfigMarks[3], 22);
  EXPECT_EQ(d.config.ConfigMarks[0], 0);
  EXPECT_EQ(run("wPr000"), "wPr,000,0.0.0.0,0.0.0.0,0.0.0.0,");
}

TEST_F(InterpreterTest, WmcStoresTheMacAndAppendsNothing) {
  EXPECT_EQ(run("wMc000,000,001,002,003,004,005"), "wMc,000,");
  const DeviceData d = data();
  EXPECT_EQ(d.config.Mac, (std::array<uint8_t, 6>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(d.config.ConfigMarks[0], 11);
  EXPECT_EQ(d.config.ConfigMarks[1], 21);
}

TEST_F(InterpreterTest, WscSplitsTheScaleIntoItsBytes) {
  struct Case {
    const char* field;
    uint8_t low, high;
    int16_t work;
  };
  // Fields are three characters wide: " -1" reads -1, "-1 " is malformed and reads 0.
  const Case cases[] = {{"750", 238, 2, 750}, {"999", 231, 3, 999}, {"-1 ", 0, 0, 0},
                        {" -1", 255, 0, 255}, {"$FF", 255, 0, 255}, {"abc", 0, 0, 0},
                        {"$1F", 31, 0, 31}};
  for (const Case& c : cases) {
    EXPECT_EQ(run(std::string("wSc000,") + c.field + ",010,300"), "wSc,000,");
    const DeviceData d = data();
    EXPECT_EQ(d.config.ScaleLow, c.low) << c.field;
    EXPECT_EQ(d.config.ScaleHigh, c.high) << c.field;
    EXPECT_EQ(d.WorkScale, c.work) << c.field;
    EXPECT_EQ(d.WorkAjTemp, 10);
    EXPECT_EQ(d.WorkAjUmid, 44);
    EXPECT_EQ(d.config.AjUmid, 44);
    EXPECT_EQ(d.config.ConfigMarks[4], 13);
    EXPECT_EQ(d.config.ConfigMarks[5], 23);
  }
}

TEST_F(InterpreterTest, UnknownCommandsGetTheCommonStartAlone) {
  struct Case {
    const char* line;
    const char* body;
  };
  const Case cases[] = {{"", ",,"},
                        {"sn", "sn,,"},
                        {"SND000", "SND,000,"},
                        {"snd", "snd,,0000000,"},
                        {"xyz12345678", "xyz,123,"}};
  for (const Case& c : cases) EXPECT_EQ(run(c.line), c.body) << c.line;
}

}  // namespace
}  // namespace vexa
