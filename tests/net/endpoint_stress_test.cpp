#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "datagram_handler.h"
#include "endpoint_sender.h"
#include "live_ticks.h"
#include "reply_framing.h"
#include "udp_client.h"
#include "udp_endpoint.h"

namespace vexa {
namespace {

using namespace std::chrono;

// Bounded to about two seconds. Under ThreadSanitizer this is the proof that the listener, the
// ticks and the switch share the state without a race.
TEST(EndpointStress, FloodTicksAndTogglingTogether) {
  DeviceState state;
  state.locked([](DeviceData& d) { writeStartupDefaults(d); });
  MonotonicTickSource ticks;
  DatagramHandler handler(state, ticks);
  UdpEndpoint endpoint(0, "127.0.0.1");
  endpoint.setOnUDPRead([&](UdpEndpoint& ep, std::string_view data, const Binding& from) {
    EndpointSender sender(ep, from);
    handler.UDPUDPRead(data, sender);
  });
  ASSERT_TRUE(endpoint.setActive(true).ok());
  const uint16_t port = endpoint.boundPort();
  const auto until = steady_clock::now() + seconds(2);

  std::atomic<long> replies{0};
  std::thread flood([&] {
    testing::UdpClient client;
    const char* lines[] = {"snd000\n",
                           "rPr000\n",
                           "rst000001 0000000\n",
                           "wSc000,750,001,002\n",
                           "garbage\xFF\n",
                           "wPr000,001,002,003,004,005,006,007,008,009,010,011,012\n"};
    for (int i = 0; steady_clock::now() < until; ++i) {
      client.send(port, lines[i % 6]);
      while (auto r = client.receive(0)) {
        if (decodeReply(*r, 4)) ++replies;
      }
    }
  });
  std::thread toggler([&] {
    while (steady_clock::now() < until) {
      std::this_thread::sleep_for(milliseconds(50));
      endpoint.setActive(false);
      endpoint.setActive(true);
    }
  });
  // The GUI thread's ticks at their rates: 10 ms, 100 ms and 2000 ms.
  SeededRandom random(5);
  state.locked([](DeviceData& d) { d.AutoMode = true; });
  for (int tick = 0; steady_clock::now() < until; ++tick) {
    resetTick(state);
    if (tick % 10 == 0) flagsStep(state);
    if (tick % 200 == 0) measurementTick(state, random);
    std::this_thread::sleep_for(milliseconds(10));
  }
  flood.join();
  toggler.join();
  endpoint.setActive(false);
  EXPECT_GT(replies.load(), 0);
  const auto snap = state.snapshot();
  EXPECT_EQ(snap.config.ScaleLow, 238);
  EXPECT_EQ(snap.config.Ip[0], 1);
}

}  // namespace
}  // namespace vexa
