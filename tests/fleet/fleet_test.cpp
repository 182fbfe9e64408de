// A fleet in this process, its loop on a thread of its own, driven over UDP on 127.0.0.1.
#include "fleet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "fleet_console.h"
#include "reply_framing.h"
#include "scenario_loader.h"
#include "temp_dir.h"
#include "udp_client.h"
#include "unit_scenario.h"

namespace vexa {
namespace {

class FleetTest : public ::testing::Test {
 protected:
  void start(int count, uint16_t base, std::shared_ptr<const Scenario> scenario = nullptr,
             int withScenario = 0) {
    FleetPlan plan;
    ASSERT_FALSE(planPortRange(plan, count, base, "127.0.0.1"));
    plan.units[1].faults.delayMs = 150;
    for (int i = 0; i < withScenario; ++i) {
      plan.units[static_cast<size_t>(i)].scenario = scenario;
      plan.units[static_cast<size_t>(i)].scenarioRun.offset = 10.0 * i;
    }
    placeUnits(plan, dir.path());
    fleet = std::make_unique<Fleet>(plan, loop, clock);
    ASSERT_TRUE(fleet->load().ok());
    ASSERT_TRUE(fleet->open().ok());
    console = std::make_unique<FleetConsole>(*fleet, [this](bool) {
      loop.stop();
      return std::string("ok quit\n");
    });
    fleet->startScenarios();
    thread = std::thread([this] { loop.run(); });
  }
  // A value read on the loop's thread.
  template <typename F>
  auto onLoop(F f) {
    std::promise<decltype(f())> out;
    loop.post([&] { out.set_value(f()); });
    return out.get_future().get();
  }
  // Runs a console line on the loop's thread.
  std::string command(const std::string& line) {
    std::promise<std::string> out;
    loop.post([&] { out.set_value(console->execute(line)); });
    return out.get_future().get();
  }
  void TearDown() override {
    if (thread.joinable()) {
      loop.stop();
      thread.join();
    }
  }
  // The system's clock, counting its readings.
  struct CountingClock final : UnitClock {
    std::atomic<int> readings{0};
    int64_t nowMs() override {
      ++readings;
      return monotonicMs();
    }
  };
  // A pass is not cut short by its time in a slow (sanitised) build: the test counting the
  // clock's readings of one pass relies on it.
  static LoopLimits roomy() {
    LoopLimits limits;
    limits.passTime = std::chrono::seconds(60);
    return limits;
  }
  testing::TempDir dir;
  EventLoop loop{roomy()};
  CountingClock clock;
  std::unique_ptr<Fleet> fleet;
  std::unique_ptr<FleetConsole> console;
  std::thread thread;
  UdpClient client;
};

TEST_F(FleetTest, DatagramsUpToTheBufferAreAnsweredLongerOnesDroppedWhole) {
  start(2, 23900);
  std::string exact(8191, 'x');
  exact += '\n';
  ASSERT_TRUE(client.request(23900, exact));
  EXPECT_FALSE(client.request(23900, std::string(8192, 'x') + "\n", 300));
  // A burst larger than one batch: every line answered, in order.
  for (int i = 0; i < 3 * Fleet::kBatch; ++i)
    client.send(23900, "rPr" + std::to_string(100 + i) + "\n");
  for (int i = 0; i < 3 * Fleet::kBatch; ++i) {
    const auto reply = client.receive(30000);
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(decodeAnyReply(*reply)->body.substr(0, 8), "RPR," + std::to_string(100 + i) + ",");
  }
}

// Several datagrams waiting on each of many sockets: a quiet socket's first readiness takes one
// datagram, what is left is taken on the next passes; every line answered, each unit's in order.
TEST_F(FleetTest, DatagramsWaitingOnManySocketsAreAllAnsweredEachUnitsInOrder) {
  constexpr int kUnits = 20, kEach = 4;
  start(kUnits, 23930);
  for (int k = 0; k < kEach; ++k) {
    for (int u = 0; u < kUnits; ++u) {
      client.send(static_cast<uint16_t>(23930 + u),
                  "rPr" + std::to_string(100 + u * kEach + k) + "\n");
    }
  }
  std::vector<int> lastOfUnit(kUnits, -1);
  for (int i = 0; i < kUnits * kEach; ++i) {
    const auto reply = client.receive(30000);
    ASSERT_TRUE(reply) << i;
    const int n = std::stoi(decodeAnyReply(*reply)->body.substr(4, 3)) - 100;
    EXPECT_GT(n % kEach, lastOfUnit[static_cast<size_t>(n / kEach)]) << n;
    lastOfUnit[static_cast<size_t>(n / kEach)] = n % kEach;
  }
  for (int last : lastOfUnit) EXPECT_EQ(last, kEach - 1);
}

// Requests waiting together are served in one pass on one reading of the clock: every snd
// of the pass issues the same token.
TEST_F(FleetTest, RequestsOfOnePassShareOneReadingOfTheClock) {
  constexpr int kUnits = 20;
  start(kUnits, 23970);
  std::promise<void> sent, waiting;
  std::shared_future<void> allSent = sent.get_future().share();
  // The loop waits until every request is queued (a posted task ends a pass: the requests
  // must not come before it).
  loop.post([allSent, &waiting] {
    waiting.set_value();
    allSent.wait();
  });
  waiting.get_future().wait();
  for (int u = 0; u < kUnits; ++u) client.send(static_cast<uint16_t>(23970 + u), "snd000\n");
  const int before = clock.readings;
  sent.set_value();
  std::set<uint16_t> tokens;
  for (int i = 0; i < kUnits; ++i) {
    const auto reply = client.receive(30000);
    ASSERT_TRUE(reply) << i;
    tokens.insert(decodeAnyReply(*reply)->headerToken);
  }
  EXPECT_EQ(clock.readings - before, 1);
  EXPECT_EQ(tokens.size(), 1u);
}

// Both requests wait for one pass of the loop: unit 1 answers in it, unit 2 (which delays its
// replies by 150 ms) from a timer of a later pass, so unit 1's reply comes first.
TEST_F(FleetTest, ADelayedReplyIsATimerOfTheLoopAndDoesNotHoldUpOthers) {
  start(2, 23910);
  std::promise<void> holding, sent;
  std::shared_future<void> allSent = sent.get_future().share();
  loop.post([&holding, allSent] {
    holding.set_value();
    allSent.wait();
  });
  holding.get_future().wait();
  client.send(23911, "rPr000\n");
  client.send(23910, "rPr001\n");
  sent.set_value();
  const auto fast = client.receive(30000);
  ASSERT_TRUE(fast);
  EXPECT_EQ(decodeAnyReply(*fast)->body.substr(0, 8), "RPR,001,");
  const auto slow = client.receive(30000);
  ASSERT_TRUE(slow);
  EXPECT_EQ(decodeAnyReply(*slow)->body.substr(0, 8), "RPR,000,");
  EXPECT_NE(command("unit 2 status").find("delayed=1"), std::string::npos);
}

TEST_F(FleetTest, TheEndpointSwitchClosesAndReopensOneUnitsSocket) {
  start(3, 23920);
  EXPECT_EQ(command("unit 3 endpoint off"), "ok endpoint off\n");
  EXPECT_FALSE(client.request(23922, "rPr000\n", 200));
  EXPECT_TRUE(client.request(23921, "rPr000\n", 30000));
  const std::string units = command("units");
  EXPECT_NE(units.find("\n3 127.0.0.1:23922 endpoint=off variant=150 datagrams=0\n"),
            std::string::npos)
      << units;
  EXPECT_EQ(command("all endpoint on"),
            "unit 1: ok endpoint on\nunit 2: ok endpoint on\nunit 3: ok endpoint on\n");
  EXPECT_TRUE(client.request(23922, "rPr000\n"));
  EXPECT_EQ(command("status"),
            "units=3 active=3 datagrams=2 replies=2 bytes_in=14 bytes_out=260 dropped=0 "
            "delayed=1 corrupted=0\n");  // the request to the closed socket never arrived
}

TEST_F(FleetTest, AnIdleFleetWithoutScenariosSetsNoTimer) {
  start(3, 23930);
  EXPECT_EQ(onLoop([&] { return loop.pendingTimers(); }), 0u);
}

TEST_F(FleetTest, ScenariosShareOneTimerOfTheLoopAndRunAtTheirOwnPhase) {
  // A ramp of the humidity by 1 a scenario second at factor 100: 100 a real second.
  const ScenarioLoad load = parseScenario(
      R"({"time_factor": 100, "levels": {"umid": {"kind": "ramp", "from": 0, "to": 100, "over": 100}}})");
  ASSERT_TRUE(load.ok()) << load.error;
  start(4, 23940, load.scenario, 3);
  // Units 1 to 3 run it at offsets 0, 10, 20; unit 4 has none. One timer serves them all.
  EXPECT_EQ(onLoop([&] { return loop.pendingTimers(); }), 1u);
  // Read together on the loop, once unit 1's ramp has risen to 20 (about 0.2 s; the bound of
  // 30 s only catches a loop that stopped).
  std::array<int, 4> levels{};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    levels = onLoop([&] {
      std::array<int, 4> v{};
      for (size_t i = 0; i < 4; ++i) v[i] = fleet->unit(i).read().nv[2];
      return v;
    });
  } while (levels[0] < 20 && std::chrono::steady_clock::now() < end);
  EXPECT_GE(levels[0], 20);
  EXPECT_EQ(levels[1] - levels[0], 10);  // evaluated at the same instant
  EXPECT_EQ(levels[2] - levels[0], 20);
  EXPECT_EQ(levels[3], 50);  // a fresh unit's humidity, untouched
  EXPECT_LE(onLoop([&] { return loop.pendingTimers(); }), 2u);  // at most one stale
  // The console stops them all; the loop sleeps again once the last timer has passed.
  EXPECT_EQ(command("all scenario stop").find("unit 1: ok scenario stop\n"), 0u);
  const auto stopped = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (onLoop([&] { return loop.pendingTimers(); }) != 0 &&
         std::chrono::steady_clock::now() < stopped) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(onLoop([&] { return loop.pendingTimers(); }), 0u);
  EXPECT_EQ(onLoop([&] { return fleet->unit(0).levelSource(2); }), "");
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// A unit of a fleet bounds its waiting replies as a unit alone does: the rest are dropped and
// counted, and the loop's timers stay within that bound.
TEST_F(FleetTest, DelayedRepliesWaitingAreBoundedPerUnit) {
  start(2, 23950);
  EXPECT_EQ(command("unit 1 fault delay 600000"), "ok fault drop 0 delay 600000:0 corrupt 0\n");
  std::string datagram;
  while (datagram.size() + 7 <= 8190) datagram += "rPr000\n";  // 1,170 lines
  client.setTarget("127.0.0.1", 23950);
  const size_t lines = std::count(datagram.begin(), datagram.end(), '\n');
  const size_t sends = DelayedSender::kMaxPending / lines + 3;
  for (size_t i = 0; i < sends; ++i) {
    client.send(datagram);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // within the socket's buffer
  }
  // Every line arrived once the loop has handled all datagrams: waiting + dropped = lines.
  for (int i = 0; i < 100; ++i) {
    if (onLoop([&] { return fleet->unit(0).counters().datagrams.load(); }) == sends) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const uint64_t overflow = onLoop([&] { return fleet->unit(0).counters().delayOverflow.load(); });
  EXPECT_EQ(onLoop([&] { return loop.pendingTimers(); }), DelayedSender::kMaxPending);
  EXPECT_EQ(overflow, sends * lines - DelayedSender::kMaxPending);
  EXPECT_NE(command("unit 1 status").find(" delay_overflow=" + std::to_string(overflow) + " "),
            std::string::npos);
}

// A flooded unit gives up its turn after a bounded batch, and the units' turns go round: with
// one handler a pass, each pass serves the next unit, whose share is at most kBatch datagrams
// per batch and kBatchesPerTurn batches.
TEST(FleetTurns, EachFloodedUnitTakesABoundedTurnInRoundRobin) {
  constexpr int kUnits = 3, kEach = 140;  // more than a turn takes, within a socket's buffer
  testing::TempDir dir;
  LoopLimits limits;
  limits.handlersPerPass = 1;
  EventLoop loop(limits);
  SteadyUnitClock clock;
  FleetPlan plan;
  ASSERT_FALSE(planPortRange(plan, kUnits, 23890, "127.0.0.1"));
  placeUnits(plan, dir.path());
  Fleet fleet(plan, loop, clock);
  ASSERT_TRUE(fleet.load().ok());
  ASSERT_TRUE(fleet.open().ok());
  UdpClient client;
  for (int k = 0; k < kEach; ++k) {
    for (int u = 0; u < kUnits; ++u) client.send(static_cast<uint16_t>(23890 + u), "rPr000\n");
  }
  // After each pass (a posted task runs at its end), every unit's datagrams so far.
  std::vector<std::array<uint64_t, kUnits>> seen;
  std::function<void()> afterPass = [&] {
    std::array<uint64_t, kUnits> now{};
    uint64_t all = 0;
    for (size_t u = 0; u < kUnits; ++u) all += now[u] = fleet.unit(u).counters().datagrams.load();
    seen.push_back(now);
    if (all == kUnits * kEach || seen.size() > 10000) return loop.stop();
    loop.post(afterPass);  // at the end of the next pass
  };
  loop.post(afterPass);
  loop.run();
  ASSERT_EQ(seen.back(), (std::array<uint64_t, kUnits>{kEach, kEach, kEach}));
  std::array<uint64_t, kUnits> before{};
  std::vector<size_t> order;  // of the first turns
  for (size_t pass = 0; pass < seen.size(); ++pass) {
    size_t served = kUnits;
    for (size_t u = 0; u < kUnits; ++u) {
      const uint64_t taken = seen[pass][u] - before[u];
      if (taken == 0) continue;
      EXPECT_EQ(served, kUnits) << "two units in one pass: " << pass;
      served = u;
      EXPECT_LE(taken, uint64_t{Fleet::kBatch} * Fleet::kBatchesPerTurn) << pass;
    }
    ASSERT_NE(served, kUnits) << "a pass without a turn: " << pass;
    if (order.size() < kUnits) order.push_back(served);
    // While every unit has datagrams left, the turns go round in the first round's order.
    if (std::all_of(before.begin(), before.end(), [](uint64_t n) { return n < kEach; })) {
      EXPECT_EQ(served, order[pass % kUnits]) << "out of turn: " << pass;
    }
    before = seen[pass];
  }
}

}  // namespace
}  // namespace vexa
