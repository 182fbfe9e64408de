// Attacks on the limits of the real program's HTTP interface, over raw sockets on 127.0.0.1:
// oversized request lines, headers and bodies, bodies where none belongs, lengths that lie, slow
// and idle clients, more streams and connections than allowed, and a second program on the port.
// Every attack must be refused with its status, leave the units as they were and give back
// its memory and descriptors, while UDP and ordinary requests keep being answered.
#include <sys/resource.h>

#include "api_attack_fixture.h"

namespace vexa {
namespace {

using testing::RawHttp;

class ApiAttackTest : public ApiAttackFixture {};

std::string repeated(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// A request in two parts: the first leaves it unfinished while an ordinary request is made on
// another connection; then the rest, and the answer.
struct TwoPartAttack {
  const char* what;
  std::string first;
  std::string rest;
  int status;
  // Refused by the HTTP library before the server sees the request (docs/api.md, "Limits"): its
  // own HTML answer, without the security headers; the status and the closed connection hold.
  bool libraryAnswers = false;
};

TEST_F(ApiAttackTest, OversizedAndMalformedRequestsAreRefusedAndChangeNothing) {
  const std::string host = hostHeader();
  const std::string json = "Content-Type: application/json\r\n";
  const std::string patch = "PATCH /api/v1/units/1 HTTP/1.1\r\n" + host + json;
  // A scenario that would move unit 1 were it accepted, padded to the size under test.
  const std::string scenario =
      R"({"levels":{"umid":{"kind":"steps","steps":[{"at":0,"value":90}]}}})";
  const auto chunk = [](const std::string& data) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
  };
  const std::string kib(1024, ' ');
  std::string exactly64Kib = "{}" + std::string(64 * 1024 - 2, ' ');

  const std::vector<TwoPartAttack> attacks = {
      {"a request line over 8 KiB", "GET /" + std::string(9 * 1024, 'a'),
       " HTTP/1.1\r\n" + host + "\r\n", 414},
      {"a request line under 8 KiB is read", "GET /" + std::string(7 * 1024, 'a'),
       " HTTP/1.1\r\n" + host + "\r\n", 404},
      {"101 header lines", "GET /api/v1/health HTTP/1.1\r\n" + host + repeated("X-Pad: 1\r\n", 100),
       "\r\n", 431},
      {"100 header lines are read",
       "GET /api/v1/health HTTP/1.1\r\n" + host + repeated("X-Pad: 1\r\n", 99), "\r\n", 200},
      {"one header of 17 KiB",
       "GET /api/v1/health HTTP/1.1\r\n" + host + "X-Big: " + std::string(17 * 1024, 'b'),
       "\r\n\r\n", 431},
      {"17 KiB of headers over 34 lines",
       "GET /api/v1/health HTTP/1.1\r\n" + host +
           repeated("X-Pad: " + std::string(502, 'p') + "\r\n", 34),
       "\r\n", 431},
      {"15 KiB of headers are read",
       "GET /api/v1/health HTTP/1.1\r\n" + host +
           repeated("X-Pad: " + std::string(490, 'p') + "\r\n", 30),
       "\r\n", 200},
      {"a Content-Length past 64 KiB, refused before the body",
       patch + "Content-Length: 65537\r\n\r\n", "", 413},
      {"200 MB announced with Expect: 100-continue",
       patch + "Content-Length: 209715200\r\nExpect: 100-continue\r\n\r\n", "", 413},
      {"a body of exactly 64 KiB is read",
       patch + "Content-Length: 65536\r\n\r\n" + exactly64Kib.substr(0, 1000),
       exactly64Kib.substr(1000), 200},
      {"a chunked body past 64 KiB",
       "POST /api/v1/units/1/scenario HTTP/1.1\r\n" + host + json +
           "Transfer-Encoding: chunked\r\n\r\n" + chunk(scenario) + repeated(chunk(kib), 32),
       repeated(chunk(kib), 33) + "0\r\n\r\n", 413},
      {"a GET with a body, refused before the body",
       "GET /api/v1/units/1 HTTP/1.1\r\n" + host + "Content-Length: 2\r\n\r\n", "", 400},
      {"a chunked GET",
       "GET /api/v1/units/1 HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n", "", 400},
      {"a DELETE with a body",
       "DELETE /api/v1/units/1/scenario HTTP/1.1\r\n" + host + json + "Content-Length: 2\r\n\r\n",
       "", 400},
      {"two Content-Length that differ", patch + "Content-Length: 22\r\nContent-Length: 23\r\n\r\n",
       "", 400},
      {"a Content-Length list that differs", patch + "Content-Length: 22, 23\r\n\r\n", "", 400,
       true},
      {"a negative Content-Length", patch + "Content-Length: -1\r\n\r\n", "", 400, true},
      {"a Content-Length that is not a number", patch + "Content-Length: 22x\r\n\r\n", "", 400,
       true},
      {"a Content-Length with a sign", patch + "Content-Length: +2\r\n\r\n", "{}", 400, true},
      {"an empty Content-Length", patch + "Content-Length: \r\n\r\n", "{}", 400, true},
  };

  const Baseline before = baseline();
  for (const TwoPartAttack& attack : attacks) {
    SCOPED_TRACE(attack.what);
    RawHttp connection(apiPort);
    ASSERT_TRUE(connection.connected());
    connection.send(attack.first);
    expectServing();
    connection.send(attack.rest);  // the server may have refused and closed already
    const auto answer = connection.read();
    if (!answer) {
      ADD_FAILURE() << "no answer";
      continue;
    }
    EXPECT_EQ(answer->status, attack.status) << answer->head << answer->body;
    if (attack.libraryAnswers) {
      EXPECT_TRUE(connection.waitClosedByServer()) << "the connection stays open";
      connection.close();
      expectUnharmed(before);
      continue;
    }
    expectHardened(*answer);
    if (answer->status >= 400) {
      expectJsonError(*answer);
      expectNothingAfter(*answer, connection);
    }
    connection.close();
    expectUnharmed(before);
  }
}

// A body of 200 MB, chunked or with its length, is refused while it streams: the sender sees the
// refusal long before it has sent the whole.
TEST_F(ApiAttackTest, ABodyOf200MegabytesIsRefusedWhileItStreams) {
  constexpr size_t kTotal = 200u * 1024 * 1024;
  const std::string piece(64 * 1024, 'x');
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
  const std::string chunk = size + piece + "\r\n";
  const std::string patch =
      "PATCH /api/v1/units/1 HTTP/1.1\r\n" + hostHeader() + "Content-Type: application/json\r\n";
  struct Case {
    const char* what;
    std::string head;
    const std::string& unit;
  };
  const std::vector<Case> cases = {
      {"chunked", patch + "Transfer-Encoding: chunked\r\n\r\n", chunk},
      {"with Content-Length", patch + "Content-Length: " + std::to_string(kTotal) + "\r\n\r\n",
       piece},
  };
  const Baseline before = baseline();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawHttp connection(apiPort);
    ASSERT_TRUE(connection.send(c.head));
    size_t sent = 0, offset = 0;
    bool checked = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangMs);
    while (sent < kTotal && !connection.readable() && std::chrono::steady_clock::now() < deadline) {
      const long n = connection.sendSome(std::string_view(c.unit).substr(offset), 100);
      if (n < 0) break;
      sent += static_cast<size_t>(n);
      offset = (offset + static_cast<size_t>(n)) % c.unit.size();
      if (!checked && sent >= 256 * 1024) {
        expectServing();  // while the body streams
        checked = true;
      }
    }
    const auto answer = connection.read();
    ASSERT_TRUE(answer) << "no answer after " << sent << " bytes";
    EXPECT_EQ(answer->status, 413) << answer->head;
    expectHardened(*answer);
    EXPECT_LT(sent, kTotal / 2) << "the server read most of the body before refusing it";
    connection.close();
    expectUnharmed(before);
  }
}

