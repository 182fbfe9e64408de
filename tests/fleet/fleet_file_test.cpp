#include "fleet_file.h"

#include <gtest/gtest.h>

#include "nonregular_files.h"
#include "temp_dir.h"

namespace vexa {
namespace {

UnitPlan base() {
  UnitPlan u;
  u.address = "127.0.0.1";
  u.port = 5010;
  return u;
}

TEST(FleetFile, DefaultsAndPerUnitOverrides) {
  FleetPlan plan;
  plan.faultSeed = 9;
  const auto error = parseFleetText(R"({
      "defaults": {"port": 6000, "variant": 130, "faults": {"delay": "20:5"}},
      "units": [
        {},
        {"address": "127.0.1.2", "variant": "110", "log": true,
         "faults": {"drop": 0.25, "corrupt": 1, "delay": 7},
         "identity": {"ip": "10.0.0.5", "mask": "255.0.0.0", "gateway": "10.0.0.1",
                      "mac": "0a:0B:0c:00:00:05", "scale": -2, "ajTemp": 255, "ajUmid": 0}},
        {"port": 6001}
      ]})",
                                    base(), plan);
  ASSERT_FALSE(error) << *error;
  ASSERT_EQ(plan.units.size(), 3u);
  EXPECT_FALSE(plan.single);
  EXPECT_EQ(plan.faultSeed, 9u);
  const UnitPlan& a = plan.units[0];
  EXPECT_EQ(a.number, 1);
  EXPECT_EQ(a.address, "127.0.0.1");
  EXPECT_EQ(a.port, 6000);
  EXPECT_EQ(a.variant, 3);
  EXPECT_EQ(a.faults.delayMs, 20);
  EXPECT_EQ(a.faults.delayJitterMs, 5);
  EXPECT_FALSE(a.identity);
  const UnitPlan& b = plan.units[1];
  EXPECT_EQ(b.address, "127.0.1.2");
  EXPECT_EQ(b.variant, 2);
  EXPECT_TRUE(b.log);
  EXPECT_DOUBLE_EQ(b.faults.dropProbability, 0.25);
  EXPECT_EQ(b.faults.delayMs, 7);
  EXPECT_EQ(b.faults.delayJitterMs, 0);
  ASSERT_TRUE(b.identity);
  EXPECT_EQ(*b.identity->ip, (std::array<uint8_t, 4>{10, 0, 0, 5}));
  EXPECT_EQ(*b.identity->mac, (std::array<uint8_t, 6>{10, 11, 12, 0, 0, 5}));
  EXPECT_EQ(*b.identity->scale, -2);
  EXPECT_EQ(*b.identity->ajTemp, 255);
  EXPECT_EQ(plan.units[2].port, 6001);
}

