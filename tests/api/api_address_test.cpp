#include "api_address.h"

#include <gtest/gtest.h>

namespace vexa::api {
namespace {

TEST(ApiAddress, ParsesPortsAndAddresses) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    uint16_t port;
    bool loopback;
  };
  const Case cases[] = {
      {"8080", true, "127.0.0.1", 8080, true},
      {"0", true, "127.0.0.1", 0, true},
      {"65535", true, "127.0.0.1", 65535, true},
      {"65536", false, "", 0, false},
      {"-1", false, "", 0, false},
      {"", false, "", 0, false},
      {"80a", false, "", 0, false},
      {"127.0.0.1:9000", true, "127.0.0.1", 9000, true},
      {"127.255.1.2:1", true, "127.255.1.2", 1, true},
      {"localhost:9000", true, "127.0.0.1", 9000, true},
      {"0.0.0.0:9000", true, "0.0.0.0", 9000, false},
      {"192.168.0.10:80", true, "192.168.0.10", 80, false},
      {"128.0.0.1:80", true, "128.0.0.1", 80, false},
      {"::1:80", false, "", 0, false},
      {"example.com:80", false, "", 0, false},
      {"1.2.3:80", false, "", 0, false},
      {"1.2.3.4:", false, "", 0, false},
      {":80", false, "", 0, false},
  };
  for (const Case& c : cases) {
    const auto address = parseApiAddress(c.text);
    ASSERT_EQ(address.has_value(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(address->host, c.host) << c.text;
    EXPECT_EQ(address->port, c.port) << c.text;
    EXPECT_EQ(address->loopback(), c.loopback) << c.text;
  }
}

}  // namespace
}  // namespace vexa::api
