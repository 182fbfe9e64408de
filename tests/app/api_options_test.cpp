#include <gtest/gtest.h>

#include "command_line.h"

namespace vexa {
namespace {

const std::string kToken = "0123456789abcdef";  // 16 characters: the shortest token

TEST(ApiOptions, AddressPortAndToken) {
  auto p = parseCommandLine({"--api", "8080"});
  ASSERT_TRUE(p.options) << p.error;
  ASSERT_TRUE(p.options->api);
  EXPECT_EQ(p.options->api->host, "127.0.0.1");
  EXPECT_EQ(p.options->api->port, 8080);
  EXPECT_TRUE(p.options->apiToken.empty());
  EXPECT_TRUE(p.options->apiTokenFile.empty());
  EXPECT_FALSE(p.options->metricsPublic);
  EXPECT_TRUE(p.options->apiAllowedHosts.empty());
  EXPECT_FALSE(p.options->apiMaxConnections);
  EXPECT_FALSE(parseCommandLine({}).options->api);

  p = parseCommandLine({"--api", "0.0.0.0:9000", "--api-token", kToken});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->api->host, "0.0.0.0");
  EXPECT_EQ(p.options->apiToken, kToken);
  p = parseCommandLine({"--api-token=" + kToken, "--api", "127.0.0.2:1"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->apiToken, kToken);
  p = parseCommandLine({"--api", "0", "--api-token-file", "/run/secrets/t"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->apiTokenFile, "/run/secrets/t");
  EXPECT_TRUE(p.options->apiToken.empty());
}

// An address off loopback parses without a token: the token may still come from the
// environment or a credential, which the start reads (api_token_test).
TEST(ApiOptions, AnAddressOffLoopbackWaitsForTheTokenSources) {
  const auto p = parseCommandLine({"--api", "0.0.0.0:9000"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_FALSE(p.options->api->loopback());
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

// The token's rule on the command line: 16 to 256 characters from 0x21 to 0x7E, in both
// spellings; a refusal names the option and the rule but never quotes the token.
TEST(ApiOptions, TheTokenRule) {
  struct Case {
    std::string token;
    bool accepted;
  };
  const Case cases[] = {
      {std::string(15, 'a'), false},
      {std::string(16, 'a'), true},
      {std::string(256, 'Z'), true},
      {std::string(257, 'Z'), false},
      {"!~" + std::string(14, '0'), true},  // the first and last printable characters
      {"abcdefgh ijklmnop", false},         // a space
      {"abcdefgh\tijklmnop", false},
      {"abcdefgh\x7Fijklmnop", false},
      {"abcdefgh\xC3\xA9ijklmnop", false},  // not ASCII
      {std::string("abcdefgh\0ijklmnop", 17), false},
  };
  for (const Case& c : cases) {
    for (const auto& args : {std::vector<std::string>{"--api", "0", "--api-token", c.token},
                             std::vector<std::string>{"--api", "0", "--api-token=" + c.token}}) {
      const auto p = parseCommandLine(args);
      EXPECT_EQ(p.options.has_value(), c.accepted) << c.token.size() << " " << p.error;
      if (c.accepted) {
        if (p.options) {
          EXPECT_EQ(p.options->apiToken, c.token);
        }
        continue;
      }
      EXPECT_EQ(p.error.rfind("--api-token: ", 0), 0u) << p.error;
      EXPECT_NE(p.error.find("16 to 256 printable ASCII"), std::string::npos) << p.error;
      EXPECT_EQ(p.error.find("abcdefgh"), std::string::npos) << p.error;
      EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
  }
}

// The interface's other options, each at its edges.
TEST(ApiOptions, HostsConnectionsAndPublicMetrics) {
  const std::string longest = std::string(249, 'a') + ".com";  // 253 characters
  struct Case {
    std::vector<std::string> args;  // after "--api 0"
    bool accepted;
  };
  const Case cases[] = {
      {{"--api-allow-host", "sim.example.net"}, true},
      {{"--api-allow-host=10.0.0.5", "--api-allow-host", "Lab-Host"}, true},
      {{"--api-allow-host", longest}, true},
      {{"--api-allow-host", longest + "x"}, false},
      {{"--api-allow-host", ""}, false},
      {{"--api-allow-host"}, false},
      {{"--api-allow-host", "sim.example.net:8080"}, false},
      {{"--api-allow-host", "a_b"}, false},
      {{"--api-allow-host", "a b"}, false},
      {{"--api-allow-host", "[::1]"}, false},
      {{"--api-max-connections", "1"}, true},
      {{"--api-max-connections=65536"}, true},
      {{"--api-max-connections", "65537"}, false},
      {{"--api-max-connections", "0"}, false},
      {{"--api-max-connections", "-1"}, false},
      {{"--api-max-connections", "1k"}, false},
      {{"--api-max-connections"}, false},
      {{"--metrics-public"}, true},
      {{"--metrics-public=yes"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--api", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto p = parseCommandLine(args);
    const std::string shown = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
    ASSERT_EQ(p.options.has_value(), c.accepted) << shown << ": " << p.error;
    if (!c.accepted) {
      EXPECT_EQ(p.error.find("--api-allow-host") == 0 ||
                    p.error.find("--api-max-connections") == 0 ||
                    p.error.find("--metrics-public") == 0,
                true)
          << p.error;
    }
  }
  auto p = parseCommandLine({"--api", "0", "--api-allow-host", "Lab-Host", "--api-allow-host",
                             "10.0.0.5", "--api-max-connections", "77", "--metrics-public"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->apiAllowedHosts, (std::vector<std::string>{"lab-host", "10.0.0.5"}));
  EXPECT_EQ(p.options->apiMaxConnections, 77u);
  EXPECT_TRUE(p.options->metricsPublic);

  // The list of hosts is bounded.
  std::vector<std::string> many = {"--api", "0"};
  for (size_t i = 0; i <= kMaxApiAllowedHosts; ++i) {
    many.insert(many.end(), {"--api-allow-host", "h" + std::to_string(i)});
  }
  p = parseCommandLine(many);
  EXPECT_FALSE(p.options);
  EXPECT_NE(p.error.find("at most"), std::string::npos) << p.error;
  many.resize(many.size() - 2);
  EXPECT_TRUE(parseCommandLine(many).options);
}

TEST(ApiOptions, Refusals) {
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the start of the error
  };
  const Case cases[] = {
      {{"--api"}, "--api needs"},
      {{"--api", "x"}, "--api needs"},
      {{"--api", "70000"}, "--api needs"},
      {{"--api", "host:80"}, "--api needs"},
      {{"--api", "8080", "--api-token"}, "--api-token needs a token"},
      {{"--api", "8080", "--api-token-file"}, "--api-token-file needs a file"},
      {{"--api", "8080", "--api-token-file="}, "--api-token-file needs a file"},
      // Every option of the interface needs the interface.
      {{"--api-token", kToken}, "--api-token needs --api"},
      {{"--api-token-file", "t"}, "--api-token-file needs --api"},
      {{"--metrics-public"}, "--metrics-public needs --api"},
      {{"--api-allow-host", "lab"}, "--api-allow-host needs --api"},
      {{"--api-max-connections", "5"}, "--api-max-connections needs --api"},
      // Two token options at once, in either order.
      {{"--api", "0", "--api-token", kToken, "--api-token-file", "t"},
       "--api-token and --api-token-file exclude each other"},
      {{"--api-token-file=t", "--api-token=" + kToken, "--api", "0"},
       "--api-token and --api-token-file exclude each other"},
  };
  for (const Case& c : cases) {
    const auto p = parseCommandLine(c.args);
    EXPECT_FALSE(p.options) << c.args[0];
    EXPECT_EQ(p.error.rfind(c.message, 0), 0u) << c.args[0] << ": " << p.error;
  }
}

}  // namespace
}  // namespace vexa