TEST(FleetFile, EveryErrorNamesTheUnitAndTheFieldAndLeavesThePlanAlone) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"", "is not valid JSON"},
      {"[1]", "needs a JSON object with \"units\""},
      {R"({"units": []})", "field \"units\" needs a list of at least one unit"},
      {R"({"units": [{}], "extra": 1})", "field \"extra\" is not known (defaults, units)"},
      {R"({"units": [{}, {"variant": 120}]})", "unit 2, field \"variant\" needs 110, 130 or 150"},
      {R"({"units": [{"port": 0}]})", "unit 1, field \"port\" needs a port from 1 to 65535"},
      {R"({"units": [{"port": "5010"}]})", "unit 1, field \"port\" needs a port from 1 to 65535"},
      {R"({"units": [{"address": "1.2.3"}]})",
       "unit 1, field \"address\" needs a dotted IPv4 address"},
      {R"({"units": [{"log": 1}]})", "unit 1, field \"log\" needs true or false"},
      {R"({"units": [{"faults": {"drop": 1.5}}]})",
       "unit 1, field \"faults.drop\" needs a probability from 0 to 1"},
      {R"({"units": [{"faults": {"delay": "x"}}]})",
       "unit 1, field \"faults.delay\" needs milliseconds, or \"MS:JITTER\""},
      {R"({"units": [{"faults": {"lose": 1}}]})",
       "unit 1, field \"faults.lose\" is not a fault (drop, delay, corrupt)"},
      {R"({"units": [{"port": 1}, {"port": 2}, {"identity": {"mac": "00-01-02-00-00"}}]})",
       "unit 3, field \"identity.mac\" needs six hexadecimal bytes, as 00-01-02-00-00-05"},
      {R"({"units": [{"identity": {"scale": 40000}}]})",
       "unit 1, field \"identity.scale\" needs a whole number from -32768 to 32767"},
      {R"({"units": [{"identity": {"ajUmid": -1}}]})",
       "unit 1, field \"identity.ajUmid\" needs a whole number from 0 to 255"},
      {R"({"units": [{"identity": {"name": "x"}}]})",
       "unit 1, field \"identity.name\" is not an identity field (ip, mask, gateway, mac, scale, "
       "ajTemp, ajUmid)"},
      {R"({"units": [{"colour": 1}]})",
       "unit 1, field \"colour\" is not a unit field (address, port, variant, log, faults, "
       "scenario, scenario_offset, identity)"},
      {R"({"defaults": {"identity": {}}, "units": [{}]})",
       "defaults, field \"identity\" is not a unit field (address, port, variant, log, faults, "
       "scenario, scenario_offset)"},
      {R"({"units": [{"scenario": 5}]})",
       "unit 1, field \"scenario\" needs the path of a scenario file"},
      {R"({"units": [{"scenario_offset": -1}]})",
       "unit 1, field \"scenario_offset\" needs seconds from 0 to 1000000"},
      {R"({"units": [{"port": 7000}, {"port": 7000}]})",
       "unit 2, field \"port\" repeats 127.0.0.1:7000 of an earlier unit"},
      {R"({"units": [{"port": 7000, "address": "0.0.0.0"}, {"port": 7000}]})",
       "unit 2, field \"address\" 127.0.0.1:7000 clashes with 0.0.0.0 on the same port"},
      {R"({"units": [3]})", "unit 1 needs an object"},
  };
  for (const Case& c : cases) {
    FleetPlan plan;
    plan.units.push_back(UnitPlan{});
    const auto error = parseFleetText(c.text, base(), plan);
    ASSERT_TRUE(error) << c.text;
    EXPECT_EQ(*error, c.error) << c.text;
    EXPECT_EQ(plan.units.size(), 1u);
    EXPECT_TRUE(plan.single);
  }
}

TEST(FleetFile, UnreadableAndOversizedFiles) {
  testing::TempDir dir;
  FleetPlan plan;
  auto error = readFleetFile(dir.file("missing.json"), base(), plan);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "fleet file " + dir.file("missing.json") + ": No such file or directory");
  testing::writeFile(dir.file("big.json"), std::string(kMaxFleetFileBytes + 1, ' '));
  error = readFleetFile(dir.file("big.json"), base(), plan);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("longer than 16777216 bytes"), std::string::npos) << *error;
  // A FIFO or a folder in its place is refused at once, not waited on.
  ASSERT_TRUE(testing::makeFifo(dir.file("fifo.json")));
  error = readFleetFile(dir.file("fifo.json"), base(), plan);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "fleet file " + dir.file("fifo.json") + ": not a regular file");
  error = readFleetFile(dir.path(), base(), plan);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "fleet file " + dir.path() + ": Is a directory");
  testing::writeFile(dir.file("ok.json"), R"({"units": [{"port": 6100}, {"port": 6101}]})");
  EXPECT_FALSE(readFleetFile(dir.file("ok.json"), base(), plan));
  EXPECT_EQ(plan.units.size(), 2u);
}

}  // namespace
}  // namespace vexa
