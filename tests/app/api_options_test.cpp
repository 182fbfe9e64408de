#include <gtest/gtest.h>

#include "command_line.h"

namespace vexa {
namespace {

TEST(ApiOptions, AddressPortAndToken) {
  auto p = parseCommandLine({"--api", "8080"});
  ASSERT_TRUE(p.options) << p.error;
  ASSERT_TRUE(p.options->api);
  EXPECT_EQ(p.options->api->host, "127.0.0.1");
  EXPECT_EQ(p.options->api->port, 8080);
  EXPECT_TRUE(p.options->apiToken.empty());
  EXPECT_FALSE(parseCommandLine({}).options->api);

  p = parseCommandLine({"--api", "0.0.0.0:9000", "--api-token", "t0k"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->api->host, "0.0.0.0");
  EXPECT_EQ(p.options->apiToken, "t0k");
  p = parseCommandLine({"--api-token", "t", "--api", "127.0.0.2:1"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->apiToken, "t");
}

TEST(ApiOptions, AFleetTakesTheInterfaceToo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--units", "3", "--api", "8080"},
                                             {"--bind-range", "127.0.0.1-127.0.0.3", "--api=0"},
                                             {"--fleet", "f.json", "--api", "127.0.0.1:0"}}) {
    const auto p = parseCommandLine(args);
    ASSERT_TRUE(p.options) << args[0] << ": " << p.error;
    EXPECT_TRUE(p.options->fleet()) << args[0];
    ASSERT_TRUE(p.options->api) << args[0];
    EXPECT_EQ(p.options->api->host, "127.0.0.1") << args[0];
  }
}

TEST(ApiOptions, Refusals) {
  const std::vector<std::vector<std::string>> bad = {
      {"--api"},
      {"--api", "x"},
      {"--api", "70000"},
      {"--api", "host:80"},
      {"--api", "0.0.0.0:9000"},  // off loopback without a token
      {"--api", "10.0.0.1:80"},
      {"--api-token", "t"},  // a token without the interface
      {"--api", "8080", "--api-token"},
  };
  for (const auto& args : bad) {
    const auto p = parseCommandLine(args);
    EXPECT_FALSE(p.options) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_NE(p.error.find("--api"), std::string::npos) << p.error;
  }
}

}  // namespace
}  // namespace vexa
