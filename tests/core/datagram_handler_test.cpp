#include <gtest/gtest.h>

#include <map>

#include "datagram_handler.h"
#include "fake_clock.h"
#include "reply_framing.h"

namespace vexa {
namespace {

// Records every effect in order, so tests can check the order of a line's effects.
struct Recorder final : PanelTextSink, TrafficLogSink, ReplySender {
  std::vector<std::string> events;
  std::map<PanelText, std::string> texts;
  int failSendAfter = -1;  // the send with this index fails
  int sends = 0;

  void setPanelText(PanelText id, std::string_view text) override {
    texts[id] = std::string(text);
    events.push_back(std::string(panelTextName(id)) + "=" + std::string(text));
  }
  void WriteLog(std::string_view text) override { events.push_back("log=" + std::string(text)); }
  bool Send(std::string_view) override {
    events.push_back("send");
    return sends++ != failSendAfter;
  }
};

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() { testing::loadDefaults(state); }
  std::vector<std::string> replyBodies(std::string_view datagram) {
    DatagramHandler handler(state, ticks);
    std::vector<std::string> bodies;
    for (const std::string& r : handler.handle(datagram)) bodies.push_back(decodeReply(r, 4)->body);
    return bodies;
  }
  DeviceState state;
  testing::FakeTicks ticks;
  Recorder recorder;
};

TEST_F(HandlerTest, CutsDatagramsIntoLines) {
  struct Case {
    std::string datagram;
    std::vector<std::string> bodies;
  };
  const Case cases[] = {
      {"", {}},
      {"rPr000", {}},
      {"\n", {",,\r\n"}},
      {"snd000\nrPr", {"SND,000,0000000,\r\n"}},
      {"SND000\nsn\n", {"SND,000,\r\n", "SN,,\r\n"}},
      {std::string("r\0P\xFFr000\n", 9), {replyBodies("rPr000\n").at(0)}},
      {"wMc000\r\n\r\n", {"WMC,000,\r\n", ",,\r\n"}},
  };
  for (const Case& c : cases) EXPECT_EQ(replyBodies(c.datagram), c.bodies) << c.datagram;
}

TEST_F(HandlerTest, EffectsOfOneLineComeInOrder) {
  DatagramHandler handler(state, ticks, &recorder, &recorder);
  handler.UDPUDPRead("wMc000,010\r\n", recorder);
  const std::vector<std::string> expected = {
      "log=wMc000,010",
      "stRx1=wMc000,010 (10)",
      "stMac=0A-00-00-00-00-00",
      "stIP=192.168.0.250",
      "stMsk=255.255.255.0",
      "stGW=192.168.0.1",
      "stScl=494",
      "stAjTp=0",
      "stAjUm=0",
      "log=wMc,000,",
      "stTx1=wMc,000, (10)",
      "stVrs1=1.50",
      "stTx2=53 55 5A 56 53 58 55 63 57 60 57 4E 38 3D 3E 3F 3C 1E 1C",
      "stTx3=SUZVSXUcW`WN8=>?< (19)",
      "send",
  };
  EXPECT_EQ(recorder.events, expected);
}

TEST_F(HandlerTest, PanelTextsTrimButCountEveryByte) {
  DatagramHandler handler(state, ticks, &recorder, nullptr);
  handler.UDPUDPRead("rPr000\r\n", recorder);
  EXPECT_EQ(recorder.texts[PanelText::stRx1], "rPr000 (6)");
  handler.UDPUDPRead("rst000\n", recorder);
  EXPECT_EQ(recorder.texts[PanelText::stTx1], "rst,000,ack, (15)");
  handler.UDPUDPRead("\n", recorder);
  EXPECT_EQ(recorder.texts[PanelText::stRx1], " (0)");
}

TEST_F(HandlerTest, LogsTheDatagramOnceThenEachBody) {
  DatagramHandler handler(state, ticks, nullptr, &recorder);
  handler.UDPUDPRead("rPr000", recorder);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"log=rPr000"}));
  recorder.events.clear();
  handler.UDPUDPRead("snd000\r\nrPr000\r\n", recorder);
  ASSERT_EQ(recorder.events.size(), 5u);
  EXPECT_EQ(recorder.events[0], "log=snd000\r\nrPr000");
  EXPECT_EQ(recorder.events[1].rfind("log=snd,000,", 0), 0u);
  EXPECT_EQ(recorder.events[3].rfind("log=rPr,000,", 0), 0u);
  recorder.events.clear();
  handler.UDPUDPRead("  \r\n ", recorder);
  EXPECT_EQ(recorder.events.front(), "log=");
}

