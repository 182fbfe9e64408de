#pragma once

// What the attack suites on the real program's HTTP interface share: a fleet of three units with
// the API on a free port, requests over raw sockets, and the checks every attack ends with (UDP
// still answers, the units are as they were, memory and descriptors come back).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "raw_http.h"
#include "reply_body.h"
#include "sim_process.h"

namespace vexa {

class ApiAttackFixture : public ::testing::Test {
 protected:
  static constexpr int kUnits = 3;
  // How far resident memory may stay above where it was before an attack.
  static constexpr long kRssSlackKb = 10 * 1024;
  // Descriptors the program may hold beyond its count before an attack (a stream's timer, a
  // connection the server has not reaped yet).
  static constexpr long kFdSlack = 2;
  static constexpr int kHangMs = testing::RawHttp::kHangMs;

  // Options beyond the fleet's own; a suite with a token overrides this.
  virtual std::vector<std::string> extraOptions() const { return {}; }
  // Headers every request of the test's own carries (the token's).
  virtual std::string ownHeaders() const { return {}; }

  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in a quarantine and hands it back to the system only
    // when told to: the program under attack runs without the quarantine and returns free memory
    // at once, so its resident size says what it holds, as it would without the sanitizer.
    const char* given = std::getenv("ASAN_OPTIONS");
    const std::string options = std::string(given ? given : "") +
                                ":quarantine_size_mb=0:allocator_release_to_os_interval_ms=0";
    ::setenv("ASAN_OPTIONS", options.c_str(), 1);
#endif
    startProgram(extraOptions());
  }

  void startProgram(const std::vector<std::string>& extra) {
    sim.reset();
    base = testing::freeUdpPortRun(5580, 5619, kUnits);  // this suite's own range
    ASSERT_NE(base, 0);
    std::vector<std::string> args{
        "--units", std::to_string(kUnits), "--port-base",    std::to_string(base), "--api",
        "0",       "--state-dir",          dir.file("state")};
    args.insert(args.end(), extra.begin(), extra.end());
    sim = std::make_unique<testing::SimProcess>(dir, VEXA_SIM_HEADLESS_PATH);
    sim->start(args);
    for (int i = 0; i < kUnits; ++i) {
      ASSERT_TRUE(sim->waitUntilAnswering(static_cast<uint16_t>(base + i), kHangMs))
          << sim->standardError();
    }
    const auto announced = sim->announcedApiPort();
    ASSERT_TRUE(announced) << sim->standardError();
    apiPort = *announced;
  }

  // True when the program lists `option` in its --help.
  static bool programKnows(const std::string& option) {
    const auto help = testing::runCommand(std::string(VEXA_SIM_HEADLESS_PATH) + " --help");
    return help.output.find(option) != std::string::npos;
  }

  std::string request(const std::string& method, const std::string& path,
                      const std::string& body = {}, const std::string& extraHeaders = {}) const {
    return testing::httpRequest(apiPort, method, path, body, extraHeaders + ownHeaders());
  }
  std::optional<testing::HttpAnswer> call(const std::string& method, const std::string& path,
                                          const std::string& body = {},
                                          const std::string& extraHeaders = {}) const {
    return testing::exchange(apiPort, request(method, path, body, extraHeaders));
  }
  std::string hostHeader() const {
    return "Host: 127.0.0.1:" + std::to_string(apiPort) + "\r\n";
  }

  // An ordinary request is answered.
  void expectServing() const {
    const auto health = call("GET", "/api/v1/health");
    ASSERT_TRUE(health) << "no answer to an ordinary request";
    EXPECT_EQ(health->status, 200) << health->head;
  }

  // Unit `number` as the API shows it, without what traffic moves (counters, traffic boxes).
  std::string unitState(int number) const {
    const auto r = call("GET", "/api/v1/units/" + std::to_string(number));
    if (!r || r->status != 200) return "(no answer)";
    const auto unit = nlohmann::json::parse(r->body, nullptr, false);
    if (unit.is_discarded()) return "(not JSON)";
    return unit["config"]["raw"].dump() + " " + unit["live"]["raw"].dump() + " " +
           unit["live"]["auto"].dump() + " " + unit["live"]["variant"].dump() + " " +
           unit["live"]["endpoint"].dump() + " " + unit["faults"].dump() + " " +
           unit["scenario"].dump();
  }

