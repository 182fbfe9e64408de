// The HTTP interface's limits and request rules, with the exact bytes a hostile or broken
// client sends, against the real server and a fake registry.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "api_server.h"
#include "event_reader.h"
#include "fake_fleet.h"
#include "raw_http.h"

namespace vexa::api {
namespace {

using nlohmann::json;
using testing::exchange;
using testing::RawConnection;
using testing::statusOf;

constexpr const char* kHost = "Host: 127.0.0.1\r\nConnection: close\r\n";

class ApiLimitsTest : public ::testing::Test {
 protected:
  void start(ApiServer::Options options = {}) {
    options.version = "t";
    server = std::make_unique<ApiServer>(fleet, hub, std::move(options));
    ASSERT_TRUE(server->start().ok());
  }
  std::string send(const std::string& request) { return exchange(server->port(), request); }

  testing::FakeFleet fleet;
  EventHub hub;
  std::unique_ptr<ApiServer> server;
};

std::string patch(const std::string& headers, const std::string& body) {
  return "PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string headerLines(size_t count) {
  std::string lines;
  for (size_t i = 0; i < count; ++i) lines += "X-Filler-" + std::to_string(i) + ": 1\r\n";
  return lines;
}

// Every refusal decided from the request's head, each one step past its rule (and the step
// before, where there is one, passes).
TEST_F(ApiLimitsTest, EachRuleAnswersItsStatusWithAJsonError) {
  start();
  const std::string typed = "Content-Type: application/json\r\n";
  // "GET " + path + " HTTP/1.1" is the request line: 13 bytes besides the path.
  const std::string longest = "/api/v1/health?pad=" + std::string(8192 - 13 - 19, 'a');
  const std::string filler = "X-Big: " + std::string(16 * 1024 - 80, 'b') + "\r\n";
  const struct {
    const char* what;
    std::string request;
    int status;
  } cases[] = {
      {"request line at the limit", "GET " + longest + " HTTP/1.1\r\n" + kHost + "\r\n", 200},
      {"request line past it", "GET " + longest + "a HTTP/1.1\r\n" + kHost + "\r\n", 414},
      {"98 more header lines",
       "GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + headerLines(98) + "\r\n", 200},
      {"99 more header lines",
       "GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + headerLines(99) + "\r\n", 431},
      {"16 KiB of headers",
       "GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + filler + "\r\n", 200},
      {"past 16 KiB of headers",
       "GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + filler +
           "X-More: " + std::string(100, 'c') + "\r\n\r\n",
       431},
      {"a body of 64 KiB", patch(typed, std::string(64 * 1024, ' ')), 400},  // read, not JSON
      {"a body past 64 KiB", patch(typed, std::string(64 * 1024 + 1, ' ')), 413},
      {"a body on GET",
       "GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + "Content-Length: 2\r\n\r\n{}", 400},
      {"a body on DELETE",
       "DELETE /api/v1/units/10/scenario HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: 2\r\n\r\n{}",
       400},
      {"an empty DELETE",
       "DELETE /api/v1/units/10/scenario HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: 0\r\n\r\n",
       200},
      {"conflicting lengths",
       "PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{} ",
       400},
      {"a negative length",
       "PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: -2\r\n\r\n{}",
       400},
      {"a length that is no number",
       "PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: 2x\r\n\r\n{}",
       400},
      {"a foreign Host", "GET /api/v1/health HTTP/1.1\r\nHost: evil.example:80\r\n\r\n", 421},
      {"no Host", "GET /api/v1/health HTTP/1.1\r\nConnection: close\r\n\r\n", 400},
      {"a form", patch("Content-Type: application/x-www-form-urlencoded\r\n", "{}"), 415},
      {"no content type", patch("", "{}"), 415},
      {"a reset without JSON type",
       "POST /api/v1/units/10/reset HTTP/1.1\r\n" + std::string(kHost) +
           "Content-Length: 0\r\n\r\n",
       415},
      {"JSON with charset", patch("Content-Type: application/json; charset=utf-8\r\n", "{}"), 200},
      {"a foreign Origin", patch(typed + "Origin: http://evil.example\r\n", "{}"), 403},
      {"its own Origin", patch(typed + "Origin: http://127.0.0.1\r\n", "{}"), 200},
      {"an unknown path", "GET /api/v1/nothing HTTP/1.1\r\n" + std::string(kHost) + "\r\n", 404},
      {"a wrong method",
       "PUT /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) + typed +
           "Content-Length: 2\r\n\r\n{}",
       404},
  };
  for (const auto& c : cases) {
    const std::string answer = send(c.request);
    ASSERT_EQ(statusOf(answer), c.status) << c.what << "\n" << answer.substr(0, 300);
    // A length that is not a number the library itself refuses (400, its own body).
    if (c.status >= 400 && c.request.find("Content-Length: -") == std::string::npos &&
        c.request.find("Content-Length: 2x") == std::string::npos) {
      const json error = json::parse(testing::bodyOf(answer), nullptr, false);
      ASSERT_TRUE(error.is_object()) << c.what << "\n" << answer.substr(0, 300);
      EXPECT_EQ(error["error"]["status"], c.status) << c.what << "\n" << answer.substr(0, 300);
    }
  }
  // Only the valid changes reached the units: the 200 PATCHes and DELETE.
  EXPECT_EQ(fleet.applied().size(), 3u);
}

// Far past the limits the library's own buffer refuses first; the status is the same.
TEST_F(ApiLimitsTest, InputsPastTheBufferAreRefusedToo) {
  start();
  EXPECT_EQ(
      statusOf(send("GET /" + std::string(300 * 1024, 'a') + " HTTP/1.1\r\n" + kHost + "\r\n")),
      414);
  EXPECT_EQ(statusOf(send("GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) +
                          headerLines(20000) + "\r\n")),
            431);
}

// A chunked body is counted as it arrives: past 64 KiB the answer is 413 and the connection
// closes, long before the client has sent all it meant to.
TEST_F(ApiLimitsTest, AChunkedBodyIsRefusedWhileItStreams) {
  start();
  RawConnection c(server->port());
  ASSERT_TRUE(c.send("PATCH /api/v1/units/10 HTTP/1.1\r\n" + std::string(kHost) +
                     "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"));
  const std::string chunk = "1000\r\n" + std::string(0x1000, ' ') + "\r\n";
  size_t sent = 0;
  // 200 MB were it all sent; the server stops it after some 64 KiB.
  while (sent < 200u * 1024 * 1024 && c.send(chunk)) sent += 0x1000;
  const std::string answer = c.readToEnd();
  EXPECT_LT(sent, 200u * 1024 * 1024);
  EXPECT_EQ(statusOf(answer), 413) << answer.substr(0, 200);
  EXPECT_TRUE(fleet.applied().empty());
}

TEST_F(ApiLimitsTest, EveryAnswerCarriesTheSecurityHeaders) {
  start();
  for (const char* request :
       {"GET /api/v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        "GET /nothing HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        "OPTIONS /api/v1/units/10 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        "GET /x HTTP/1.1\r\nHost: evil.example\r\nConnection: close\r\n\r\n"}) {
    const std::string answer = send(request);
    const std::string head = answer.substr(0, answer.find("\r\n\r\n"));
    for (const char* header : {"X-Frame-Options: DENY", "X-Content-Type-Options: nosniff",
                               "Referrer-Policy: no-referrer", "frame-ancestors 'none'"}) {
      EXPECT_NE(head.find(header), std::string::npos) << request << " lacks " << header;
    }
    EXPECT_EQ(head.find("Access-Control-"), std::string::npos) << request;
  }
  const std::string options = send(
      "OPTIONS /api/v1/units/10/scenario HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(statusOf(options), 204);
  EXPECT_NE(options.find("Allow: POST, DELETE, OPTIONS\r\n"), std::string::npos) << options;
  // A stream's head too.
  testing::EventReader reader(server->port(), "/api/v1/events");
  EXPECT_TRUE(reader.waitFor(": connected", 30000));
}

TEST_F(ApiLimitsTest, TheTokenGoesInTheHeaderButOnStreams) {
  ApiServer::Options options;
  options.token = "s3cret";
  start(options);
  httplib::Client client("127.0.0.1", server->port());
  EXPECT_EQ(client.Get("/api/v1/units")->status, 401);
  EXPECT_EQ(client.Get("/api/v1/units", {{"Authorization", "bEaReR s3cret"}})->status, 200);
  EXPECT_EQ(client.Get("/api/v1/units?access_token=s3cret")->status, 401);
  EXPECT_EQ(client.Get("/metrics?access_token=s3cret")->status, 401);
  EXPECT_EQ(client.Get("/metrics")->status, 401);
  EXPECT_EQ(client.Get("/")->status, 200);  // the pages hold no data
  EXPECT_EQ(client.Get("/app.js")->status, 200);
  testing::EventReader stream(server->port(), "/api/v1/events?access_token=s3cret");
  EXPECT_TRUE(stream.waitFor(": connected", 30000));
  testing::EventReader refused(server->port(), "/api/v1/events?access_token=wrong");
  EXPECT_EQ(refused.waitForEnd(30000), 401);
}

TEST_F(ApiLimitsTest, PublicMetricsOpenOnlyTheMetrics) {
  ApiServer::Options options;
  options.token = "s3cret";
  options.metricsPublic = true;
  start(options);
  httplib::Client client("127.0.0.1", server->port());
  EXPECT_EQ(client.Get("/metrics")->status, 200);
  EXPECT_EQ(client.Get("/api/v1/health")->status, 401);
}

TEST_F(ApiLimitsTest, AllowedHostsAreAccepted) {
  ApiServer::Options options;
  options.allowedHosts = {"sim.lab"};
  start(options);
  EXPECT_EQ(statusOf(send("GET /api/v1/health HTTP/1.1\r\nHost: SIM.lab:9\r\n\r\n")), 200);
  EXPECT_EQ(statusOf(send("GET /api/v1/health HTTP/1.1\r\nHost: other.lab\r\n\r\n")), 421);
}

// Past the cap a new connection is closed at once, without waiting in the backlog; a place
// that frees up is taken again.
TEST_F(ApiLimitsTest, ConnectionsPastTheCapAreRefusedAtOnce) {
  ApiServer::Options options;
  options.maxConnections = 4;
  start(options);
  std::vector<std::unique_ptr<RawConnection>> held;
  for (int i = 0; i < 4; ++i) {
    held.push_back(std::make_unique<RawConnection>(server->port()));
    ASSERT_TRUE(held.back()->send("GET /api/v1/health HTTP/1.1\r\n"));  // and never finish
  }
  // Once the four are counted (the server takes them in order), the fifth is closed.
  RawConnection fifth(server->port());
  const std::string answer = fifth.readToEnd();
  EXPECT_TRUE(fifth.closed());
  EXPECT_EQ(answer, "");
  held.clear();
  // The closes reach the server in a moment; a request then goes through.
  bool served = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!served && std::chrono::steady_clock::now() < until) {
    served = statusOf(send("GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + "\r\n")) == 200;
  }
  EXPECT_TRUE(served);
}

// A client that sends a byte now and then holds a descriptor, not the server: others are
// answered meanwhile, and the slow one is cut off at its deadline with 408.
TEST_F(ApiLimitsTest, ASlowClientDoesNotBlockOthersAndMeetsItsDeadline) {
  ApiServer::Options options;
  options.limits.requestDeadline = std::chrono::milliseconds(500);
  start(options);
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 50; ++i) {
    slow.push_back(std::make_unique<RawConnection>(server->port()));
    ASSERT_TRUE(slow.back()->send("GET /api/v1/health HTTP/1.1\r\nHo"));
  }
  httplib::Client client("127.0.0.1", server->port());
  client.set_read_timeout(30, 0);
  auto r = client.Get("/api/v1/units");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  for (auto& c : slow) {
    const std::string answer = c->readToEnd();
    EXPECT_TRUE(c->closed());
    EXPECT_EQ(statusOf(answer), 408) << answer;
  }
}

// With the idle time as long as the deadline, an unfinished request still gets its 408 whenever
// in a second it began (the library counts idle time in whole seconds, which must not cut it
// short without a word).
TEST_F(ApiLimitsTest, TheDeadlineAnswersBeforeTheIdleTimeCloses) {
  ApiServer::Options options;
  options.limits.requestDeadline = std::chrono::seconds(1);
  options.limits.idleTimeout = std::chrono::seconds(1);
  start(options);
  std::vector<std::unique_ptr<RawConnection>> begun;
  for (int i = 0; i < 10; ++i) {
    begun.push_back(std::make_unique<RawConnection>(server->port()));
    ASSERT_TRUE(begun.back()->send("GET /api/v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // spread over a second
  }
  for (size_t i = 0; i < begun.size(); ++i) {
    const std::string answer = begun[i]->readToEnd();
    EXPECT_TRUE(begun[i]->closed()) << i;
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 408") << i;
  }
}

// Between requests a kept-alive connection is closed at the deadline without a 408, which the
// client would take for the answer to its next request; an answered event stream is exempt.
TEST_F(ApiLimitsTest, TheDeadlineSparesIdleKeptAliveConnectionsAndStreams) {
  ApiServer::Options options;
  options.limits.requestDeadline = std::chrono::milliseconds(300);
  start(options);
  testing::EventReader stream(server->port(), "/api/v1/events");
  ASSERT_TRUE(stream.waitFor(": connected"));
  RawConnection kept(server->port());
  ASSERT_TRUE(kept.send("GET /api/v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
  const std::string answer = kept.readToEnd();
  EXPECT_TRUE(kept.closed());
  EXPECT_EQ(statusOf(answer), 200);
  EXPECT_EQ(answer.find("HTTP/1.1 408"), std::string::npos) << answer;
  // Long past the deadline, the stream still goes on: two heartbeats after the connection.
  const size_t connected = stream.text().size();
  ASSERT_TRUE(stream.waitFor(": idle\n\n: idle\n\n"));
  EXPECT_GT(stream.text().size(), connected);
  hub.publish(UnitEvent{0, 0, "10", EventKind::input, {}, "\"bit\":3", {}});
  EXPECT_TRUE(stream.waitFor("\"bit\":3"));
}

TEST_F(ApiLimitsTest, ASecondServerOnTheSamePortFailsToStart) {
  start();
  testing::FakeFleet other;
  EventHub otherHub;
  ApiServer::Options options;
  options.address.port = server->port();
  ApiServer second(other, otherHub, options);
  const Status started = second.start();
  ASSERT_FALSE(started.ok());
  EXPECT_NE(started.text().find("127.0.0.1:" + std::to_string(server->port())), std::string::npos)
      << started.text();
  // The first one still answers.
  EXPECT_EQ(statusOf(send("GET /api/v1/health HTTP/1.1\r\n" + std::string(kHost) + "\r\n")), 200);
}

// The registry's calls run on the workers; while every worker waits on the units, requests
// past the queue are refused with 503 at once rather than waiting.
TEST_F(ApiLimitsTest, ABusyServerSaysSo) {
  ApiServer::Options options;
  options.limits.workers = 1;
  options.limits.workQueue = 1;
  start(options);
  fleet.block();
  const std::string units = "GET /api/v1/units HTTP/1.1\r\n" + std::string(kHost) + "\r\n";
  RawConnection first(server->port());
  first.send(units);
  ASSERT_TRUE(fleet.waitUntilBlocked());  // the worker waits on the units
  // Of three more, one fits in the queue and two are refused.
  std::vector<std::unique_ptr<RawConnection>> more;
  for (int i = 0; i < 3; ++i) {
    more.push_back(std::make_unique<RawConnection>(server->port()));
    more.back()->send(units);
  }
  int refused = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (refused < 2 && std::chrono::steady_clock::now() < until) {
    refused = 0;
    for (auto& c : more) {
      if (statusOf(c->readToEnd(std::chrono::milliseconds(50))) == 503) ++refused;
    }
  }
  EXPECT_EQ(refused, 2);
  fleet.unblock();
  EXPECT_EQ(statusOf(first.readToEnd()), 200);
  int answered = 0;
  for (auto& c : more) answered += statusOf(c->readToEnd()) == 200 ? 1 : 0;
  EXPECT_EQ(answered, 1);
}

}  // namespace
}  // namespace vexa::api
