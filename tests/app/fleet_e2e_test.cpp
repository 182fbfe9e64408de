// The fleet end to end: the real program with many units, over UDP on 127.0.0.1 (ports 21000 to
// 24999, clear of the single unit's 5010 and of the ephemeral range).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "reply_body.h"
#include "sim_process.h"

namespace vexa {
namespace {

using testing::readFile;
using testing::writeFile;

// All replies to one datagram: until `expected` have come, then a short wait for any extra.
std::vector<std::string> exchange(testing::UdpClient& client, uint16_t port,
                                  const std::string& datagram, size_t expected) {
  client.send(port, datagram);
  std::vector<std::string> replies;
  while (replies.size() < expected) {
    auto r = client.receive(30000);
    if (!r) break;
    replies.push_back(*r);
  }
  while (auto extra = client.receive(30)) replies.push_back(*extra);
  return replies;
}

// The snd body without its token (the last field), which follows the clock.
std::string withoutToken(const std::string& body) {
  const size_t end = body.rfind(',', body.size() - 4);
  return end == std::string::npos ? body : body.substr(0, end);
}

std::string configImage() {
  std::string config(1024, '\0');
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<char>(i * 13 + 1);
  config[18] = '\xEE';
  config[19] = '\x01';
  return config;
}

std::string stop(testing::SimProcess& sim, int* code) {
  sim.signal(SIGTERM);
  const auto exit = sim.waitForExit(20000);
  *code = exit ? *exit : -1;
  return sim.standardError();
}

// The protocol table: every datagram and how many replies it gets. No snd, so the token stays 0
// and every reply, framing header included, is the same byte for byte.
struct Exchange {
  std::string datagram;
  size_t replies;
};
std::vector<Exchange> protocolTable() {
  std::string long8192(8191, 'x');
  long8192 += '\n';
  return {{"rPr000\n", 1},
          {"\n", 1},
          {"sn\n", 1},
          {"SND000\n", 1},
          {"rPr000\r\nwMc000,001,002,003,004,005,006\n", 2},
          {std::string("r\0P\xFFr000\n", 9), 1},
          {"rst000005 0000000\n", 1},
          {"rst000005 0000001\n", 1},
          {"wPr000,300,-1, 12,$C0,255,255,255,000,192,168,000,001\n", 1},
          {"wSc000,999,007,008\n", 1},
          {"rPr777\n", 1},
          {"no line feed", 0},
          {"", 0},
          {long8192, 1},
          {std::string(8193, '\n'), 0}};
}

TEST(FleetE2E, FirstAndLastOfFiftyAnswerAsAUnitAloneInEveryVariant) {
  const std::string live("\x05\x00\x10\x01\x15\x00\x33\x00\x00\x00", 10);
  uint16_t base = 23000;
  for (const char* variant : {"110", "130", "150"}) {
    testing::TempDir aloneDir, fleetDir;
    for (const std::string& d :
         {aloneDir.path(), fleetDir.path() + "unit-0001/", fleetDir.path() + "unit-0050/"}) {
      ::mkdir(d.c_str(), 0755);
      writeFile(d + "VXS1.dat", configImage());
      writeFile(d + "VXS2.dat", live);
    }
    testing::SimProcess alone(aloneDir), fleet(fleetDir);
    const uint16_t alonePort = base + 60;
    alone.start({"--headless", "--port", std::to_string(alonePort), "--variant", variant});
    fleet.start({"--units", "50", "--port-base", std::to_string(base), "--state-dir",
                 fleetDir.path(), "--variant", variant});
    ASSERT_TRUE(alone.waitUntilAnswering(alonePort)) << alone.standardError();
    ASSERT_TRUE(fleet.waitUntilAnswering(base)) << fleet.standardError();
    ASSERT_TRUE(fleet.waitUntilAnswering(static_cast<uint16_t>(base + 49)));
    testing::UdpClient client;
    for (const Exchange& e : protocolTable()) {
      const auto expected = exchange(client, alonePort, e.datagram, e.replies);
      ASSERT_EQ(expected.size(), e.replies) << variant << " " << e.datagram.substr(0, 40);
      EXPECT_EQ(exchange(client, base, e.datagram, e.replies), expected) << variant;
      EXPECT_EQ(exchange(client, static_cast<uint16_t>(base + 49), e.datagram, e.replies), expected)
          << variant << " " << e.datagram.substr(0, 40);
    }
    const std::string snd = withoutToken(testing::replyBody(client.request(alonePort, "snd000\n")));
    EXPECT_EQ(snd.substr(0, 8), variant == std::string("110") ? "snd,000," : "SND,000,");
    EXPECT_EQ(withoutToken(testing::replyBody(client.request(base, "snd000\n"))), snd);
    EXPECT_EQ(withoutToken(testing::replyBody(client.request(base + 49, "snd000\n"))), snd);
    int code = 0;
    stop(alone, &code);
    EXPECT_EQ(code, 0);
    stop(fleet, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readFile(fleetDir.file("unit-0050/VXS1.dat")), readFile(aloneDir.file("VXS1.dat")));
    EXPECT_EQ(readFile(fleetDir.file("unit-0001/VXS2.dat")), readFile(aloneDir.file("VXS2.dat")));
    base = static_cast<uint16_t>(base + 100);
  }
}

TEST(FleetE2E, AThousandUnitsStartAnswerSaveAndComeBackWithTheirState) {
  testing::TempDir dir;
  const uint16_t base = 24000;
  const int count = 1000;
  testing::UdpClient client;
  for (int round = 0; round < 2; ++round) {
    testing::SimProcess fleet(dir);
    fleet.start({"--units", std::to_string(count), "--port-base", std::to_string(base),
                 "--state-dir", dir.path()});
    ASSERT_TRUE(fleet.waitUntilAnswering(base, 30000)) << fleet.standardError();
    ASSERT_TRUE(fleet.waitUntilAnswering(static_cast<uint16_t>(base + count - 1)));
    for (int n = 1; n <= count; ++n) {
      const auto port = static_cast<uint16_t>(base + n - 1);
      const std::string rpr = testing::replyBody(client.request(port, "rPr000\n"));
      // The fresh identity by number: 192.168.S.H and MAC ending in n.
      char ip[16], mac[8], scale[12];
      std::snprintf(ip, sizeof ip, "C0.A8.%02X.%02X,", (n - 1) / 250, (n - 1) % 250 + 2);
      std::snprintf(mac, sizeof mac, ":%02X:%02X,", n >> 8, n & 0xFF);
      std::snprintf(scale, sizeof scale, ",%02X,", n);
      ASSERT_EQ(rpr.substr(8, 12), ip) << n << " " << rpr;
      ASSERT_NE(rpr.find(mac), std::string::npos) << n << " " << rpr;
      if (round == 0) {
        char line[40];
        std::snprintf(line, sizeof line, "wSc000,%03d,001,002\n", n % 1000);
        ASSERT_EQ(testing::replyBody(client.request(port, line)), "WSC,000,\r\n") << n;
      } else if (n < 1000) {
        ASSERT_NE(rpr.find(scale), std::string::npos) << n << " " << rpr;  // saved and loaded
      }
    }
    int code = 0;
    const std::string error = stop(fleet, &code);
    ASSERT_EQ(code, 0) << error;
  }
  for (int n = 1; n <= count; n += 111) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "unit-%04d/", n);
    EXPECT_EQ(readFile(dir.file(std::string(folder) + "VXS1.dat")).size(), 1024u) << n;
    EXPECT_EQ(readFile(dir.file(std::string(folder) + "VXS2.dat")).size(), 10u) << n;
  }
}

