// The service manager's notifications, received on a datagram socket the test binds and names
// in NOTIFY_SOCKET, as systemd does for a Type=notify service.
#include "service_notify.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "notify_socket.h"
#include "temp_dir.h"

namespace vexa {
namespace {

class ServiceNotifyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(socket_.bound()); }
  void TearDown() override { ::unsetenv("NOTIFY_SOCKET"); }
  testing::TempDir dir_;
  testing::NotifySocket socket_{dir_.file("notify")};
};

TEST_F(ServiceNotifyTest, ReadyCarriesOneStatusLine) {
  ::setenv("NOTIFY_SOCKET", socket_.path().c_str(), 1);
  for (const auto& [status, sent] : {std::pair<std::string, std::string>{"up", "up"},
                                     {"", ""},
                                     {"a\nb", "a b"},
                                     {"a\r\nSTOPPING=1", "a  STOPPING=1"}}) {
    notifyReady(status);
    EXPECT_EQ(socket_.receive(30000), "READY=1\nSTATUS=" + sent) << status;
  }
}

TEST_F(ServiceNotifyTest, StoppingIsOneAssignment) {
  ::setenv("NOTIFY_SOCKET", socket_.path().c_str(), 1);
  notifyStopping();
  EXPECT_EQ(socket_.receive(30000), "STOPPING=1");
}

TEST_F(ServiceNotifyTest, WithoutTheVariableNothingIsSent) {
  ::unsetenv("NOTIFY_SOCKET");
  notifyReady("up");
  notifyStopping();
  EXPECT_EQ(socket_.receive(200), std::nullopt);
}

}  // namespace
}  // namespace vexa