// Clients that send a byte a second, nothing at all, or nothing after their first answer are
// cut off once their request has had its time, while ordinary requests are answered and an
// event stream that was answered stays open.
TEST_F(ApiAttackTest, SlowAndIdleClientsAreCutOffWhileAStreamStays) {
  constexpr int kSlow = 200, kIdle = 100, kKeptAlive = 50;
  const Baseline before = baseline();
  RawHttp stream(apiPort);
  ASSERT_TRUE(stream.send(request("GET", "/api/v1/units/1/events?kinds=request")));
  const auto streamHead = stream.read();
  ASSERT_TRUE(streamHead);
  ASSERT_EQ(streamHead->status, 200) << streamHead->head;
  std::string streamed = streamHead->body;

  struct Client {
    RawHttp connection;
    bool trickles;
    bool open = true;
  };
  std::vector<Client> clients;
  for (int i = 0; i < kSlow; ++i) clients.push_back({RawHttp(apiPort), true});
  for (int i = 0; i < kIdle; ++i) clients.push_back({RawHttp(apiPort), false});
  for (int i = 0; i < kKeptAlive; ++i) {
    clients.push_back({RawHttp(apiPort), false});
    RawHttp& c = clients.back().connection;
    c.send("GET /api/v1/health HTTP/1.1\r\n" + hostHeader() + "\r\n");
    const auto first = c.read();
    ASSERT_TRUE(first && first->status == 200) << "kept-alive client " << i;
  }
  // Never finished: a header that grows a byte a second.
  const std::string trickle =
      "GET /api/v1/health HTTP/1.1\r\n" + hostHeader() + "X-Slow: " + std::string(200, 's');
  size_t stillOpen = clients.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangMs);
  for (size_t byte = 0; stillOpen > 0 && std::chrono::steady_clock::now() < deadline; ++byte) {
    for (Client& c : clients) {
      if (!c.open) continue;
      if (c.connection.readable() || (c.trickles && !c.connection.send(trickle.substr(byte, 1)))) {
        c.open = false;
        c.connection.close();
        --stillOpen;
      }
    }
    expectServing();
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  EXPECT_EQ(stillOpen, 0u) << "connections the server still holds after the hang bound";
  clients.clear();

  // The stream outlived them all and still carries events.
  client.request(base, "snd000\n", 1000);
  EXPECT_TRUE(stream.readUntil(streamed, "snd000")) << streamed;
  stream.close();
  expectUnharmed(before);
}