TEST(FleetE2E, UnitsAreIsolatedAndTheConsoleReachesOneOrAll) {
  testing::TempDir dir;
  const uint16_t base = 23400;
  testing::SimProcess fleet(dir);
  fleet.start({"--units", "3", "--port-base", std::to_string(base), "--state-dir", dir.path()}, {},
              true);
  ASSERT_TRUE(fleet.waitUntilAnswering(base)) << fleet.standardError();
  testing::UdpClient client;
  const std::string before2 = testing::replyBody(client.request(base + 1, "rPr000\n"));
  fleet.input("unit 1 input 3 on\nunit 1 variant 110\nunit 1 level temp 30\n");
  ASSERT_EQ(testing::replyBody(
                client.request(base, "wPr000,010,000,000,001,255,000,000,000,010,000,000,254\n")),
            "wPr,000,10.0.0.1,255.0.0.0,10.0.0.254,\r\n");
  fleet.input("unit 1 fault drop 1\nunit 2 status\nunit 1 status\n");
  ASSERT_TRUE(fleet.waitForOutput("inputs=00001100"));
  ASSERT_TRUE(fleet.waitForOutput("endpoint=on variant=150 inputs=00000100 bat=250"));
  EXPECT_FALSE(client.request(base, "rPr000\n", 300));  // unit 1 drops everything now
  EXPECT_EQ(testing::replyBody(client.request(base + 1, "rPr000\n")), before2);
  fleet.input("units\nall variant 130\nstatus\nunit 9 status\nall bogus\n");
  ASSERT_TRUE(fleet.waitForOutput("error: unknown or malformed command \"all bogus\""));
  const std::string out = fleet.standardOutput();
  // Unit 1's count includes however many probes the start needed; the others are exact.
  EXPECT_NE(out.find("1 0.0.0.0:23400 endpoint=on variant=110 datagrams="), std::string::npos)
      << out;
  EXPECT_NE(out.find("\n2 0.0.0.0:23401 endpoint=on variant=150 datagrams=2\n3 0.0.0.0:23402 "
                     "endpoint=on variant=150 datagrams=0\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("units=3 active=3 datagrams="), std::string::npos) << out;
  EXPECT_NE(out.find("error: no unit 9 (units 1 to 3)"), std::string::npos) << out;
  EXPECT_EQ(testing::replyBody(client.request(base + 2, "rPr000\n")).substr(0, 4), "RPR,");
  EXPECT_NE(testing::replyBody(client.request(base + 2, "rPr000\n")).find(",1.30,"),
            std::string::npos);
  fleet.input("quit\n");
  EXPECT_EQ(fleet.waitForExit(), 0);
}

TEST(FleetE2E, OneUnitPerAddressOfARange) {
  testing::TempDir dir;
  testing::SimProcess fleet(dir);
  fleet.start(
      {"--bind-range", "127.0.9.1-127.0.9.4", "--port", "23500", "--state-dir", dir.path()});
  testing::UdpClient client;
  std::optional<std::string> reply;
  for (int i = 0; i < 300 && !reply; ++i) {  // about 30 s at most
    client.setTarget("127.0.9.4", 23500);
    client.send("rPr000\n");
    reply = client.receive(100);
  }
  ASSERT_TRUE(reply) << fleet.standardError();
  EXPECT_NE(testing::replyBody(reply).find(":00:04,"), std::string::npos);  // unit 4's MAC
  client.setTarget("127.0.9.1", 23500);
  client.send("rPr000\n");
  EXPECT_NE(testing::replyBody(client.receive(30000)).find(":00:01,"), std::string::npos);
  int code = 0;
  stop(fleet, &code);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(testing::fileExists(dir.file("unit-0004/VXS2.dat")));
}

TEST(FleetE2E, AUnitThatCannotBeSavedIsNamedAndTheOthersAreSaved) {
  testing::TempDir dir;
  testing::SimProcess fleet(dir);
  fleet.start({"--units", "3", "--port-base", "23600", "--state-dir", dir.path()});
  ASSERT_TRUE(fleet.waitUntilAnswering(23602)) << fleet.standardError();
  ::mkdir(dir.file("unit-0002/VXS1.dat").c_str(), 0755);
  writeFile(dir.file("unit-0002/VXS1.dat/keep"), "x");
  // The failed save names unit 2 alone; the others are saved and the fleet runs on.
  fleet.signal(SIGTERM);
  for (int i = 0; i < 100 && fleet.standardError().find("not saved") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(fleet.standardError().find("the state was not saved: unit 2: "), std::string::npos)
      << fleet.standardError();
  const std::string error = fleet.standardError();
  EXPECT_EQ(error.find("unit 1:"), std::string::npos) << error;
  EXPECT_EQ(error.find("unit 3:"), std::string::npos) << error;
  EXPECT_EQ(readFile(dir.file("unit-0001/VXS1.dat")).size(), 1024u);
  EXPECT_EQ(readFile(dir.file("unit-0003/VXS1.dat")).size(), 1024u);
  EXPECT_EQ(readFile(dir.file("unit-0002/VXS2.dat")).size(), 0u);  // its save stopped at VXS1
  EXPECT_TRUE(fleet.waitUntilAnswering(23601, 30000));
  // Once the cause is gone, the next signal saves every unit and ends the run.
  ::unlink(dir.file("unit-0002/VXS1.dat/keep").c_str());
  ::rmdir(dir.file("unit-0002/VXS1.dat").c_str());
  int code = 0;
  stop(fleet, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(readFile(dir.file("unit-0002/VXS1.dat")).size(), 1024u);
  EXPECT_EQ(readFile(dir.file("unit-0002/VXS2.dat")).size(), 10u);
}

TEST(FleetE2E, BadFleetOptionsExitTwoAndATakenPortOrALowLimitExitOne) {
  testing::TempDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--units", "0"},
        {"--port-base", "23000"},
        {"--units", "10", "--port-base", "65530"},
        {"--bind-range", "127.0.0.9-127.0.0.1"},
        {"--bind-range", "127.0.0.1"},
        {"--units", "2", "--bind-range", "127.0.0.1-127.0.0.2"}}) {
    testing::SimProcess bad(dir);
    bad.start(args);
    EXPECT_EQ(bad.waitForExit(), 2) << args[0];
    EXPECT_EQ(bad.standardError().rfind("vexa-sim-headless: ", 0), 0u) << bad.standardError();
  }
  EXPECT_FALSE(testing::fileExists(dir.file("unit-0001")));

  {
    // A port of the range taken by someone else: named, nothing saved.
    const testing::UdpPortHolder holder(23702);
    ASSERT_TRUE(holder.held());
    testing::SimProcess taken(dir);
    taken.start({"--units", "5", "--port-base", "23700", "--state-dir", dir.path()});
    EXPECT_EQ(taken.waitForExit(), 1);
    EXPECT_EQ(taken.standardError(),
              "vexa-sim: unit 3 (0.0.0.0:23702): Could not bind socket. Address and port are "
              "already in use.\n");
    EXPECT_FALSE(testing::fileExists(dir.file("unit-0001/VXS1.dat")));
  }

  const auto low = testing::runCommand("ulimit -n 64 && ulimit -Hn 64 && " + dir.file("vexa-sim") +
                                       " --units 200 --port-base 23800 --state-dir " + dir.path());
  EXPECT_EQ(low.exitCode, 1) << low.output;
  EXPECT_NE(low.output.find("needs 264 open files but the hard limit is 64"), std::string::npos)
      << low.output;
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST(FleetE2E, AFleetFileGivesEachUnitItsOwnSettingsAndABadOneWritesNothing) {
  testing::TempDir dir;
  const std::string stateDir = dir.file("state/");
  writeFile(dir.file("bad.json"),
            R"({"units": [{"port": 23960}, {"port": 23961, "identity": {"ip": "10.0.0"}}]})");
  testing::SimProcess bad(dir);
  bad.start({"--fleet", dir.file("bad.json"), "--state-dir", stateDir});
  EXPECT_EQ(bad.waitForExit(), 2);
  EXPECT_EQ(bad.standardError(), "vexa-sim-headless: fleet file " + dir.file("bad.json") +
                                     ": unit 2, field \"identity.ip\" needs a dotted IPv4 "
                                     "address\n");
  EXPECT_FALSE(testing::fileExists(stateDir));

  writeFile(dir.file("fleet.json"), R"({
      "defaults": {"address": "127.0.0.1", "port": 23960},
      "units": [
        {},
        {"port": 23961, "variant": 110,
         "identity": {"ip": "10.1.2.3", "mac": "00-01-02-AA-BB-CC", "scale": 750}},
        {"address": "127.0.9.9", "faults": {"drop": 1}}
      ]})");
  testing::SimProcess fleet(dir);
  fleet.start({"--fleet", dir.file("fleet.json"), "--state-dir", stateDir});
  ASSERT_TRUE(fleet.waitUntilAnswering(23960)) << fleet.standardError();
  testing::UdpClient client;
  const std::string first = testing::replyBody(client.request(23960, "rPr000\n"));
  EXPECT_EQ(first.rfind("RPR,000,C0.A8.00.02,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:00:01,1EE,00,", 0),
            0u)
      << first;
  // Variant 110: no adjustment items after the scale.
  const std::string second = testing::replyBody(client.request(23961, "rPr000\n"));
  EXPECT_EQ(second.rfind("rPr,000,0A.01.02.03,FF.FF.FF.00,C0.A8.00.01,00:01:02:AA:BB:CC,2EE,00,"
                         "00,00,00,00,00,1.30,",
                         0),
            0u)
      << second;
  client.setTarget("127.0.9.9", 23960);
  client.send("rPr000\n");
  EXPECT_FALSE(client.receive(300));  // unit 3 drops every request
  int code = 0;
  stop(fleet, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(readFile(stateDir + "unit-0002/VXS1.dat").substr(6, 4), "\x0A\x01\x02\x03");
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST(FleetE2E, AnOverlongConsoleLineIsRefusedWholeAndTheNextOneRuns) {
  testing::TempDir dir;
  testing::SimProcess fleet(dir);
  fleet.start({"--units", "2", "--port-base", "23650", "--state-dir", dir.path()}, {}, true);
  ASSERT_TRUE(fleet.waitUntilAnswering(23651)) << fleet.standardError();
  fleet.input("unit 1 variant 110" + std::string(5000, ' ') + "x\nunits\n");
  ASSERT_TRUE(fleet.waitForOutput("2 0.0.0.0:23651"));
  EXPECT_EQ(fleet.standardOutput().rfind("error: line too long\n1 0.0.0.0:23650 endpoint=on "
                                         "variant=150 ",
                                         0),
            0u)
      << fleet.standardOutput();
  fleet.input("quit\n");
  EXPECT_EQ(fleet.waitForExit(), 0);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// A flood from another thread: `datagram` round the ports base..base+count-1 of 127.0.0.1, as
// fast as one thread sends, until destroyed (or 60 s at most).
class Flood {
 public:
  Flood(uint16_t base, int count, std::string datagram)
      : thread_([this, base, count, datagram = std::move(datagram)] {
          const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
          const int small = 4096;  // the replies are left for the kernel to drop
          ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
          sockaddr_in to{};
          to.sin_family = AF_INET;
          to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
          const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
          for (int i = 0; !stop_ && (i != 0 || std::chrono::steady_clock::now() < end);
               i = (i + 1) % count) {
            to.sin_port = htons(static_cast<uint16_t>(base + i));
            if (::sendto(fd, datagram.data(), datagram.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0) {
              ++sent_;
            }
          }
          ::close(fd);
        }) {}
  ~Flood() {
    stop_ = true;
    thread_.join();
  }
  // Waits until `count` datagrams went out (false: not within 30 s).
  bool sent(long count) const {
    for (int i = 0; i < 3000 && sent_ < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return sent_ >= count;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

// The costliest datagram a unit takes: 8,192 empty lines, each answered.
std::string costliestDatagram() {
  return std::string(8192, '\n');
}

// A flooded fleet still acts on its signal: every unit saved, the process ended, while the
// flood goes on. Each socket holds some 25 datagrams of 8,192 replies: a loop that served the
// signal only after every ready socket's datagrams would take minutes.
TEST(FleetE2E, AFloodedFleetEndsOnSigtermWithEveryUnitSaved) {
  testing::TempDir dir;
  const uint16_t base = 21000;
  const int count = 1000;
  testing::SimProcess fleet(dir);
  fleet.start({"--units", std::to_string(count), "--port-base", std::to_string(base), "--state-dir",
               dir.path()});
  ASSERT_TRUE(fleet.waitUntilAnswering(static_cast<uint16_t>(base + count - 1), 20000))
      << fleet.standardError();
  Flood flood(base, count, costliestDatagram());
  ASSERT_TRUE(flood.sent(20 * count));
  fleet.signal(SIGTERM);
  const auto code = fleet.waitForExit(30000);  // a hang bound
  ASSERT_TRUE(code) << "still running 30 s after SIGTERM under a flood";
  EXPECT_EQ(*code, 0) << fleet.standardError();
  for (int n = 1; n <= count; ++n) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "unit-%04d/", n);
    EXPECT_EQ(readFile(dir.file(std::string(folder) + "VXS1.dat")).size(), 1024u) << n;
    EXPECT_EQ(readFile(dir.file(std::string(folder) + "VXS2.dat")).size(), 10u) << n;
  }
}

// The console answers while every unit is flooded (a loop that read it only after every ready
// socket's datagrams would take minutes), and its quit ends the run.
TEST(FleetE2E, AFloodedFleetAnswersItsConsole) {
  testing::TempDir dir;
  const uint16_t base = 22000;
  const int count = 1000;
  testing::SimProcess fleet(dir);
  fleet.start({"--units", std::to_string(count), "--port-base", std::to_string(base), "--state-dir",
               dir.path()},
              {}, true);
  ASSERT_TRUE(fleet.waitUntilAnswering(static_cast<uint16_t>(base + count - 1), 20000))
      << fleet.standardError();
  Flood flood(base, count, costliestDatagram());
  ASSERT_TRUE(flood.sent(20 * count));
  fleet.input("unit 7 variant 110\nunit 7 status\n");
  EXPECT_TRUE(fleet.waitForOutput("variant=110", 30000)) << fleet.standardOutput();
  fleet.input("status\n");
  EXPECT_TRUE(fleet.waitForOutput("units=1000 active=1000 datagrams=", 30000))
      << fleet.standardOutput();
  fleet.input("quit\n");
  const auto code = fleet.waitForExit(30000);
  ASSERT_TRUE(code) << "still running 30 s after quit under a flood";
  EXPECT_EQ(*code, 0);
}

}  // namespace
}  // namespace vexa
