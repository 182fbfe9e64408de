#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "udp_client.h"
#include "udp_endpoint.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using testing::UdpClient;

// An endpoint on a free port whose handler echoes "<length>:" + the first bytes back.
class EndpointTest : public ::testing::Test {
 protected:
  EndpointTest() {
    endpoint.setOnUDPRead([this](UdpEndpoint& ep, std::string_view data, const Binding& from) {
      ++handled;
      if (beforeReply) beforeReply(data);
      std::string reply = std::to_string(data.size());
      reply += ':';
      reply.append(data.substr(0, 16));
      if (!ep.Send(from.senderAddress, from.senderPort, reply).ok()) ++sendFailures;
      if (data == "throw") throw std::runtime_error("handler error");
    });
    EXPECT_TRUE(endpoint.setActive(true).ok());
    port = endpoint.boundPort();
  }
  UdpEndpoint endpoint{0, "127.0.0.1"};
  uint16_t port = 0;
  std::atomic<int> handled{0};
  std::atomic<int> sendFailures{0};
  std::function<void(std::string_view)> beforeReply;
  UdpClient client;
};

TEST_F(EndpointTest, DeliversUpTo8192BytesAndDropsLongerDatagramsWhole) {
  EXPECT_EQ(client.request(port, std::string(8192, 'a')), "8192:" + std::string(16, 'a'));
  EXPECT_EQ(client.request(port, std::string(8193, 'b'), 300), std::nullopt);
  EXPECT_EQ(client.request(port, std::string(20000, 'c'), 300), std::nullopt);
  EXPECT_EQ(client.request(port, "after"), "5:after");
}

TEST_F(EndpointTest, AnEmptyDatagramReachesTheHandler) {
  EXPECT_EQ(client.request(port, ""), "0:");
}

TEST_F(EndpointTest, RepliesLeaveFromTheBoundPortInArrivalOrder) {
  const char* messages[] = {"m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8", "m9"};
  for (const char* m : messages) client.send(port, m);
  for (const char* m : messages) {
    uint16_t from = 0;
    EXPECT_EQ(client.receive(2000, &from), std::string("2:") + m);
    EXPECT_EQ(from, port);
  }
}

TEST_F(EndpointTest, AnErrorInTheHandlerEndsOnlyThatDatagram) {
  EXPECT_EQ(client.request(port, "throw"), "5:throw");
  EXPECT_EQ(client.request(port, "next"), "4:next");
  // A send that fails (no such host) is reported to the handler, and the listener goes on.
  EXPECT_FALSE(endpoint.Send("no.such.host.invalid", 9, "x").ok());
  EXPECT_EQ(client.request(port, "still"), "5:still");
}

TEST_F(EndpointTest, ATakenPortFailsWithTheBindMessage) {
  UdpEndpoint second(port, "127.0.0.1");
  const Status status = second.setActive(true);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.text(), "Could not bind socket. Address and port are already in use.");
  EXPECT_FALSE(second.Active());
}

TEST_F(EndpointTest, OffAndOnAgainRebindsTheSamePort) {
  ASSERT_TRUE(endpoint.setActive(false).ok());
  EXPECT_FALSE(endpoint.Active());
  EXPECT_EQ(client.request(port, "off", 200), std::nullopt);
  UdpEndpoint again(port, "127.0.0.1");  // the port is free while off
  EXPECT_TRUE(again.setActive(true).ok());
  again.setActive(false);
  ASSERT_TRUE(endpoint.setActive(true).ok());
  EXPECT_EQ(endpoint.boundPort(), port);
  EXPECT_EQ(client.request(port, "on"), "2:on");
  EXPECT_TRUE(endpoint.setActive(true).ok());  // setting the current value does nothing
}

TEST_F(EndpointTest, StoppingWaitsForAHandlerInProgress) {
  std::mutex m;
  std::condition_variable cv;
  bool inHandler = false;
  std::atomic<bool> finished{false};
  // The hook is set while the listener is stopped: its join and restart order the accesses.
  ASSERT_TRUE(endpoint.setActive(false).ok());
  beforeReply = [&](std::string_view) {
    {
      std::lock_guard<std::mutex> g(m);
      inHandler = true;
    }
    cv.notify_all();
    std::this_thread::sleep_for(200ms);
    finished = true;
  };
  ASSERT_TRUE(endpoint.setActive(true).ok());
  client.send(port, "slow");
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, 2s, [&] { return inHandler; }));
  lock.unlock();
  endpoint.setActive(false);
  EXPECT_TRUE(finished);
}

int entriesOf(const char* directory) {
  int count = 0;
  if (DIR* d = ::opendir(directory)) {
    while (::readdir(d)) ++count;
    ::closedir(d);
  }
  return count;
}
int openDescriptors() {
  return entriesOf("/proc/self/fd");
}
int threads() {
  return entriesOf("/proc/self/task");
}

TEST_F(EndpointTest, SwitchingOffAndOnUnderLoadLeaksNothing) {
  const int before = openDescriptors();
  const int threadsBefore = threads();
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    UdpClient sender;
    for (int i = 0; i < 200000 && !stop; ++i) sender.send(port, "x");
  });
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(endpoint.setActive(false).ok());
    ASSERT_TRUE(endpoint.setActive(true).ok());
  }
  stop = true;
  flood.join();
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_EQ(threads(), threadsBefore);  // no listener thread left behind
  EXPECT_EQ(client.request(port, "alive"), "5:alive");
}

}  // namespace
}  // namespace vexa
