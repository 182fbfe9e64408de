#include "change_json.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vexa::api {
namespace {

using nlohmann::json;

// Input 0's name as the panel writes it, in UTF-8.
const std::string kPresenca =
    "presen\xC3\xA7"
    "a";

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

// Every documented field's refusals: the status, the field named and, for a 422, the range.
// Whole numbers of any size are out of range (422), numbers with a fraction of the wrong type.
TEST(ParseChange, EachFieldsRefusals) {
  struct Case {
    const char* body;
    int status;
    const char* field;
    std::optional<double> min, max;
  };
  const std::optional<double> none;
  const Case cases[] = {
      {R"({"battery":3})", 422, "battery", 0, 2},
      {R"({"battery":-1})", 422, "battery", 0, 2},
      {R"({"battery":99999999999999999999})", 422, "battery", 0, 2},
      {R"({"battery":-99999999999999999999})", 422, "battery", 0, 2},
      {R"({"battery":18446744073709551615})", 422, "battery", 0, 2},
      {R"({"battery":9223372036854775808})", 422, "battery", 0, 2},
      {R"({"battery":-9223372036854775809})", 422, "battery", 0, 2},
      {R"({"battery":1e20})", 422, "battery", 0, 2},
      {R"({"battery":1e400})", 422, "battery", 0, 2},
      {R"({"battery":-1E+400})", 422, "battery", 0, 2},
      {R"({"battery":1.5})", 400, "battery", none, none},
      {R"({"battery":"1"})", 400, "battery", none, none},
      {R"({"battery":null})", 400, "battery", none, none},
      {R"({"levels":{"bat":32768}})", 422, "levels.bat", -32768, 32767},
      {R"({"levels":{"temp":-32769}})", 422, "levels.temp", -32768, 32767},
      {R"({"levels":{"umid":1e400}})", 422, "levels.umid", -32768, 32767},
      {R"({"levels":{"umid":-99999999999999999999}})", 422, "levels.umid", -32768, 32767},
      {R"({"levels":{"temp":20.5}})", 400, "levels.temp", none, none},
      {R"({"levels":{"temp":1e-1}})", 400, "levels.temp", none, none},
      {R"({"levels":{"umid":[1]}})", 400, "levels.umid", none, none},
      {R"({"levels":1})", 400, "levels", none, none},
      {R"({"faults":{"delay_ms":600001}})", 422, "faults.delay_ms", 0, 600000},
      {R"({"faults":{"delay_ms":99999999999999999999}})", 422, "faults.delay_ms", 0, 600000},
      {R"({"faults":{"jitter_ms":-1}})", 422, "faults.jitter_ms", 0, 600000},
      {R"({"faults":{"jitter_ms":0.5}})", 400, "faults.jitter_ms", none, none},
      {R"({"faults":{"drop":1.5}})", 422, "faults.drop", 0, 1},
      {R"({"faults":{"drop":1e400}})", 422, "faults.drop", 0, 1},
      {R"({"faults":{"corrupt":-0.5}})", 422, "faults.corrupt", 0, 1},
      {R"({"faults":{"corrupt":true}})", 400, "faults.corrupt", none, none},
      {R"({"faults":[]})", 400, "faults", none, none},
      {R"({"toggle":[0,8]})", 422, "toggle.1", 0, 7},
      {R"({"toggle":[99999999999999999999]})", 422, "toggle.0", 0, 7},
      {R"({"toggle":[2.5]})", 400, "toggle.0", none, none},
      {R"({"toggle":3})", 400, "toggle", none, none},
      {R"({"inputs":{"8":true}})", 422, "inputs.8", 0, 7},
      {R"({"inputs":{"999":true}})", 422, "inputs.999", 0, 7},
      {R"({"inputs":{"1000":true}})", 400, "inputs.1000", none, none},
      {R"({"inputs":{"Presenca":true}})", 400, "inputs.Presenca", none, none},
      {R"({"inputs":{"presen\u00e7a":"on"}})", 400,
       "inputs.presen\xC3\xA7"
       "a",
       none, none},
      {R"({"variant":"140"})", 422, "variant", none, none},
      {R"({"variant":1e400})", 422, "variant", none, none},
      {R"({"variant":130.5})", 400, "variant", none, none},
      {R"({"auto":1})", 400, "auto", none, none},
      {R"({"endpoint":"on"})", 400, "endpoint", none, none},
  };
  for (const Case& c : cases) {
    const FieldError e = errorOf(c.body);
    EXPECT_EQ(e.status, c.status) << c.body << ": " << e.message;
    EXPECT_EQ(e.field, c.field) << c.body;
    EXPECT_EQ(e.min, c.min) << c.body;
    EXPECT_EQ(e.max, c.max) << c.body;
    EXPECT_NE(e.message.find(c.field), std::string::npos) << c.body << ": " << e.message;
  }
}

// A key given twice, at any depth, or one input under two of its names: the parser would keep
// one silently, so the body is refused naming the second (an object's keys are read in byte
// order).
TEST(ParseChange, KeysGivenTwiceAre400) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"auto":true,"auto":false})", "auto"},
      {R"({"levels":{"bat":1,"bat":2}})", "levels.bat"},
      {R"({"levels":{"bat":1,"temp":3},"levels":{"umid":2}})", "levels"},
      {R"({"faults":{"drop":0.1,"delay_ms":1,"drop":0.1}})", "faults.drop"},
      {R"({"inputs":{"presenca":true,"presenca":true}})", "inputs.presenca"},
      {R"({"inputs":{"0":true,"presenca":false}})", "inputs.presenca"},
      {R"({"inputs":{"presen\u00e7a":true,"presenca":true}})",
       "inputs.presen\xC3\xA7"
       "a"},
      {R"({"inputs":{"rede2":true,"3":true}})", "inputs.rede2"},
      {R"({"toggle":[1,{"a":1,"a":2}]})", "toggle.1.a"},
      {R"({"x":{"y":{"z":1,"z":1}}})", "x.y.z"},
  };
  for (const auto& [body, field] : cases) {
    const FieldError e = errorOf(body);
    EXPECT_EQ(e.status, 400) << body;
    EXPECT_EQ(e.field, field) << body;
    EXPECT_NE(e.message.find("twice"), std::string::npos) << body << ": " << e.message;
  }
  // Repeated toggles are meant: each one inverts the input again.
  EXPECT_EQ(changeOf(R"({"toggle":[3,3,3]})").toggles, (std::vector<int>{3, 3, 3}));
}

