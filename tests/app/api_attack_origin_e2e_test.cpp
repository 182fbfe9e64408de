// What a web page on another origin can make the real program's HTTP interface do: nothing.
// A rebound DNS name, a form post, a write from a foreign origin, a missing or wrong token are
// refused and change no unit; every answer forbids framing and sniffing and shares nothing.
#include "api_attack_fixture.h"

namespace vexa {
namespace {

using testing::RawHttp;

class ApiAttackOriginTest : public ApiAttackFixture {
 protected:
  void SetUp() override {
    ApiAttackFixture::SetUp();
    if (!HasFatalFailure()) moveUnitOneAway();
  }
};

// One request as a hostile page or client would shape it, and the status it must get.
struct Attempt {
  const char* what;
  std::string method;
  std::string path;
  std::string headers;  // after the request line, up to the blank line
  std::string body;
  int status;
};

std::string shaped(const Attempt& a) {
  std::string r = a.method + " " + a.path + " HTTP/1.1\r\n" + a.headers;
  if (!a.body.empty()) r += "Content-Length: " + std::to_string(a.body.size()) + "\r\n";
  r += "Connection: close\r\n\r\n" + a.body;
  return r;
}

constexpr const char* kWrite = R"({"levels":{"umid":11},"inputs":{"0":true}})";

TEST_F(ApiAttackOriginTest, ForeignHostsOriginsAndMediaTypesAreRefused) {
  const std::string port = std::to_string(apiPort);
  const std::string host = hostHeader();
  const std::string json = "Content-Type: application/json\r\n";
  const std::string patch = "/api/v1/units/1";
  const std::vector<Attempt> attempts = {
      // DNS rebinding: the page's own name resolves to 127.0.0.1.
      {"a foreign Host", "GET", patch, "Host: evil.example\r\n", "", 421},
      {"a foreign Host with the port", "GET", patch, "Host: evil.example:" + port + "\r\n", "",
       421},
      {"a name that starts as loopback", "GET", patch,
       "Host: 127.0.0.1.evil.example:" + port + "\r\n", "", 421},
      {"a name that starts as localhost", "GET", patch, "Host: localhost.evil.example\r\n", "",
       421},
      {"a write under a foreign Host", "PATCH", patch, "Host: evil.example:" + port + "\r\n" + json,
       kWrite, 421},
      {"the reset under a foreign Host", "POST", patch + "/reset",
       "Host: evil.example:" + port + "\r\n" + json, "{}", 421},
      {"localhost", "GET", "/api/v1/health", "Host: localhost:" + port + "\r\n", "", 200},
      {"another loopback address", "GET", "/api/v1/health", "Host: 127.0.0.2:" + port + "\r\n", "",
       200},
      {"IPv6 loopback", "GET", "/api/v1/health", "Host: [::1]:" + port + "\r\n", "", 200},
      // Writes a form or a no-cors fetch can send.
      {"a form post as text", "PATCH", patch, host + "Content-Type: text/plain\r\n", kWrite, 415},
      {"a form post url-encoded", "POST", patch + "/reset",
       host + "Content-Type: application/x-www-form-urlencoded\r\n", "a=1", 415},
      {"a multipart form", "POST", patch + "/reset",
       host + "Content-Type: multipart/form-data; boundary=x\r\n", "--x--\r\n", 415},
      {"no media type", "PATCH", patch, host, kWrite, 415},
      {"a media type that only starts as JSON", "PATCH", patch,
       host + "Content-Type: application/jsonx\r\n", kWrite, 415},
      {"a text type naming JSON as a parameter", "PATCH", patch,
       host + "Content-Type: text/plain; a=application/json\r\n", kWrite, 415},
      {"a DELETE without a media type", "DELETE", patch + "/scenario", host, "", 415},
      {"JSON with a charset", "PATCH", patch,
       host + "Content-Type: application/json; charset=utf-8\r\n", "{}", 200},
      // Writes from another origin, however labelled.
      {"a foreign Origin", "PATCH", patch, host + json + "Origin: http://evil.example\r\n", kWrite,
       403},
      {"another port of 127.0.0.1", "PATCH", patch,
       host + json + "Origin: http://127.0.0.1:" + std::to_string(apiPort + 1) + "\r\n", kWrite,
       403},
      {"an opaque origin", "PATCH", patch, host + json + "Origin: null\r\n", kWrite, 403},
      {"a foreign Origin resetting", "POST", patch + "/reset",
       host + json + "Origin: https://evil.example\r\n", "{}", 403},
      {"a foreign Origin stopping a scenario", "DELETE", patch + "/scenario",
       host + json + "Origin: http://evil.example\r\n", "", 403},
      {"the server's own origin", "PATCH", patch,
       host + json + "Origin: http://127.0.0.1:" + port + "\r\n", "{}", 200},
  };
  const Baseline before = baseline();
  for (const Attempt& a : attempts) {
    SCOPED_TRACE(a.what);
    const auto answer = testing::exchange(apiPort, shaped(a));
    if (!answer) {
      ADD_FAILURE() << "no answer";
      continue;
    }
    EXPECT_EQ(answer->status, a.status) << answer->head << answer->body;
    expectHardened(*answer);
  }
  expectUnharmed(before);
}

TEST_F(ApiAttackOriginTest, EveryAnswerForbidsFramingAndSharing) {
  const std::string host = hostHeader();
  const std::vector<Attempt> attempts = {
      {"the dashboard", "GET", "/", host, "", 200},
      {"its script", "GET", "/app.js", host, "", 200},
      {"its stylesheet", "GET", "/app.css", host, "", 200},
      {"the list", "GET", "/api/v1/units", host, "", 200},
      {"metrics", "GET", "/metrics", host, "", 200},
      {"no such unit", "GET", "/api/v1/units/99", host, "", 404},
      {"no such path", "GET", "/nothing", host, "", 404},
      {"a body that is not JSON", "PATCH", "/api/v1/units/1",
       host + "Content-Type: application/json\r\n", "{", 400},
      {"a value out of range", "PATCH", "/api/v1/units/1",
       host + "Content-Type: application/json\r\n", R"({"battery":9})", 422},
      {"a preflight from a foreign page", "OPTIONS", "/api/v1/units/1",
       host + "Origin: http://evil.example\r\nAccess-Control-Request-Method: PATCH\r\n"
              "Access-Control-Request-Headers: content-type\r\n",
       "", -1},
  };
  for (const Attempt& a : attempts) {
    SCOPED_TRACE(a.what);
    const auto answer = testing::exchange(apiPort, shaped(a));
    if (!answer) {
      ADD_FAILURE() << "no answer";
      continue;
    }
    if (a.status > 0) {
      EXPECT_EQ(answer->status, a.status) << answer->head << answer->body;
    }
    expectHardened(*answer);
  }
  // OPTIONS names the methods and nothing else.
  const auto options =
      testing::exchange(apiPort, shaped({"", "OPTIONS", "/api/v1/units/1", host, "", 204}));
  ASSERT_TRUE(options);
  EXPECT_EQ(options->status, 204) << options->head;
  const std::string allow = options->header("Allow").value_or("");
  EXPECT_NE(allow.find("GET"), std::string::npos) << options->head;
  EXPECT_NE(allow.find("PATCH"), std::string::npos) << options->head;
  expectHardened(*options);
  // So does an event stream's head.
  RawHttp stream(apiPort);
  ASSERT_TRUE(stream.send(request("GET", "/api/v1/events")));
  const auto head = stream.read();
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200) << head->head;
  expectHardened(*head);
}

TEST_F(ApiAttackOriginTest, AnAllowedHostNameIsServedAndNoOther) {
  if (!programKnows("--api-allow-host")) GTEST_SKIP() << "the program has no --api-allow-host";
  startProgram({"--api-allow-host", "sim.test"});
  const std::string port = std::to_string(apiPort);
  for (const auto& [hostName, status] :
       std::vector<std::pair<std::string, int>>{{"sim.test:" + port, 200},
                                                {"sim.test", 200},
                                                {"other.test:" + port, 421},
                                                {"sim.test.evil.example", 421},
                                                {"evil.sim.test", 421}}) {
    SCOPED_TRACE(hostName);
    const auto answer = testing::exchange(
        apiPort, shaped({"", "GET", "/api/v1/health", "Host: " + hostName + "\r\n", "", 0}));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, status) << answer->head;
  }
}

