// The rules that keep web pages and strangers from driving the interface, edge by edge.
#include "request_policy.h"

#include <gtest/gtest.h>

#include "api_routes.h"

namespace vexa::api {
namespace {

TEST(RequestPolicy, HostNamesThisServerOnly) {
  const std::vector<std::string> allowed = {"sim.lab", "Rig-7"};
  const struct {
    const char* host;
    const char* listen;
    bool ok;
  } cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", true},
      {"127.0.0.1", "127.0.0.1", true},
      {"127.5.6.7:1", "127.0.0.1", true},
      {"localhost:8080", "127.0.0.1", true},
      {"LocalHost", "127.0.0.1", true},
      {"[::1]:8080", "127.0.0.1", true},
      {"[::1]", "127.0.0.1", true},
      {"192.168.1.5:8080", "192.168.1.5", true},  // the listening address
      {"192.168.1.6:8080", "192.168.1.5", false},
      {"sim.lab:80", "0.0.0.0", true},  // allowed names, any case
      {"SIM.LAB", "0.0.0.0", true},
      {"rig-7", "0.0.0.0", true},
      {"192.168.1.6:8080", "0.0.0.0", true},  // on every address, any address by number
      {"10.0.0.9", "0.0.0.0", true},
      {"10.0.0", "0.0.0.0", false},  // not a dotted address, so a name
      {"evil.example", "0.0.0.0", false},
      {"evil.example", "127.0.0.1", false},
      {"evil.example:8080", "127.0.0.1", false},
      {"localhost.evil.example", "127.0.0.1", false},
      {"127.0.0.1.evil.example", "127.0.0.1", false},
      {"128.0.0.1", "127.0.0.1", false},
      {"0.0.0.0:8080", "127.0.0.1", false},
      {"", "127.0.0.1", false},
      {":8080", "127.0.0.1", false},
      {"localhost:80x", "127.0.0.1", false},  // a port that is not a number
      {"[::1", "127.0.0.1", false},
      {"[::2]:80", "127.0.0.1", false},
      {"[::1]x", "127.0.0.1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hostAllowed(c.host, c.listen, allowed), c.ok) << c.host << " on " << c.listen;
  }
}

TEST(RequestPolicy, WritesComeOnlyFromTheServersOwnOrigin) {
  const struct {
    std::optional<std::string_view> origin;
    const char* host;
    bool ok;
  } cases[] = {
      {std::nullopt, "127.0.0.1:8080", true},  // not a browser's cross-site request
      {"http://127.0.0.1:8080", "127.0.0.1:8080", true},
      {"HTTP://LOCALHOST:8080", "localhost:8080", true},
      {"http://127.0.0.1:8081", "127.0.0.1:8080", false},
      {"http://localhost:8080", "127.0.0.1:8080", false},
      {"https://127.0.0.1:8080", "127.0.0.1:8080", false},
      {"http://evil.example", "127.0.0.1:8080", false},
      {"null", "127.0.0.1:8080", false},
      {"", "127.0.0.1:8080", false},
      {"http://", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(originAllowed(c.origin, c.host), c.ok) << (c.origin ? *c.origin : "(none)");
  }
}

TEST(RequestPolicy, OnlyJsonIsAcceptedAsAChange) {
  for (const char* ok : {"application/json", "Application/JSON", "application/json; charset=utf-8",
                         " application/json ;charset=UTF-8"}) {
    EXPECT_TRUE(isJsonContentType(ok)) << ok;
  }
  for (const char* no :
       {"", "text/plain", "application/x-www-form-urlencoded", "multipart/form-data; boundary=x",
        "application/jsonx", "application/json-patch+json", "text/json", "application/"}) {
    EXPECT_FALSE(isJsonContentType(no)) << no;
  }
}

TEST(RequestPolicy, SecretsMatchWholeAndExactly) {
  EXPECT_TRUE(sameSecret("s3cret", "s3cret"));
  for (const char* wrong : {"", "s3cre", "s3cret2", "S3cret", "s3cres", "xs3cret", "s3cret "}) {
    EXPECT_FALSE(sameSecret(wrong, "s3cret")) << wrong;
  }
  EXPECT_FALSE(sameSecret("", ""));  // no secret set is never matched
  EXPECT_FALSE(sameSecret("a", ""));
}

TEST(RequestPolicy, BearerSchemeInAnyCase) {
  const struct {
    const char* header;
    std::optional<std::string_view> token;
  } cases[] = {
      {"Bearer abc", "abc"},       {"bearer abc", "abc"},       {"BEARER  abc ", "abc"},
      {"Bearer\tabc", "abc"},      {"Bearer", std::nullopt},    {"Bearer ", std::nullopt},
      {"Bearerabc", std::nullopt}, {"Basic abc", std::nullopt}, {"abc", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(bearerToken(c.header), c.token) << c.header;
}

TEST(RequestPolicy, TheTokenRule) {
  const AuthSettings secret{"s3cret", false};
  const AuthSettings publicMetrics{"s3cret", true};
  const AuthSettings none{"", false};
  const std::optional<std::string_view> good = "Bearer s3cret", bad = "Bearer nope";
  const std::optional<std::string_view> goodParam = "s3cret", badParam = "nope";
  const struct {
    const char* what;
    Credentials request;
    AuthSettings settings;
    bool ok;
  } cases[] = {
      {"no token set", {std::nullopt, std::nullopt, false, false}, none, true},
      {"no token set, any parameter", {std::nullopt, badParam, false, false}, none, true},
      {"nothing sent", {std::nullopt, std::nullopt, false, false}, secret, false},
      {"header", {good, std::nullopt, false, false}, secret, true},
      {"wrong header", {bad, std::nullopt, false, false}, secret, false},
      {"parameter on a stream", {std::nullopt, goodParam, true, false}, secret, true},
      {"wrong parameter on a stream", {std::nullopt, badParam, true, false}, secret, false},
      {"parameter off a stream", {std::nullopt, goodParam, false, false}, secret, false},
      {"parameter off a stream beside a header", {good, goodParam, false, false}, secret, false},
      {"wrong header beats a parameter", {bad, goodParam, true, false}, secret, false},
      {"metrics", {std::nullopt, std::nullopt, false, true}, secret, false},
      {"public metrics", {std::nullopt, std::nullopt, false, true}, publicMetrics, true},
      {"public metrics only", {std::nullopt, std::nullopt, false, false}, publicMetrics, false},
  };
  for (const auto& c : cases) EXPECT_EQ(authorized(c.request, c.settings), c.ok) << c.what;
}

TEST(RequestPolicy, ContentLengthIsOneNumber) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(contentLengthOf(V{}), std::nullopt);
  EXPECT_EQ(contentLengthOf(V{"0"}), 0u);
  EXPECT_EQ(contentLengthOf(V{"65536"}), 65536u);
  EXPECT_EQ(contentLengthOf(V{" 12 "}), 12u);
  EXPECT_EQ(contentLengthOf(V{"12", "12"}), 12u);  // repeated, the same: one length
  for (const V& bad : {V{"-1"}, V{"+1"}, V{""}, V{"1e3"}, V{"0x10"}, V{"12", "13"}, V{"12", "x"},
                       V{"1 2"}, V{"9999999999999999999"}}) {
    EXPECT_EQ(contentLengthOf(bad), std::nullopt) << bad[0];
  }
}

TEST(RequestPolicy, OnlyOneChunkedOnHttp11IsATransferCoding) {
  using V = std::vector<std::string_view>;
  const struct {
    V values;
    const char* version;
    std::optional<int> refusal;
  } cases[] = {
      {V{}, "HTTP/1.1", std::nullopt},
      {V{}, "HTTP/1.0", std::nullopt},
      {V{"chunked"}, "HTTP/1.1", std::nullopt},
      {V{" Chunked "}, "HTTP/1.1", std::nullopt},
      {V{"chunked"}, "HTTP/1.0", 400},
      {V{"gzip"}, "HTTP/1.1", 501},
      {V{"identity"}, "HTTP/1.1", 501},
      {V{"chunked, identity"}, "HTTP/1.1", 400},
      {V{"gzip, chunked"}, "HTTP/1.1", 400},
      {V{"chunked,"}, "HTTP/1.1", 400},
      {V{""}, "HTTP/1.1", 400},
      {V{"chunked", "chunked"}, "HTTP/1.1", 400},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(transferCodingRefusal(c.values, c.version), c.refusal)
        << (c.values.empty() ? "(none)" : c.values[0]) << " " << c.version;
  }
}

TEST(RequestPolicy, HeaderNamesAreTokensAndValuesHoldNoControls) {
  for (const char* good : {"Host", "X-A", "a1!#$%&'*+-.^_`|~"}) EXPECT_TRUE(validFieldName(good));
  for (const char* bad : {"", "Transfer-Encoding ", " Host", "X A", "X:A", "X\tA", "\xc3\xa9"}) {
    EXPECT_FALSE(validFieldName(bad)) << bad;
  }
  for (const char* good : {"", "a b", "a\tb", "\xc3\xa9t\xc3\xa9"})
    EXPECT_TRUE(validFieldValue(good));
  for (const char* bad : {"a\rb", "a\nb", "a\x01", "\x7f"})
    EXPECT_FALSE(validFieldValue(bad)) << bad;
}

TEST(ApiRoutes, EveryPathOfVersion1AndItsMethods) {
  const struct {
    const char* path;
    std::optional<RouteKind> kind;
    const char* unit;
    const char* allow;
  } cases[] = {
      {"/api/v1/health", RouteKind::Health, "", "GET, OPTIONS"},
      {"/api/v1/units", RouteKind::Units, "", "GET, OPTIONS"},
      {"/api/v1/units/17", RouteKind::Unit, "17", "GET, PATCH, OPTIONS"},
      {"/api/v1/units/a-b_c.d", RouteKind::Unit, "a-b_c.d", "GET, PATCH, OPTIONS"},
      {"/api/v1/units/1/reset", RouteKind::UnitReset, "1", "POST, OPTIONS"},
      {"/api/v1/units/1/scenario", RouteKind::UnitScenario, "1", "POST, DELETE, OPTIONS"},
      {"/api/v1/units/1/events", RouteKind::UnitEvents, "1", "GET, OPTIONS"},
      {"/api/v1/events", RouteKind::Events, "", "GET, OPTIONS"},
      {"/api/v1/cards", RouteKind::Cards, "", "GET, OPTIONS"},
      {"/metrics", RouteKind::Metrics, "", "GET, OPTIONS"},
      {"/", RouteKind::Asset, "", "GET, OPTIONS"},
      {"/app.js", RouteKind::Asset, "", "GET, OPTIONS"},
      {"/api/v1/units/", std::nullopt, "", ""},
      {"/api/v1/units/bad id", std::nullopt, "", ""},
      {"/api/v1/units/1/", std::nullopt, "", ""},
      {"/api/v1/units/1/other", std::nullopt, "", ""},
      {"/api/v1/units/1/reset/x", std::nullopt, "", ""},
      {"/api/v2/units", std::nullopt, "", ""},
      {"/metrics/", std::nullopt, "", ""},
      {"/nothing", std::nullopt, "", ""},
  };
  for (const auto& c : cases) {
    const std::optional<Route> route = routeOf(c.path);
    ASSERT_EQ(route.has_value(), c.kind.has_value()) << c.path;
    if (!route) continue;
    EXPECT_EQ(route->kind, *c.kind) << c.path;
    EXPECT_EQ(route->unit, c.unit) << c.path;
    EXPECT_EQ(allowedMethods(route->kind), c.allow) << c.path;
  }
  EXPECT_EQ(routeOf("/api/v1/units/" + std::string(64, 'a'))->unit.size(), 64u);
  EXPECT_FALSE(routeOf("/api/v1/units/" + std::string(65, 'a')));
  EXPECT_TRUE(allowsMethod(RouteKind::Unit, "PATCH"));
  EXPECT_FALSE(allowsMethod(RouteKind::Unit, "POST"));
  EXPECT_FALSE(allowsMethod(RouteKind::Unit, "PATC"));
  EXPECT_TRUE(allowsMethod(RouteKind::UnitScenario, "DELETE"));
  EXPECT_FALSE(allowsMethod(RouteKind::Health, "HEAD"));
  EXPECT_TRUE(isStream(RouteKind::Cards));
  EXPECT_FALSE(isStream(RouteKind::Metrics));
}

}  // namespace
}  // namespace vexa::api