TEST(ParseChange, InputsByEveryName) {
  const std::pair<const char*, int> names[] = {
      {"0", 0},        {"presenca", 0}, {kPresenca.c_str(), 0}, {"presen\\u00e7a", 0},
      {"rede", 2},     {"rede2", 3},    {"rede3", 4},           {"reserva5", 5},
      {"reserva7", 7}, {"7", 7},        {"reset", 1},
  };
  for (const auto& [name, bit] : names) {
    const std::string body = std::string(R"({"inputs":{")") + name + R"(":true}})";
    const UnitChange c = changeOf(body);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(c.inputs[b].has_value(), b == bit) << body;
  }
}

// JSON has one kind of number: 5, 5.0 and 5e0 are the same whole number.
TEST(ParseChange, WholeNumbersInAnyNotation) {
  EXPECT_EQ(changeOf(R"({"levels":{"bat":5.0}})").levels[0], 5);
  EXPECT_EQ(changeOf(R"({"levels":{"temp":-2e2}})").levels[1], -200);
  EXPECT_EQ(changeOf(R"({"faults":{"delay_ms":6e5}})").faults->delayMs, 600000);
  EXPECT_EQ(changeOf(R"({"battery":2.0})").batteryItem, 2);
  EXPECT_EQ(changeOf(R"({"variant":130.0})").variantCode, 3);
  EXPECT_EQ(changeOf(R"({"toggle":[7e0]})").toggles, (std::vector<int>{7}));
}

// A number beyond any double reads as one far out of range: the rest of the body is still
// judged as usual, and a body that is no JSON stays no JSON.
TEST(ParseChange, NumbersBeyondAnyDouble) {
  std::string digits(400, '9');
  EXPECT_EQ(errorOf(R"({"levels":{"bat":)" + digits + "}}").field, "levels.bat");
  EXPECT_EQ(errorOf(R"({"levels":{"bat":)" + digits + "}}").status, 422);
  EXPECT_EQ(errorOf(R"({"x":1e400})").status, 400);
  EXPECT_EQ(errorOf(R"({"x":1e400})").field, "x");
  EXPECT_EQ(errorOf(R"({"faults":{"drop":1e400,"drop":1e400}})").field, "faults.drop");
  EXPECT_EQ(errorOf(R"({"faults":{"drop":1e400,"drop":1e400}})").message,
            "faults.drop is given twice");
  EXPECT_EQ(errorOf(R"({"battery":1e400)").field, "");
  EXPECT_EQ(errorOf(R"({"battery":1e400)").status, 400);
  EXPECT_EQ(errorOf("1e400").status, 400);
  // Each costs a reading of the body, so a body holds only so many.
  const auto toggles = [](int n) {
    std::string body = "{\"toggle\":[";
    for (int i = 0; i < n; ++i) body += (i ? ",1e" : "1e") + std::to_string(400 + i);
    return body + "]}";
  };
  EXPECT_EQ(errorOf(toggles(16)).field, "toggle.0");
  EXPECT_EQ(errorOf(toggles(16)).status, 422);
  EXPECT_EQ(errorOf(toggles(17)).field, "");
  EXPECT_EQ(errorOf(toggles(17)).status, 400);
  EXPECT_EQ(errorOf(toggles(17)).message, "the body holds more than 16 numbers beyond any range");
}

// A body as deep as 64 KiB allows costs no more than its size.
TEST(ParseChange, DeepNestingIsRefusedWithoutHarm) {
  const std::string deep = std::string(30000, '[') + std::string(30000, ']');
  EXPECT_EQ(errorOf(R"({"levels":)" + deep + "}").field, "levels");
  EXPECT_EQ(errorOf(deep).status, 400);
  std::string objects;
  for (int i = 0; i < 6000; ++i) objects += R"({"a":)";
  objects += "1,\"a\":2" + std::string(6000, '}');
  const FieldError e = errorOf(objects);
  EXPECT_EQ(e.status, 400);
  EXPECT_EQ(e.field.size(), 6000u * 2 - 1);  // a.a.a...a, the key given twice the last
}

TEST(ErrorBody, RangeBoundsAsWholeNumbers) {
  const json body = json::parse(errorBody(errorOf(R"({"levels":{"bat":99999999999999999999}})")));
  EXPECT_EQ(body, json::parse(R"({"error":{"status":422,"field":"levels.bat","min":-32768,
      "max":32767,"message":"levels.bat must be from -32768 to 32767"}})"));
  const json drop = json::parse(errorBody(errorOf(R"({"faults":{"drop":2}})")));
  EXPECT_EQ(drop["error"]["max"].dump(), "1");
  EXPECT_FALSE(json::parse(errorBody(errorOf("{"))).at("error").contains("min"));
}

}  // namespace
}  // namespace vexa::api