constexpr const char* kToken = "s3cret-token-0123456789";

class ApiAttackTokenTest : public ApiAttackFixture {
 protected:
  std::vector<std::string> extraOptions() const override { return {"--api-token", kToken}; }
  std::string ownHeaders() const override {
    return std::string("Authorization: Bearer ") + kToken + "\r\n";
  }
};

TEST_F(ApiAttackTokenTest, TheTokenGoesInTheHeaderAndInTheQueryOnlyForStreams) {
  const std::string host = hostHeader();
  const std::string token = kToken;
  const std::string json = "Content-Type: application/json\r\n";
  const std::vector<Attempt> attempts = {
      {"no token", "GET", "/api/v1/units", host, "", 401},
      {"Bearer", "GET", "/api/v1/units", host + "Authorization: Bearer " + token + "\r\n", "", 200},
      {"bearer", "GET", "/api/v1/units", host + "Authorization: bearer " + token + "\r\n", "", 200},
      {"BEARER", "GET", "/api/v1/units", host + "Authorization: BEARER " + token + "\r\n", "", 200},
      {"a wrong token", "GET", "/api/v1/units", host + "Authorization: Bearer wrong\r\n", "", 401},
      {"the token and more", "GET", "/api/v1/units",
       host + "Authorization: Bearer " + token + "x\r\n", "", 401},
      {"the token cut short", "GET", "/api/v1/units",
       host + "Authorization: Bearer " + token.substr(0, token.size() - 1) + "\r\n", "", 401},
      {"the token without its scheme", "GET", "/api/v1/units",
       host + "Authorization: " + token + "\r\n", "", 401},
      {"an empty bearer", "GET", "/api/v1/units", host + "Authorization: Bearer \r\n", "", 401},
      {"the query on a resource", "GET", "/api/v1/units?access_token=" + token, host, "", 401},
      {"the query on metrics", "GET", "/metrics?access_token=" + token, host, "", 401},
      {"the query on a write", "PATCH", "/api/v1/units/1?access_token=" + token, host + json,
       kWrite, 401},
      {"a wrong token on a write", "PATCH", "/api/v1/units/1",
       host + json + "Authorization: Bearer wrong\r\n", kWrite, 401},
      {"the query on the fleet's stream", "GET", "/api/v1/events?access_token=" + token, host, "",
       200},
      {"the query on a unit's stream", "GET", "/api/v1/units/2/events?access_token=" + token, host,
       "", 200},
      {"the query on the cards", "GET", "/api/v1/cards?access_token=" + token, host, "", 200},
      {"a wrong query on a stream", "GET", "/api/v1/events?access_token=wrong", host, "", 401},
      {"the dashboard needs none", "GET", "/", host, "", 200},
  };
  const Baseline before = baseline();
  for (const Attempt& a : attempts) {
    SCOPED_TRACE(a.what);
    RawHttp connection(apiPort);
    ASSERT_TRUE(connection.send(shaped(a)));
    const auto answer = connection.read();
    if (!answer) {
      ADD_FAILURE() << "no answer";
      continue;
    }
    EXPECT_EQ(answer->status, a.status) << answer->head << answer->body;
    expectHardened(*answer);
  }
  expectUnharmed(before);
}

}  // namespace
}  // namespace vexa
