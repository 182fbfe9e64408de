// The server against a fake registry of several units: what a fleet will see.
#include "api_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "event_reader.h"
#include "fake_fleet.h"

namespace vexa::api {
namespace {

using nlohmann::json;

using testing::FakeFleet;

class ApiServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApiServer::Options options;
    options.version = "t";
    server = std::make_unique<ApiServer>(fleet, hub, options);
    ASSERT_TRUE(server->start().ok());
    client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
  }
  FakeFleet fleet;
  EventHub hub;
  std::unique_ptr<ApiServer> server;
  std::unique_ptr<httplib::Client> client;
};

TEST_F(ApiServerTest, ListsEveryUnitAndSumsTheirMetrics) {
  auto r = client->Get("/api/v1/units");
  ASSERT_TRUE(r);
  const json list = json::parse(r->body)["units"];
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2]["port"], 5012);
  r = client->Get("/metrics");
  EXPECT_NE(r->body.find("\nvexa_datagrams_total 300\n"), std::string::npos);
  EXPECT_EQ(client->Get("/api/v1/units/13")->status, 404);
  EXPECT_EQ(client->Get("/api/v1/units/bad%20id")->status, 404);
  // A stream of a unit that does not exist is refused, by either path.
  EXPECT_EQ(client->Get("/api/v1/units/13/events")->status, 404);
  EXPECT_EQ(client->Get("/api/v1/events?unit=13")->status, 404);
  EXPECT_EQ(client->Get("/api/v1/events?kinds=input,nothing")->status, 400);
}

TEST_F(ApiServerTest, AUnitThatDoesNotAnswerIs503) {
  fleet.answering = false;
  for (const char* path : {"/api/v1/health", "/api/v1/units", "/api/v1/units/10", "/metrics"}) {
    auto r = client->Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503) << path;
    EXPECT_EQ(json::parse(r->body)["error"]["status"], 503);
  }
}

TEST_F(ApiServerTest, AChangeReachesTheRegistryOnlyWhenValid) {
  EXPECT_EQ(client->Patch("/api/v1/units/11", R"({"battery":7})", "application/json")->status, 422);
  EXPECT_TRUE(fleet.applied().empty());
  EXPECT_EQ(client->Patch("/api/v1/units/11", R"({"battery":1})", "application/json")->status, 200);
  ASSERT_EQ(fleet.applied().size(), 1u);
  EXPECT_EQ(fleet.applied()[0].batteryItem, 1);
  EXPECT_EQ(client->Post("/api/v1/units/12/reset", "", "application/json")->status, 200);
  EXPECT_TRUE(fleet.applied().back().resetToDefaults);
  EXPECT_EQ(client->Patch("/api/v1/units/13", R"({"battery":1})", "application/json")->status, 404);
}

// The fleet stream carries every unit's events; a unit's stream only its own.
TEST_F(ApiServerTest, StreamsFilterByUnit) {
  testing::EventReader all(server->port(), "/api/v1/events");
  testing::EventReader eleven(server->port(), "/api/v1/units/11/events?kinds=input");
  ASSERT_TRUE(all.waitFor(": connected"));
  ASSERT_TRUE(eleven.waitFor(": connected"));
  for (const char* unit : {"10", "11", "12"}) {
    hub.publish(UnitEvent{0, 0, unit, EventKind::input, {}, "\"bit\":3", {}});
    hub.publish(UnitEvent{0, 0, unit, EventKind::level, {}, "\"level\":\"bat\"", {}});
  }
  ASSERT_TRUE(all.waitFor("\"unit\":\"12\",\"kind\":\"level\""));
  ASSERT_TRUE(eleven.waitFor("\"unit\":\"11\""));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string text = eleven.text();
  EXPECT_EQ(text.find("\"unit\":\"10\""), std::string::npos);
  EXPECT_EQ(text.find("\"kind\":\"level\""), std::string::npos);
  EXPECT_NE(text.find("id: 3\nevent: input\n"), std::string::npos) << text;
}

