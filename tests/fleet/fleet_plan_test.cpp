#include "fleet_plan.h"

#include <gtest/gtest.h>

#include <set>

namespace vexa {
namespace {

TEST(FleetPlan, FreshIdentitiesAreDistinctAndFollowTheRule) {
  struct Case {
    int n;
    std::array<uint8_t, 4> ip, gateway;
    uint8_t macHi, macLo;
  };
  const Case cases[] = {{1, {192, 168, 0, 2}, {192, 168, 0, 1}, 0, 1},
                        {250, {192, 168, 0, 251}, {192, 168, 0, 1}, 0, 250},
                        {251, {192, 168, 1, 2}, {192, 168, 1, 1}, 0, 251},
                        {256, {192, 168, 1, 7}, {192, 168, 1, 1}, 1, 0},
                        {10000, {192, 168, 39, 251}, {192, 168, 39, 1}, 0x27, 0x10},
                        {65535, {192, 168, 6, 36}, {192, 168, 6, 1}, 0xFF, 0xFF}};
  for (const Case& c : cases) {
    const UnitIdentity id = fleetIdentity(c.n);
    EXPECT_EQ(*id.ip, c.ip) << c.n;
    EXPECT_EQ(*id.gateway, c.gateway) << c.n;
    EXPECT_EQ((std::array<uint8_t, 4>{255, 255, 255, 0}), *id.mask);
    EXPECT_EQ((*id.mac)[4], c.macHi) << c.n;
    EXPECT_EQ((*id.mac)[5], c.macLo) << c.n;
    EXPECT_FALSE(id.scale);
  }
  std::set<std::array<uint8_t, 6>> macs;
  std::set<std::array<uint8_t, 4>> ips;
  for (int n = 1; n <= 64000; ++n) {
    macs.insert(*fleetIdentity(n).mac);
    ips.insert(*fleetIdentity(n).ip);
  }
  EXPECT_EQ(macs.size(), 64000u);
  EXPECT_EQ(ips.size(), 64000u);  // distinct up to 256 x 250 units
}

TEST(FleetPlan, PortAndAddressRanges) {
  FleetPlan plan;
  EXPECT_FALSE(planPortRange(plan, 3, 65533, "127.0.0.1"));
  ASSERT_EQ(plan.units.size(), 3u);
  EXPECT_EQ(plan.units[2].port, 65535);
  EXPECT_EQ(plan.units[2].number, 3);
  EXPECT_FALSE(plan.single);
  EXPECT_TRUE(planPortRange(plan, 4, 65533, "127.0.0.1"));
  EXPECT_TRUE(planPortRange(plan, 0, 5010, "127.0.0.1"));

  EXPECT_FALSE(planAddressRange(plan, "127.0.1.250-127.0.2.3", 5010));
  ASSERT_EQ(plan.units.size(), 10u);
  EXPECT_EQ(plan.units[0].address, "127.0.1.250");
  EXPECT_EQ(plan.units[5].address, "127.0.1.255");
  EXPECT_EQ(plan.units[6].address, "127.0.2.0");
  EXPECT_EQ(plan.units[9].address, "127.0.2.3");
  for (const char* bad :
       {"127.0.0.2-127.0.0.1", "127.0.0.1", "a-b", "127.0.0.1-", "10.0.0.0-10.1.0.0"}) {
    EXPECT_TRUE(planAddressRange(plan, bad, 5010)) << bad;
  }
  EXPECT_FALSE(planAddressRange(plan, "10.0.0.1-10.0.255.255", 5010));  // 65535 units
}

TEST(FleetPlan, PlacingGivesFoldersAndMergesTheGivenIdentity) {
  FleetPlan plan;
  planPortRange(plan, 12, 6000, "127.0.0.1");
  UnitIdentity given;
  given.ip = std::array<uint8_t, 4>{10, 1, 2, 3};
  given.scale = 750;
  plan.units[11].identity = given;
  placeUnits(plan, "/s/");
  EXPECT_EQ(plan.units[0].directory, "/s/unit-0001/");
  EXPECT_EQ(plan.units[11].directory, "/s/unit-0012/");
  EXPECT_EQ(*plan.units[11].identity->ip, (std::array<uint8_t, 4>{10, 1, 2, 3}));
  EXPECT_EQ((*plan.units[11].identity->mac)[5], 12);
  EXPECT_EQ(*plan.units[11].identity->scale, 750);
  EXPECT_EQ(unitFolderName(12345), "unit-12345/");

  FleetPlan alone;
  alone.units.push_back(UnitPlan{});
  placeUnits(alone, "/s/");
  EXPECT_EQ(alone.units[0].directory, "/s/");
  EXPECT_FALSE(alone.units[0].identity);  // a unit alone keeps the defaults exactly
}

}  // namespace
}  // namespace vexa
