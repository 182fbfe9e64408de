// The HTTP interface of a fleet in the real program, over real HTTP and UDP on 127.0.0.1.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "event_reader.h"
#include "reply_body.h"
#include "sim_process.h"

namespace vexa {
namespace {

using nlohmann::json;

constexpr int kUnits = 3;

class ApiFleetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // kUnits free UDP ports in a row, in this test's own range.
    base = testing::freeUdpPortRun(5460, 5499, kUnits);
    ASSERT_NE(base, 0);
    sim.start({"--headless", "--units", std::to_string(kUnits), "--port-base", std::to_string(base),
               "--api", "0"});
    for (int i = 0; i < kUnits; ++i) {
      ASSERT_TRUE(sim.waitUntilAnswering(static_cast<uint16_t>(base + i))) << sim.standardError();
    }
    const auto announced = sim.announcedApiPort();
    ASSERT_TRUE(announced) << sim.standardError();
    apiPort = *announced;
    http = std::make_unique<httplib::Client>("127.0.0.1", apiPort);
    http->set_read_timeout(5, 0);
  }

  json get(const std::string& path) {
    auto r = http->Get(path.c_str());
    EXPECT_TRUE(r) << path;
    if (!r) return {};
    EXPECT_EQ(r->status, 200) << path << ": " << r->body;
    return json::parse(r->body, nullptr, false);
  }
  // The reply body of `line` sent to unit `number`.
  std::string body(int number, const std::string& line) {
    return testing::replyBody(
        client.request(static_cast<uint16_t>(base + number - 1), line + "\n", 500));
  }

  testing::TempDir dir;
  testing::SimProcess sim{dir};
  testing::UdpClient client;
  uint16_t base = 0, apiPort = 0;
  std::unique_ptr<httplib::Client> http;
};

TEST_F(ApiFleetTest, TheListHoldsEveryUnitOnItsPort) {
  EXPECT_EQ(get("/api/v1/health")["units"], kUnits);
  const json list = get("/api/v1/units");
  ASSERT_EQ(list["units"].size(), static_cast<size_t>(kUnits)) << list.dump();
  for (int i = 0; i < kUnits; ++i) {
    EXPECT_EQ(list["units"][i]["id"], std::to_string(i + 1));
    EXPECT_EQ(list["units"][i]["port"], base + i);
  }
  auto r = http->Get("/api/v1/units/4");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 404);
}

TEST_F(ApiFleetTest, AChangeOfUnitTwoLeavesUnitOneAsItWas) {
  const json oneBefore = get("/api/v1/units/1");
  auto r = http->Patch("/api/v1/units/2", R"({"inputs":{"0":true},"levels":{"umid":77}})",
                       "application/json");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 200) << r->body;
  const json two = get("/api/v1/units/2");
  EXPECT_EQ(two["live"]["inputs_by_name"]["presenca"], true);
  EXPECT_EQ(two["live"]["levels"]["umid"]["value"], 77);
  const json one = get("/api/v1/units/1");
  EXPECT_EQ(one["live"]["raw"], oneBefore["live"]["raw"]);
  EXPECT_EQ(one["live"]["inputs_by_name"]["presenca"], false);
  EXPECT_EQ(one["live"]["levels"]["umid"]["value"], 50);
  // The units answer so over UDP once their next measurement takes the new values.
  bool differ = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!differ && std::chrono::steady_clock::now() < deadline) {
    differ = body(2, "snd000") != body(1, "snd000");
    if (!differ) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(differ) << body(1, "snd000") << " " << body(2, "snd000");
}

TEST_F(ApiFleetTest, AnEventOfUnitThreeReachesTheFleetStreamAndItsOwn) {
  testing::EventReader fleet(apiPort, "/api/v1/events?kinds=write");
  testing::EventReader three(apiPort, "/api/v1/units/3/events?kinds=write");
  testing::EventReader one(apiPort, "/api/v1/units/1/events?kinds=write");
  ASSERT_TRUE(fleet.waitFor(": connected"));
  ASSERT_TRUE(three.waitFor(": connected"));
  ASSERT_TRUE(one.waitFor(": connected"));
  body(3, "wPr000,192,168,000,017,255,255,255,000,192,168,000,033");
  ASSERT_TRUE(fleet.waitFor("\"gateway\":\"192.168.0.33\"")) << fleet.text();
  EXPECT_NE(fleet.text().find("\"unit\":\"3\""), std::string::npos) << fleet.text();
  ASSERT_TRUE(three.waitFor("\"gateway\":\"192.168.0.33\"")) << three.text();
  // Unit 1's stream stays silent, and unit 1 keeps its gateway.
  EXPECT_FALSE(one.waitFor("\"kind\":\"write\"", 300)) << one.text();
  EXPECT_EQ(get("/api/v1/units/1")["config"]["gateway"], "192.168.0.1");
  EXPECT_EQ(get("/api/v1/units/3")["config"]["gateway"], "192.168.0.33");
}

TEST_F(ApiFleetTest, MetricsPerUnitAndTotals) {
  body(1, "snd000");
  body(3, "snd000");
  body(3, "rPr000");
  auto r = http->Get("/metrics");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 200);
  const std::string& m = r->body;
  for (const char* sample :
       {"vexa_units 3", "vexa_lines_total{unit=\"3\",command=\"rPr\"} 1",
        "vexa_lines_total{unit=\"2\",command=\"snd\"} 0", "vexa_fleet_endpoints_up 3",
        "vexa_delay_overflow_total{unit=\"1\"} 0", "vexa_fleet_lines_unanswered_total 0"}) {
    EXPECT_NE(m.find(sample), std::string::npos) << sample << "\n" << m;
  }
}

// A scenario POSTed to one unit of a fleet runs on the fleet's loop: its later step arrives
// without any request, and the other units are left alone.
TEST_F(ApiFleetTest, AScenarioOnOneUnitRunsOnTheFleetsLoop) {
  auto started =
      http->Post("/api/v1/units/2/scenario",
                 R"({"levels": {"umid": {"kind": "steps", "steps": [{"at": 0, "value": 70},
                                                         {"at": 0.5, "value": 80}]}}})",
                 "application/json");
  ASSERT_TRUE(started);
  ASSERT_EQ(started->status, 200) << started->body;
  int umid = 0;
  for (int i = 0; i < 300 && umid != 80; ++i) {  // 30 s at most
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    umid = get("/api/v1/units/2")["live"]["levels"]["umid"]["value"].get<int>();
  }
  EXPECT_EQ(umid, 80);
  EXPECT_EQ(get("/api/v1/units/1")["live"]["levels"]["umid"]["value"], 50);
  EXPECT_TRUE(get("/api/v1/units/1")["scenario"].is_null());
  EXPECT_EQ(get("/api/v1/units/2")["live"]["levels"]["umid"]["source"], "scenario steps");
}

}  // namespace
}  // namespace vexa
