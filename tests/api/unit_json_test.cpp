#include "unit_json.h"

#include <gtest/gtest.h>

#include "device_state.h"

namespace vexa::api {
namespace {

using nlohmann::json;

TEST(UnitJson, DefaultUnitDecoded) {
  UnitSnapshot s;
  DeviceData d;
  writeStartupDefaults(d);
  s.id = "7";
  s.config = d.config;
  s.live = d.live;
  s.workScale = d.WorkScale;
  s.levelTexts = {"25,0", "20", "50"};
  s.counters.lines[0] = 3;
  s.counters.lines[6] = 1;
  const json j = unitJson(s);
  EXPECT_EQ(j["id"], "7");
  EXPECT_EQ(j["config"]["scale"], 494);
  EXPECT_EQ(j["config"]["raw"].get<std::string>().size(), 2048u);
  EXPECT_EQ(j["live"]["inputs_by_name"]["rede"], true);
  EXPECT_EQ(j["live"]["levels"]["temp"]["value"], 20);
  EXPECT_EQ(j["counters"]["lines"]["snd"], 3);
  EXPECT_EQ(j["counters"]["lines"]["other"], 1);
  EXPECT_EQ(unitSummaryJson(s)["lines"], 4);
}

TEST(UnitJson, PanelTextsOfAnyByteSurvive) {
  EXPECT_EQ(latin1ToUtf8("a\xE7\xFF"), "a\xC3\xA7\xC3\xBF");
  UnitSnapshot s;
  s.traffic[3] = std::string("\x80\x01 ok", 5);
  const std::string text = dumpJson(unitJson(s));
  const json back = json::parse(text);
  EXPECT_EQ(back["traffic"]["framed"], "\xC2\x80\x01 ok");
}

TEST(EventJson, EachKindItsMembers) {
  UnitEvent e{12, 34, "u1", EventKind::reply, "snd,000,", {}, std::string("\x01z", 2)};
  EXPECT_EQ(
      eventJson(e),
      R"({"seq":12,"time_ns":34,"unit":"u1","kind":"reply","body":"snd,000,","framed":"\u0001z"})");
  e.kind = EventKind::write;
  e.text = "wMc";
  e.fields = R"("mac":"00-01-02-03-04-05")";
  const json w = json::parse(eventJson(e));
  EXPECT_EQ(w["command"], "wMc");
  EXPECT_EQ(w["mac"], "00-01-02-03-04-05");
  EXPECT_FALSE(w.contains("framed"));
}

}  // namespace
}  // namespace vexa::api
