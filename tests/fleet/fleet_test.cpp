// A fleet in this process, its loop on a thread of its own, driven over UDP on 127.0.0.1.
#include "fleet.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "fleet_console.h"
#include "reply_framing.h"
#include "temp_dir.h"
#include "udp_client.h"

namespace vexa {
namespace {

class FleetTest : public ::testing::Test {
 protected:
  void start(int count, uint16_t base) {
    FleetPlan plan;
    ASSERT_FALSE(planPortRange(plan, count, base, "127.0.0.1"));
    plan.units[1].faults.delayMs = 150;
    placeUnits(plan, dir.path());
    fleet = std::make_unique<Fleet>(plan, loop, clock);
    ASSERT_TRUE(fleet->load().ok());
    ASSERT_TRUE(fleet->open().ok());
    console = std::make_unique<FleetConsole>(*fleet, [this](bool) {
      loop.stop();
      return std::string("ok quit\n");
    });
    thread = std::thread([this] { loop.run(); });
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
  testing::TempDir dir;
  EventLoop loop;
  SteadyUnitClock clock;
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
    const auto reply = client.receive(2000);
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(decodeAnyReply(*reply)->body.substr(0, 8), "RPR," + std::to_string(100 + i) + ",");
  }
}

TEST_F(FleetTest, ADelayedReplyIsATimerOfTheLoopAndDoesNotHoldUpOthers) {
  start(2, 23910);
  client.send(23911, "rPr000\n");  // unit 2 delays its replies by 150 ms
  const auto fast = client.request(23910, "rPr001\n", 100);
  ASSERT_TRUE(fast);
  EXPECT_EQ(decodeAnyReply(*fast)->body.substr(0, 8), "RPR,001,");
  const auto slow = client.receive(1000);
  ASSERT_TRUE(slow);
  EXPECT_EQ(decodeAnyReply(*slow)->body.substr(0, 8), "RPR,000,");
  EXPECT_NE(command("unit 2 status").find("delayed=1"), std::string::npos);
}

TEST_F(FleetTest, TheEndpointSwitchClosesAndReopensOneUnitsSocket) {
  start(3, 23920);
  EXPECT_EQ(command("unit 3 endpoint off"), "ok endpoint off\n");
  EXPECT_FALSE(client.request(23922, "rPr000\n", 200));
  EXPECT_TRUE(client.request(23921, "rPr000\n", 1000));
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

}  // namespace
}  // namespace vexa