// A reader whose queue overflows is told how many events it lost.
TEST_F(ApiServerTest, LostEventsAreReportedInTheStream) {
  testing::EventReader reader(server->port(), "/api/v1/events");
  ASSERT_TRUE(reader.waitFor(": connected"));
  // Far more than a queue holds, faster than one take: some are lost, however the threads run.
  for (size_t i = 0; i < EventQueue::kDefaultCapacity * 20; ++i) {
    hub.publish(UnitEvent{0, 0, "10", EventKind::request, "snd000", {}, {}});
  }
  ASSERT_TRUE(reader.waitFor("event: lost\ndata: {\"lost\":", 30000));
  EXPECT_GT(hub.lost(), 0u);
}

// With a thousand busy units the card stream sends the changed units' cards, each unit at most
// once in a message, however many events it had.
TEST_F(ApiServerTest, TheCardStreamCoalescesAThousandBusyUnits) {
  fleet.size = 1000;
  testing::EventReader cards(server->port(), "/api/v1/cards");
  ASSERT_TRUE(cards.waitFor("\"full\":true", 30000));
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 1000; i += 7) {
      hub.publish(UnitEvent{0, 0, std::to_string(10 + i), EventKind::request, "snd000", {}, {}});
    }
  }
  ASSERT_TRUE(cards.waitFor("\"full\":false", 30000));
  const std::string text = cards.text();
  size_t messages = 0;
  for (size_t at = text.find("data: "); at != std::string::npos; at = text.find("data: ", at + 1)) {
    const json message = json::parse(text.substr(at + 6, text.find('\n', at) - at - 6));
    if (message["full"]) {
      EXPECT_EQ(message["cards"].size(), 1000u);
      continue;
    }
    ++messages;
    std::set<std::string> ids;
    for (const json& card : message["cards"]) {
      EXPECT_TRUE(ids.insert(card["id"].get<std::string>()).second) << "twice in one message";
    }
    EXPECT_LE(ids.size(), 143u);  // only the units that had events
  }
  EXPECT_GE(messages, 1u);
}

// A card stream does not read the units on the server's thread: while the units do not
// answer, other requests are still served.
TEST_F(ApiServerTest, ACardStreamWaitingOnTheUnitsHoldsNoServerThread) {
  fleet.block();
  testing::EventReader cards(server->port(), "/api/v1/cards");
  ASSERT_TRUE(fleet.waitUntilBlocked());
  auto r = client->Get("/api/v1/units/10");  // a lookup, which does not wait on the fleet
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  fleet.unblock();
  EXPECT_TRUE(cards.waitFor("\"full\":true", 30000));
}

// Past the limit a stream is refused, and a closed one frees a place.
TEST_F(ApiServerTest, StreamsAreBounded) {
  std::vector<std::unique_ptr<testing::EventReader>> readers;
  for (int i = 0; i < HttpLimits{}.maxStreams; ++i) {
    readers.push_back(std::make_unique<testing::EventReader>(server->port(), "/api/v1/events"));
  }
  for (auto& reader : readers) ASSERT_TRUE(reader->waitFor(": connected"));
  auto refused = client->Get("/api/v1/events");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(client->Get("/api/v1/units")->status, 200);  // ordinary requests still go
  readers.pop_back();
  // The server finds the closed stream at its next heartbeat (bounded only to catch a hang).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (hub.readers() >= static_cast<size_t>(HttpLimits{}.maxStreams) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  testing::EventReader another(server->port(), "/api/v1/cards");
  EXPECT_TRUE(another.waitFor("event: cards", 30000));
  for (auto& reader : readers) reader->stopSoon();
}

TEST_F(ApiServerTest, StreamsEndWhenTheServerStops) {
  testing::EventReader reader(server->port(), "/api/v1/events");
  ASSERT_TRUE(reader.waitFor(": connected"));
  server->stop();
  EXPECT_NE(reader.waitForEnd(), 0);  // ended, at the latest with the closed connection
}

}  // namespace
}  // namespace vexa::api
