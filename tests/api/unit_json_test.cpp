#include "unit_json.h"
#include "change_json.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "device_state.h"

namespace vexa::api {
namespace {

using nlohmann::json;

FieldError errorOf(const std::string& body) {
  auto parsed = parseChange(body);
  const FieldError* e = std::get_if<FieldError>(&parsed);
  return e ? *e : FieldError{0, "", "", std::nullopt, std::nullopt};
}
UnitChange changeOf(const std::string& body) {
  auto parsed = parseChange(body);
  EXPECT_TRUE(std::holds_alternative<UnitChange>(parsed)) << body;
  return std::holds_alternative<UnitChange>(parsed) ? std::get<UnitChange>(parsed) : UnitChange{};
}

bool changesNothing(const UnitChange& c) {
  const auto unset = [](const auto& values) {
    return std::none_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); });
  };
  return !c.resetToDefaults && !c.autoMode && !c.endpoint && !c.variantCode && !c.batteryItem &&
         !c.faults && unset(c.inputs) && c.toggles.empty() && unset(c.levels) && !c.startScenario &&
         !c.stopScenario;
}

// Each ranged member, swept across its bounds: inside is accepted, one step outside is a 422.
TEST(ParseChange, RangesSweptAtTheirEdges) {
  struct Range {
    std::string member;  // with %v for the value
    std::string field;
    int64_t min, max;
  };
  const Range ranges[] = {
      {R"({"battery":%v})", "battery", 0, 2},
      {R"({"levels":{"bat":%v}})", "levels.bat", -32768, 32767},
      {R"({"levels":{"temp":%v}})", "levels.temp", -32768, 32767},
      {R"({"levels":{"umid":%v}})", "levels.umid", -32768, 32767},
      {R"({"faults":{"delay_ms":%v}})", "faults.delay_ms", 0, 600000},
      {R"({"faults":{"jitter_ms":%v}})", "faults.jitter_ms", 0, 600000},
      {R"({"toggle":[%v]})", "toggle.0", 0, 7},
  };
  for (const Range& r : ranges) {
    for (const int64_t v : {r.min - 1, r.min, r.min + 1, r.max - 1, r.max, r.max + 1}) {
      std::string body = r.member;
      body.replace(body.find("%v"), 2, std::to_string(v));
      const FieldError e = errorOf(body);
      if (v < r.min || v > r.max) {
        EXPECT_EQ(e.status, 422) << body;
        EXPECT_EQ(e.field, r.field) << body;
        EXPECT_EQ(e.min, double(r.min)) << body;
        EXPECT_EQ(e.max, double(r.max)) << body;
      } else {
        EXPECT_EQ(e.status, 0) << body << ": " << e.message;
      }
    }
  }
}

TEST(ParseChange, ProbabilitiesFromZeroToOne) {
  for (const char* field : {"drop", "corrupt"}) {
    for (const double p : {-0.001, 0.0, 0.5, 1.0, 1.001}) {
      const std::string body =
          std::string("{\"faults\":{\"") + field + "\":" + json(p).dump() + "}}";
      EXPECT_EQ(errorOf(body).status, p < 0 || p > 1 ? 422 : 0) << body;
    }
  }
}

TEST(ParseChange, ReadsEveryMember) {
  const UnitChange c = changeOf(
      R"({"inputs":{"0":true,"rede":false,"7":true},"toggle":[5,5],"levels":{"temp":25},
          "auto":false,"variant":"130","battery":2,"endpoint":true,
          "faults":{"drop":0.25,"delay_ms":10}})");
  EXPECT_EQ(c.inputs[0], true);
  EXPECT_EQ(c.inputs[2], false);
  EXPECT_EQ(c.inputs[7], true);
  EXPECT_FALSE(c.inputs[1].has_value());
  EXPECT_EQ(c.toggles, (std::vector<int>{5, 5}));
  EXPECT_EQ(c.levels[1], 25);
  EXPECT_FALSE(c.levels[0].has_value());
  EXPECT_EQ(c.autoMode, false);
  EXPECT_EQ(c.variantCode, 3);
  EXPECT_EQ(c.batteryItem, 2);
  EXPECT_EQ(c.endpoint, true);
  ASSERT_TRUE(c.faults);
  EXPECT_EQ(c.faults->drop, 0.25);
  EXPECT_EQ(c.faults->delayMs, 10);
  EXPECT_FALSE(c.faults->corrupt.has_value());
  EXPECT_TRUE(changesNothing(changeOf("{}")));
  EXPECT_EQ(changeOf(R"({"variant":110})").variantCode, 2);
}

TEST(ParseChange, MalformedAndUnknownAre400) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"{", ""},
      {"null", ""},
      {"\"x\"", ""},
      {R"({"x":1})", "x"},
      {R"({"inputs":[1]})", "inputs"},
      {R"({"inputs":{"a":true}})", "inputs.a"},
      {R"({"inputs":{"0":1}})", "inputs.0"},
      {R"({"levels":{"bat":true}})", "levels.bat"},
      {R"({"levels":{"bat":2.5}})", "levels.bat"},
      {R"({"levels":{"x":1}})", "levels.x"},
      {R"({"variant":true})", "variant"},
      {R"({"battery":"1"})", "battery"},
      {R"({"faults":{"drop":"0.1"}})", "faults.drop"},
      {R"({"faults":{"x":1}})", "faults.x"},
      {R"({"auto":"yes"})", "auto"},
      {R"({"endpoint":0})", "endpoint"},
  };
  for (const auto& [body, field] : cases) {
    const FieldError e = errorOf(body);
    EXPECT_EQ(e.status, 400) << body;
    EXPECT_EQ(e.field, field) << body;
    EXPECT_FALSE(e.message.empty());
  }
  EXPECT_EQ(errorOf(R"({"inputs":{"8":true}})").status, 422);
  EXPECT_EQ(errorOf(R"({"variant":"140"})").status, 422);
}

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
