#include <gtest/gtest.h>

#include <chrono>

#include "fault_injector.h"
#include "udp_client.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

class DelayedSenderTest : public ::testing::Test {
 protected:
  DelayedSenderTest() { EXPECT_TRUE(endpoint.setActive(true).ok()); }
  UdpEndpoint endpoint{0, "127.0.0.1"};
  Binding to{"127.0.0.1", 9};  // never reached: these replies are due in ten minutes
};

// Every queue length around the bound: replies up to it wait, the ones beyond are dropped and
// counted, and nothing that was queued is lost.
TEST_F(DelayedSenderTest, TheQueueIsBoundedAndCountsWhatItDrops) {
  for (size_t limit : {1u, 2u, 5u, 16u}) {
    DelayedSender sender(endpoint, limit);
    for (size_t i = 0; i < limit + 3; ++i) {
      EXPECT_EQ(sender.schedule(600000, to, "r"), i < limit) << limit << " " << i;
    }
    EXPECT_EQ(sender.dropped(), 3u) << limit;
  }
}

TEST_F(DelayedSenderTest, TheDefaultBoundHoldsUnderAFlood) {
  const auto start = std::chrono::steady_clock::now();
  {
    DelayedSender sender(endpoint);
    const size_t offered = DelayedSender::kMaxPending + 2500;
    size_t queued = 0;
    for (size_t i = 0; i < offered; ++i)
      queued += sender.schedule(600000, to, std::string(150, 'x'));
    EXPECT_EQ(queued, DelayedSender::kMaxPending);
    EXPECT_EQ(sender.dropped(), 2500u);
  }
  // Destroying it with a full queue of replies ten minutes off does not wait for them (the
  // bound only catches a wait, however busy the machine).
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

// A place freed by a reply that has gone out is taken by the next one.
TEST_F(DelayedSenderTest, SentRepliesFreeTheirPlaces) {
  UdpClient peer;
  ASSERT_TRUE(peer.setTarget("127.0.0.1", endpoint.boundPort()));
  uint16_t peerPort = 0;
  {
    // Learn the peer's port from a datagram it sends to a second endpoint.
    UdpEndpoint probe{0, "127.0.0.1"};
    std::atomic<uint16_t> seen{0};
    probe.setOnUDPRead(
        [&](UdpEndpoint&, std::string_view, const Binding& from) { seen = from.senderPort; });
    ASSERT_TRUE(probe.setActive(true).ok());
    peer.send(probe.boundPort(), "x");
    for (int i = 0; i < 100 && seen == 0; ++i) std::this_thread::sleep_for(10ms);
    peerPort = seen;
  }
  ASSERT_NE(peerPort, 0);
  DelayedSender sender(endpoint, 2);
  const Binding back{"127.0.0.1", peerPort};
  EXPECT_TRUE(sender.schedule(1, back, "one"));
  EXPECT_TRUE(sender.schedule(1, back, "two"));
  EXPECT_EQ(peer.receive(30000), "one");
  EXPECT_EQ(peer.receive(30000), "two");
  EXPECT_TRUE(sender.schedule(1, back, "three"));
  EXPECT_EQ(peer.receive(30000), "three");
  EXPECT_EQ(sender.dropped(), 0u);
}

}  // namespace
}  // namespace vexa