// Readers that stop reading give their stream back: past the idle time their streams are closed,
// and a new reader gets one of the 32 again.
TEST_F(ApiAttackTest, StalledStreamReadersGiveTheirSlotsBack) {
  const Baseline before = baseline();
  std::vector<RawHttp> stalled;
  for (int i = 0; i < 32; ++i) {
    stalled.emplace_back(apiPort);
    const int small = 1024;
    ::setsockopt(stalled.back().fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(stalled.back().send(request("GET", "/api/v1/events")));
  }
  // Traffic for the streams to carry, which none of them reads.
  for (int i = 0; i < 3000; ++i)
    client.request(static_cast<uint16_t>(base + i % kUnits), "snd000\n", 1000);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangMs);
  while (status != 200 && std::chrono::steady_clock::now() < deadline) {
    RawHttp reader(apiPort);
    reader.send(request("GET", "/api/v1/events"));
    const auto head = reader.read();
    status = head ? head->status : -1;
    if (status != 200) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  EXPECT_EQ(status, 200) << "every stream still held by a reader that stopped reading";
  stalled.clear();
  expectUnharmed(before);
}

TEST_F(ApiAttackTest, ThirtyTwoStreamsAtMostAndOrdinaryRequestsBeside) {
  const Baseline before = baseline();
  std::vector<RawHttp> streams;
  for (int i = 0; i < 32; ++i) {
    streams.emplace_back(apiPort);
    ASSERT_TRUE(streams.back().send(request("GET", "/api/v1/events")));
    const auto head = streams.back().read();
    ASSERT_TRUE(head) << "stream " << i;
    ASSERT_EQ(head->status, 200) << "stream " << i << head->head;
  }
  const auto refused = call("GET", "/api/v1/units/2/events");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503) << refused->head;
  expectHardened(*refused);
  expectServing();
  streams.clear();
  expectUnharmed(before);
}

// Past the connection cap a new connection is refused at once rather than queued: a request on
// it is never answered with 200, though it would be once the held connections time out.
TEST_F(ApiAttackTest, ConnectionsPastTheCapAreRefused) {
  int cap = 1024;
  if (programKnows("--api-max-connections")) {
    cap = 64;
    startProgram({"--api-max-connections", std::to_string(cap)});
  } else {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 4096) GTEST_SKIP() << "needs 4096 descriptors for the default cap";
  }
  const Baseline before = baseline();
  // A quarter hold most of a body of the largest size allowed, the rest a request line begun:
  // the most memory the cap lets clients hold, which must all come back.
  const std::string bodyBegun =
      "PATCH /api/v1/units/1 HTTP/1.1\r\n" + hostHeader() +
      "Content-Type: application/json\r\nContent-Length: 65536\r\n\r\n{}" + std::string(60000, ' ');
  std::vector<RawHttp> held;
  for (int i = 0; i < cap; ++i) {
    held.emplace_back(apiPort);
    ASSERT_TRUE(held.back().connected()) << i;
    held.back().send(i % 4 == 0 ? bodyBegun : "GET /api/v1/health HTTP/1.1\r\n");
  }
  RawHttp extra(apiPort);
  extra.send(request("GET", "/api/v1/health"));
  const auto answer = extra.read();
  EXPECT_FALSE(answer && answer->status == 200) << "connection " << cap + 1 << " was served";
  held.clear();
  expectUnharmed(before);
}

TEST_F(ApiAttackTest, ASecondProgramOnTheSameApiPortExitsNamingIt) {
  testing::TempDir otherDir;
  testing::SimProcess other(otherDir, VEXA_SIM_HEADLESS_PATH);
  const uint16_t otherBase = testing::freeUdpPortRun(static_cast<uint16_t>(base + kUnits), 5619, 1);
  ASSERT_NE(otherBase, 0);
  other.start({"--units", "1", "--port-base", std::to_string(otherBase), "--api",
               std::to_string(apiPort), "--state-dir", otherDir.file("state")});
  EXPECT_EQ(other.waitForExit(kHangMs), 1) << other.standardError();
  EXPECT_NE(other.standardError().find(std::to_string(apiPort)), std::string::npos)
      << other.standardError();
  expectServing();
  EXPECT_TRUE(udpAnswers(1));
}

}  // namespace
}  // namespace vexa