  struct Baseline {
    long rssKb = -1;
    long fds = -1;
    std::vector<std::string> units;
  };
  Baseline baseline() const {
    // Warm the paths an attack touches, so their first use is not counted against it.
    for (const char* path : {"/", "/app.js", "/app.css", "/metrics", "/api/v1/units"}) {
      call("GET", path);
    }
    Baseline b;
    for (int n = 1; n <= kUnits; ++n) b.units.push_back(unitState(n));
    b.rssKb = sim->residentKb();
    b.fds = sim->openDescriptors();
    return b;
  }

  // Unit `number` answers "snd000" over UDP (upper-cased, as variant 150 frames it).
  bool udpAnswers(int number) {
    const std::string body = testing::replyBody(
        client.request(static_cast<uint16_t>(base + number - 1), "snd000\n", 1000));
    return body.rfind("SND,", 0) == 0 || body.rfind("snd,", 0) == 0;
  }

  // What every attack ends with: the program still serves UDP and HTTP, no unit changed, and
  // its memory and descriptors come back within bounds (waiting up to the hang bound for the
  // server to let go of what the attack left).
  void expectUnharmed(const Baseline& before) {
    for (int n = 1; n <= kUnits; ++n) EXPECT_TRUE(udpAnswers(n)) << "unit " << n << " over UDP";
    expectServing();
    for (int n = 1; n <= kUnits; ++n) {
      EXPECT_EQ(unitState(n), before.units[static_cast<size_t>(n - 1)]) << "unit " << n;
    }
    long rss = sim->residentKb(), fds = sim->openDescriptors();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangMs);
    while ((rss > before.rssKb + kRssSlackKb || fds > before.fds + kFdSlack) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      rss = sim->residentKb();
      fds = sim->openDescriptors();
    }
    EXPECT_GT(rss, 0) << "the program ended: " << sim->standardError();
    EXPECT_LE(rss, before.rssKb + kRssSlackKb) << "resident KiB, before " << before.rssKb;
    EXPECT_LE(fds, before.fds + kFdSlack) << "open descriptors, before " << before.fds;
  }

  // The headers every answer carries, and none that would share it with another origin.
  static void expectHardened(const testing::HttpAnswer& a) {
    std::string faults;
    // The policy may say more (the dashboard's keeps its sources to its own origin).
    if (a.header("Content-Security-Policy").value_or("").find("frame-ancestors 'none'") ==
        std::string::npos) {
      faults += "Content-Security-Policy lacks frame-ancestors 'none'; ";
    }
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"X-Frame-Options", "DENY"},
                                                          {"X-Content-Type-Options", "nosniff"},
                                                          {"Referrer-Policy", "no-referrer"}}) {
      if (a.header(name) != value) faults += std::string(name) + " is not " + value + "; ";
    }
    for (const char* cors : {"Access-Control-Allow-Origin", "Access-Control-Allow-Credentials",
                             "Access-Control-Allow-Methods", "Access-Control-Allow-Headers"}) {
      if (a.has(cors)) faults += std::string(cors) + " is present; ";
    }
    EXPECT_EQ(faults, "") << a.head;
  }

  // An error is one JSON document naming its status; an answer that closes the connection is
  // the last thing on it.
  static void expectJsonError(const testing::HttpAnswer& a) {
    const auto body = nlohmann::json::parse(a.body, nullptr, false);
    EXPECT_TRUE(!body.is_discarded() && body.is_object() && body.contains("error") &&
                body["error"].value("status", 0) == a.status)
        << a.head << a.body;
  }
  static void expectNothingAfter(const testing::HttpAnswer& a, testing::RawHttp& connection) {
    if (a.header("Connection").value_or("") != "close") return;
    EXPECT_TRUE(connection.waitClosedByServer()) << "open after Connection: close";
    EXPECT_EQ(connection.leftover() + connection.closingText(), "") << "after " << a.head;
  }

  // Unit 1 away from its defaults, so a reset that got through would show.
  void moveUnitOneAway() {
    const auto set = call("PATCH", "/api/v1/units/1", R"({"levels":{"umid":77}})");
    ASSERT_TRUE(set);
    ASSERT_EQ(set->status, 200) << set->head << set->body;
  }

  testing::TempDir dir;
  std::unique_ptr<testing::SimProcess> sim;
  testing::UdpClient client;
  uint16_t base = 0, apiPort = 0;
};

}  // namespace vexa