TEST_F(HandlerTest, AFailedSendEndsTheDatagramButKeepsEarlierEffects) {
  DatagramHandler handler(state, ticks, &recorder, nullptr);
  recorder.failSendAfter = 0;
  handler.UDPUDPRead("wMc000,001\nwMc000,002\n", recorder);
  EXPECT_EQ(recorder.sends, 1);
  EXPECT_EQ(state.snapshot().config.Mac[0], 1);  // the second line was not interpreted
  recorder.failSendAfter = -1;
  handler.UDPUDPRead("wMc000,003\n", recorder);  // the next datagram is handled normally
  EXPECT_EQ(state.snapshot().config.Mac[0], 3);
}

TEST_F(HandlerTest, TheReplyToSndIsFramedWithTheTokenItIssued) {
  ticks.now = 12345;
  state.locked([](DeviceData& d) { d.VariantCode = 3; });
  DatagramHandler handler(state, ticks);
  const auto replies = handler.handle("snd000\n");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(decodeReply(replies[0], 3)->headerToken, 12345 % 9300);
}

TEST_F(HandlerTest, EveryLineFeedGetsOneReplyWhateverTheBytes) {
  std::mt19937 rng(3);
  DatagramHandler handler(state, ticks, &recorder, &recorder);
  for (int round = 0; round < 3000; ++round) {
    std::string datagram(rng() % 200, '\0');
    for (char& c : datagram) c = static_cast<char>(rng() % 4 == 0 ? '\n' : rng() % 256);
    const auto lineFeeds = std::count(datagram.begin(), datagram.end(), '\n');
    const int32_t variant = 2 + static_cast<int32_t>(rng() % 3);
    state.locked([&](DeviceData& d) { d.VariantCode = variant; });
    const auto replies = handler.handle(datagram);
    ASSERT_EQ(static_cast<long>(replies.size()), lineFeeds);
    for (const auto& r : replies) ASSERT_TRUE(decodeReply(r, variant));
  }
}

// With a limit of N replies a datagram, every count of lines around N: the first N are answered,
// the rest are neither carried out nor answered, and counted.
TEST_F(HandlerTest, TheReplyLimitAnswersTheFirstLinesAndCountsTheRest) {
  for (size_t limit = 0; limit <= 4; ++limit) {
    for (size_t lines = 0; lines <= 6; ++lines) {
      DatagramHandler handler(state, ticks);
      handler.setMaxRepliesPerDatagram(limit);
      std::string datagram;
      for (size_t i = 0; i < lines; ++i) datagram += "rPr000\r\n";
      const size_t answered = limit == 0 ? lines : std::min(lines, limit);
      EXPECT_EQ(handler.handle(datagram + "tail").size(), answered) << limit << " " << lines;
      EXPECT_EQ(handler.linesUnanswered(), lines - answered) << limit << " " << lines;
    }
  }
}

TEST_F(HandlerTest, ALineBeyondTheLimitChangesNothing) {
  DatagramHandler handler(state, ticks);
  handler.setMaxRepliesPerDatagram(1);
  const auto replies = handler.handle("wMc000,001\nwMc000,002\n\n");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(state.snapshot().config.Mac[0], 1);
  EXPECT_EQ(handler.linesUnanswered(), 2u);
  // The limit is per datagram: the next one is answered again, and the count adds up.
  EXPECT_EQ(handler.handle("wMc000,003\nrPr000\n").size(), 1u);
  EXPECT_EQ(state.snapshot().config.Mac[0], 3);
  EXPECT_EQ(handler.linesUnanswered(), 3u);
}

// The amplification the limit exists for: 1,170 lines of "rPr000" in one 8,190-byte datagram.
TEST_F(HandlerTest, AFullDatagramOfRequestsDrawsOneReplyUnderALimitOfOne) {
  std::string datagram;
  while (datagram.size() + 7 <= 8190) datagram += "rPr000\n";
  DatagramHandler unlimited(state, ticks);
  size_t bytes = 0;
  for (const std::string& r : unlimited.handle(datagram)) bytes += r.size();
  EXPECT_GT(bytes, 15 * datagram.size());
  DatagramHandler limited(state, ticks);
  limited.setMaxRepliesPerDatagram(1);
  EXPECT_EQ(limited.handle(datagram).size(), 1u);
  EXPECT_EQ(limited.linesUnanswered(), datagram.size() / 7 - 1);
}

}  // namespace
}  // namespace vexa
