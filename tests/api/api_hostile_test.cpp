// Hostile clients of the HTTP interface, against the real server and a fake registry: framing
// that two parsers could read two ways, and event stream readers that hold their slot without
// reading or after they went.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "api_server.h"
#include "fake_fleet.h"
#include "raw_http.h"

namespace vexa::api {
namespace {

using nlohmann::json;
using testing::RawConnection;
using testing::statusOf;

constexpr const char* kHost = "Host: 127.0.0.1\r\n";
constexpr const char* kStream = "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

class ApiHostileTest : public ::testing::Test {
 protected:
  void start(ApiServer::Options options = {}) {
    options.version = "t";
    server = std::make_unique<ApiServer>(fleet, hub, std::move(options));
    ASSERT_TRUE(server->start().ok());
  }

  // The status a new event stream gets, once its head is in (a stream stays open: its head is
  // all that is awaited).
  int openStream(RawConnection& c) const {
    c.send(kStream);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string text;
    while (text.find("\r\n\r\n") == std::string::npos && !c.closed() &&
           std::chrono::steady_clock::now() < until) {
      text = c.readToEnd(std::chrono::milliseconds(100));
    }
    return text.size() >= 12 ? statusOf(text) : 0;
  }

  // Waits (up to the hang bound) until one more stream is served.
  bool aStreamIsServedAgain() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      RawConnection next(server->port());
      if (openStream(next) == 200) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
  }

  testing::FakeFleet fleet;
  EventHub hub;
  std::unique_ptr<ApiServer> server;
};

std::string patchWith(const std::string& headers, const std::string& rest) {
  return "PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) +
         "Content-Type: application/json\r\n" + headers + "\r\n" + rest;
}

std::string trailers(int count) {
  std::string t;
  for (int i = 0; i < count; ++i) t += "X-Trailer: 1\r\n";
  return t;
}

// Each is refused with its status and a JSON error, and closes the connection: nothing after
// it is read as a request. A clean chunked body with a few trailers is served.
TEST_F(ApiHostileTest, AmbiguousFramingIsRefusedAtOnce) {
  start();
  const std::string body = "2\r\n{}\r\n0\r\n";
  const struct {
    const char* what;
    std::string request;
    int status;
  } cases[] = {
      {"an unknown coding", patchWith("Transfer-Encoding: gzip\r\n", "{}"), 501},
      {"a coding past chunked",
       patchWith("Transfer-Encoding: chunked, identity\r\n", body + "\r\n"), 400},
      {"a coding before chunked", patchWith("Transfer-Encoding: gzip, chunked\r\n", body + "\r\n"),
       400},
      {"two Transfer-Encoding headers",
       patchWith("Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", body + "\r\n"),
       400},
      {"an empty Transfer-Encoding", patchWith("Transfer-Encoding: \r\n", "{}"), 400},
      {"chunked on HTTP/1.0",
       "PATCH /api/v1/units/10 HTTP/1.0\r\n" + std::string(kHost) +
           "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n" + body + "\r\n",
       400},
      {"a space before a colon",
       patchWith("Content-Length: 2\r\nTransfer-Encoding : chunked\r\n", "{}"), 400},
      {"a bare CR in a value", patchWith("X-A: a\rb\r\nContent-Length: 2\r\n", "{}"), 400},
      {"two Host headers", patchWith("Host: evil.example\r\nContent-Length: 2\r\n", "{}"), 400},
      {"a NUL in the target",
       std::string("GET /api/v1/health\0/x HTTP/1.1\r\n", 32) + kHost + "\r\n", 400},
      {"an escaped NUL in the target",
       "GET /api/v1/health%00/x HTTP/1.1\r\n" + std::string(kHost) + "\r\n", 400},
      {"101 trailer lines",
       patchWith("Transfer-Encoding: chunked\r\n", body + trailers(101) + "\r\n"), 431},
      {"three trailer lines",
       patchWith("Transfer-Encoding: chunked\r\nConnection: close\r\n",
                 body + trailers(3) + "\r\n"),
       200},
  };
  for (const auto& c : cases) {
    RawConnection connection(server->port());
    connection.send(c.request);
    const std::string answer = connection.readToEnd();
    ASSERT_GE(answer.size(), 12u) << c.what;
    EXPECT_EQ(statusOf(answer), c.status) << c.what << "\n" << answer.substr(0, 300);
    EXPECT_TRUE(connection.closed()) << c.what;
    if (c.status < 400) continue;
    const json error = json::parse(testing::bodyOf(answer), nullptr, false);
    EXPECT_TRUE(error.is_object() && error["error"]["status"] == c.status) << c.what << "\n"
                                                                           << answer.substr(0, 300);
  }
  // Only the clean chunked body reached the units.
  EXPECT_EQ(fleet.applied().size(), 1u);
}

// Readers that closed their end give their streams back.
TEST_F(ApiHostileTest, StreamsOfReadersThatLeftAreFreed) {
  ApiServer::Options options;
  options.limits.maxStreams = 4;
  start(options);
  {
    std::vector<std::unique_ptr<RawConnection>> readers;
    for (int i = 0; i < options.limits.maxStreams; ++i) {
      readers.push_back(std::make_unique<RawConnection>(server->port()));
      ASSERT_EQ(openStream(*readers.back()), 200) << i;
    }
    RawConnection refused(server->port());
    ASSERT_EQ(openStream(refused), 503);
  }
  EXPECT_TRUE(aStreamIsServedAgain());
}

// Readers that stopped reading, whose events wait in the kernel for them while the heartbeat
// keeps the server writing, give their streams back after the idle time.
TEST_F(ApiHostileTest, StreamsOfReadersThatStoppedReadingAreFreed) {
  ApiServer::Options options;
  options.limits.maxStreams = 2;
  options.limits.idleTimeout = std::chrono::seconds(1);
  start(options);
  std::vector<std::unique_ptr<RawConnection>> stalled;
  for (int i = 0; i < options.limits.maxStreams; ++i) {
    stalled.push_back(std::make_unique<RawConnection>(server->port(), 1024));
    stalled.back()->send(kStream);
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (hub.readers() < stalled.size() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Far more than the readers' buffers take, far less than the server's socket holds.
  for (int i = 0; i < 500; ++i) {
    hub.publish(UnitEvent{0, 0, "10", EventKind::request, "snd000", {}, {}});
  }
  EXPECT_TRUE(aStreamIsServedAgain());
}

}  // namespace
}  // namespace vexa::api
