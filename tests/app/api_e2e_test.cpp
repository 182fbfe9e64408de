// The HTTP interface of the real program, over real HTTP and UDP on 127.0.0.1.
#include <gtest/gtest.h>
#include <httplib.h>

#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "event_reader.h"
#include "reply_body.h"
#include "reply_framing.h"
#include "sim_process.h"

namespace vexa {
namespace {

using nlohmann::json;

size_t listeningSockets(pid_t pid);

// A UDP port of this test's own range, so these tests need not wait for port 5010.
uint16_t freeUdpPort() {
  return testing::freeUdpPortRun(5460, 5499, 1);
}

class ApiTest : public ::testing::Test {
 protected:
  // Starts the headless simulator with its API on a free port and waits for both.
  void start(std::vector<std::string> extra = {}, bool window = false) {
    udpPort = freeUdpPort();
    ASSERT_NE(udpPort, 0);
    std::vector<std::string> arguments = {window ? "--gui" : "--headless", "--port",
                                          std::to_string(udpPort)};
    if (extra.empty()) extra = {"--api", "0"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    sim.start(arguments, window ? std::vector<std::string>{"QT_QPA_PLATFORM=offscreen"}
                                : std::vector<std::string>{});
    ASSERT_TRUE(sim.waitUntilAnswering(udpPort)) << sim.standardError();
    if (std::find(extra.begin(), extra.end(), "--api") == extra.end()) return;
    const auto announced = sim.announcedApiPort();
    ASSERT_TRUE(announced) << sim.standardError();
    EXPECT_EQ(listeningSockets(sim.pid()), 1u);
    apiPort = *announced;
    http = std::make_unique<httplib::Client>("127.0.0.1", apiPort);
    http->set_read_timeout(5, 0);
  }

  json get(const std::string& path, int expectStatus = 200) {
    if (!http) return ADD_FAILURE() << "no API client: the start failed", json();
    auto r = http->Get(path.c_str());
    EXPECT_TRUE(r) << path;
    if (!r) return {};
    EXPECT_EQ(r->status, expectStatus) << path << ": " << r->body;
    return json::parse(r->body, nullptr, false);
  }
  json unit() { return get("/api/v1/units/1"); }
  // PATCHes the unit; returns the status and the body.
  std::pair<int, json> patch(const std::string& body, const std::string& path = "/api/v1/units/1") {
    if (!http) return ADD_FAILURE() << "no API client: the start failed", std::pair{-1, json()};
    auto r = http->Patch(path.c_str(), body, "application/json");
    if (!r) return {-1, {}};
    return {r->status, json::parse(r->body, nullptr, false)};
  }
  std::optional<std::string> udp(const std::string& line) {
    return client.request(udpPort, line + "\n", 500);
  }
  std::string body(const std::string& line) { return testing::replyBody(udp(line)); }

  // Polls snd until its body holds `flags`.
  bool sndShowsWithin(const std::string& flags, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (body("snd000").find(flags) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  testing::TempDir dir;
  testing::SimProcess sim{dir};
  testing::UdpClient client;
  uint16_t udpPort = 0, apiPort = 0;
  std::unique_ptr<httplib::Client> http;
};

TEST_F(ApiTest, HealthAndTheUnitList) {
  start();
  const json health = get("/api/v1/health");
  EXPECT_EQ(health["status"], "ok");
  EXPECT_EQ(health["units"], 1);
  const json list = get("/api/v1/units");
  ASSERT_EQ(list["units"].size(), 1u);
  EXPECT_EQ(list["units"][0]["id"], "1");
  EXPECT_EQ(list["units"][0]["port"], udpPort);
  EXPECT_EQ(list["units"][0]["variant"], "150");
}

TEST_F(ApiTest, OneUnitDecodedAndRaw) {
  start();
  const json u = unit();
  const json& c = u["config"];
  EXPECT_EQ(c["mac"], "00-01-02-00-00-00");
  EXPECT_EQ(c["ip"], "192.168.0.250");
  EXPECT_EQ(c["mask"], "255.255.255.0");
  EXPECT_EQ(c["gateway"], "192.168.0.1");
  EXPECT_EQ(c["scale"], 494);
  EXPECT_EQ(c["aj_temp"], 0);
  EXPECT_EQ(c["version_date"], "15/03/17 00:08");
  EXPECT_EQ(c["raw"].get<std::string>().size(), 2048u);
  EXPECT_EQ(c["raw"].get<std::string>().substr(0, 56),
            "000102000000C0A800FAFFFFFF00C0A80001EE010000000803152017");
  const json& l = u["live"];
  EXPECT_EQ(l["raw"], "0400FA00140032000000");
  EXPECT_EQ(l["inputs"], 4);
  EXPECT_EQ(l["inputs_bits"], "00000100");
  EXPECT_EQ(l["inputs_by_name"]["rede"], true);
  EXPECT_EQ(l["inputs_by_name"]["presenca"], false);
  EXPECT_EQ(l["clickable_inputs"], 0xFD);  // the reset input follows its countdown
  EXPECT_EQ(l["levels"]["bat"]["value"], 250);
  EXPECT_EQ(l["levels"]["bat"]["text"], "25,0");
  EXPECT_EQ(l["levels"]["temp"]["text"], "20");
  EXPECT_EQ(l["levels"]["umid"]["value"], 50);
  EXPECT_EQ(l["auto"], false);
  EXPECT_EQ(l["battery"], 0);
  EXPECT_EQ(l["variant"], "150");
  EXPECT_EQ(l["endpoint"], true);
  EXPECT_EQ(l["reset_countdown"], 0);
  EXPECT_EQ(u["counters"]["faults"]["dropped"], 0);
}

TEST_F(ApiTest, TrafficOverUdpShowsInConfigTrafficAndCounters) {
  start();
  const json before = unit()["counters"];
  EXPECT_EQ(body("wPr000,010,001,002,003,255,255,000,000,010,001,002,254"),
            "WPR,000,10.1.2.3,255.255.0.0,10.1.2.254,\r\n");
  body("wMc000,000,001,002,010,011,255");
  body("wSc000,750,005,006");
  body("snd000");
  body("snd000");
  body("xyz000");
  const json u = unit();
  EXPECT_EQ(u["config"]["ip"], "10.1.2.3");
  EXPECT_EQ(u["config"]["mac"], "00-01-02-0A-0B-FF");
  EXPECT_EQ(u["config"]["scale"], 750);
  EXPECT_EQ(u["config"]["aj_umid"], 6);
  EXPECT_EQ(u["config"]["marks"], json({11, 21, 12, 22, 13, 23}));
  EXPECT_EQ(u["traffic"]["request"], "xyz000 (6)");
  EXPECT_EQ(u["traffic"]["version"], "1.50");
  const json& c = u["counters"];
  const int handled = c["datagrams"].get<int>() - before["datagrams"].get<int>();
  EXPECT_EQ(handled, 6);
  for (const auto& [command, count] :
       std::map<std::string, int>{{"wPr", 1}, {"wMc", 1}, {"wSc", 1}, {"snd", 2}, {"other", 1}}) {
    EXPECT_EQ(c["lines"][command].get<int>() - before["lines"][command].get<int>(), count)
        << command;
  }
  EXPECT_GT(c["bytes_sent"].get<int>(), c["bytes_received"].get<int>());
}

// Each level through the slider's rules: the range clamps, temperature goes through x1.5.
TEST_F(ApiTest, LevelsFollowTheSliderRules) {
  start();
  struct Case {
    const char* level;
    int requested, applied;
  };
  const Case cases[] = {{"bat", 600, 600},  {"bat", 601, 600},   {"bat", -1, 0},
                        {"bat", 1, 1},      {"bat", 32767, 600}, {"temp", 25, 25},
                        {"temp", 67, 67},   {"temp", 68, 67},    {"temp", 2, 2},
                        {"umid", 100, 100}, {"umid", 101, 100},  {"umid", 0, 0}};
  for (const Case& c : cases) {
    const auto [status, reply] = patch("{\"levels\":{\"" + std::string(c.level) +
                                       "\":" + std::to_string(c.requested) + "}}");
    ASSERT_EQ(status, 200) << reply.dump();
    EXPECT_EQ(reply["unit"]["live"]["levels"][c.level]["value"], c.applied)
        << c.level << " " << c.requested;
    const bool clamped = c.requested != c.applied;
    ASSERT_EQ(reply["clamped"].size(), clamped ? 1u : 0u) << reply["clamped"].dump();
    if (clamped) {
      EXPECT_EQ(reply["clamped"][0]["field"], std::string("levels.") + c.level);
      EXPECT_EQ(reply["clamped"][0]["applied"], c.applied);
    }
  }
}

TEST_F(ApiTest, InputsTogglesAutoVariantBatteryAndFaults) {
  start();
  auto [status, reply] = patch(R"({"inputs":{"0":true,"rede":false},"toggle":[7]})");
  ASSERT_EQ(status, 200) << reply.dump();
  EXPECT_EQ(reply["unit"]["live"]["inputs_bits"], "10000001");
  // snd reports the flags of its latest 2 s measurement: presenca on, no reset, rede off.
  EXPECT_TRUE(sndShowsWithin(",1,1,0,0,0,", 30000));

  std::tie(status, reply) = patch(R"({"battery":1})");
  EXPECT_EQ(reply["unit"]["live"]["levels"]["bat"]["text"], "53,1");
  EXPECT_EQ(reply["unit"]["live"]["battery_range"], "120 V");

  std::tie(status, reply) = patch(R"({"variant":"110"})");
  ASSERT_EQ(status, 200);
  const auto framed = udp("rPr000");
  ASSERT_TRUE(framed);
  EXPECT_TRUE(decodeReply(*framed, kVariant110)) << *framed;
  std::tie(status, reply) = patch(R"({"variant":130})");
  EXPECT_EQ(reply["unit"]["live"]["variant"], "130");

  std::tie(status, reply) = patch(R"({"auto":true})");
  EXPECT_EQ(reply["unit"]["live"]["auto"], true);
  std::tie(status, reply) = patch(R"({"levels":{"umid":10}})");
  EXPECT_EQ(status, 409);
  EXPECT_EQ(reply["error"]["field"], "levels.umid");
  std::tie(status, reply) = patch(R"({"auto":false,"levels":{"umid":10}})");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(reply["unit"]["live"]["levels"]["umid"]["value"], 10);

  std::tie(status, reply) = patch(R"({"faults":{"drop":1}})");
  EXPECT_EQ(reply["unit"]["faults"]["drop"], 1.0);
  EXPECT_FALSE(udp("snd000"));
  std::tie(status, reply) = patch(R"({"faults":{"drop":0,"delay_ms":20,"jitter_ms":5}})");
  EXPECT_EQ(reply["unit"]["faults"]["delay_ms"], 20);
  EXPECT_TRUE(udp("snd000"));
  EXPECT_GE(unit()["counters"]["faults"]["dropped"].get<int>(), 1);
  EXPECT_GE(unit()["counters"]["faults"]["delayed"].get<int>(), 1);
}

TEST_F(ApiTest, EndpointOffAndOn) {
  start();
  auto [status, reply] = patch(R"({"endpoint":false})");
  ASSERT_EQ(status, 200);
  EXPECT_EQ(reply["unit"]["live"]["endpoint"], false);
  EXPECT_FALSE(udp("snd000"));
  std::tie(status, reply) = patch(R"({"endpoint":true})");
  EXPECT_EQ(reply["unit"]["live"]["endpoint"], true);
  EXPECT_TRUE(udp("snd000"));
}

TEST_F(ApiTest, ResetGivesAFreshUnit) {
  start();
  body("wPr000,010,001,002,003,255,255,000,000,010,001,002,254");
  patch(
      R"({"variant":"110","battery":2,"toggle":[6],"levels":{"bat":100},"faults":{"corrupt":0.5}})");
  auto r = http->Post("/api/v1/units/1/reset", "", "application/json");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 200) << r->body;
  const json u = json::parse(r->body)["unit"];
  EXPECT_EQ(u["config"]["ip"], "192.168.0.250");
  EXPECT_EQ(u["config"]["marks"], json({0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(u["live"]["raw"], "0400FA00140032000000");
  EXPECT_EQ(u["live"]["variant"], "150");
  EXPECT_EQ(u["live"]["battery"], 0);
  EXPECT_EQ(u["faults"]["corrupt"], 0.0);
}

// Every refusal answers with a JSON error naming the field, and changes nothing.
TEST_F(ApiTest, ErrorsChangeNothing) {
  start();
  const json before = unit();
  struct Case {
    std::string body;
    int status;
    std::string field;
  };
  const Case cases[] = {
      {"{", 400, ""},
      {"[1]", 400, ""},
      {"", 400, ""},
      {R"({"foo":1})", 400, "foo"},
      {R"({"levels":{"pressure":1}})", 400, "levels.pressure"},
      {R"({"levels":{"bat":1.5}})", 400, "levels.bat"},
      {R"({"levels":{"bat":"1"}})", 400, "levels.bat"},
      {R"({"auto":1})", 400, "auto"},
      {R"({"inputs":{"door":true}})", 400, "inputs.door"},
      {R"({"faults":{"loss":0.1}})", 400, "faults.loss"},
      {R"({"toggle":5})", 400, "toggle"},
      {R"({"levels":{"bat":32768}})", 422, "levels.bat"},
      {R"({"levels":{"temp":-32769}})", 422, "levels.temp"},
      {R"({"battery":3})", 422, "battery"},
      {R"({"battery":-1})", 422, "battery"},
      {R"({"variant":"120"})", 422, "variant"},
      {R"({"inputs":{"8":true}})", 422, "inputs.8"},
      {R"({"toggle":[0,8]})", 422, "toggle.1"},
      {R"({"faults":{"drop":1.01}})", 422, "faults.drop"},
      {R"({"faults":{"corrupt":-0.01}})", 422, "faults.corrupt"},
      {R"({"faults":{"delay_ms":600001}})", 422, "faults.delay_ms"},
      {R"({"battery":1,"inputs":{"1":true}})", 409, "inputs.1"},
      {R"({"battery":1,"toggle":[1]})", 409, "inputs.1"},
      {R"({"auto":true,"levels":{"bat":5}})", 409, "levels.bat"},
  };
  for (const Case& c : cases) {
    const auto [status, reply] = patch(c.body);
    EXPECT_EQ(status, c.status) << c.body << " -> " << reply.dump();
    ASSERT_TRUE(reply.contains("error")) << c.body;
    EXPECT_EQ(reply["error"]["status"], c.status);
    EXPECT_FALSE(reply["error"]["message"].get<std::string>().empty());
    if (!c.field.empty()) {
      EXPECT_EQ(reply["error"]["field"], c.field) << c.body;
    }
    if (c.status == 422 && c.field.rfind("levels.", 0) == 0) {
      EXPECT_EQ(reply["error"]["min"], -32768);
      EXPECT_EQ(reply["error"]["max"], 32767);
    }
  }
  const json after = unit();
  EXPECT_EQ(after["config"], before["config"]);
  EXPECT_EQ(after["live"]["raw"], before["live"]["raw"]);
  EXPECT_EQ(after["live"]["battery"], before["live"]["battery"]);
  EXPECT_EQ(after["live"]["auto"], before["live"]["auto"]);
  EXPECT_EQ(after["faults"], before["faults"]);
}

TEST_F(ApiTest, UnknownUnitsAndPathsAndLargeBodies) {
  start();
  EXPECT_EQ(get("/api/v1/units/2", 404)["error"]["status"], 404);
  EXPECT_EQ(patch("{}", "/api/v1/units/2").first, 404);
  auto r = http->Post("/api/v1/units/2/reset", "", "application/json");
  EXPECT_EQ(r->status, 404);
  EXPECT_EQ(get("/api/v1/units/2/events", 404)["error"]["status"], 404);
  EXPECT_EQ(get("/api/v1/nothing", 404)["error"]["message"], "no such resource");

  // 64 KiB is the limit: a body of exactly that size is read, one byte more is refused.
  std::string body = "{}";
  body.resize(64 * 1024, ' ');
  EXPECT_EQ(patch(body).first, 200);
  body += ' ';
  const auto [status, reply] = patch(body);
  EXPECT_EQ(status, 413);
  EXPECT_EQ(reply["error"]["status"], 413);
}

TEST_F(ApiTest, TheTokenRule) {
  start({"--api", "127.0.0.1:0", "--api-token", "s3cret-0123456789"});
  auto r = http->Get("/api/v1/units/1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 401);
  EXPECT_EQ(json::parse(r->body)["error"]["status"], 401);
  for (const char* wrong : {"Bearer s3cret-012345678", "Bearer s3cret-01234567892",
                            "Basic s3cret-0123456789", "s3cret-0123456789"}) {
    r = http->Get("/api/v1/units/1", {{"Authorization", wrong}});
    EXPECT_EQ(r->status, 401) << wrong;
  }
  r = http->Patch("/api/v1/units/1", R"({"battery":2})", "application/json");
  EXPECT_EQ(r->status, 401);
  r = http->Get("/metrics");
  EXPECT_EQ(r->status, 401);
  r = http->Get("/api/v1/units/1", {{"Authorization", "Bearer s3cret-0123456789"}});
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(json::parse(r->body)["live"]["battery"], 0);  // the refused PATCH changed nothing
  r = http->Get("/api/v1/health?access_token=s3cret-0123456789");  // only event streams take it
  EXPECT_EQ(r->status, 401);
  r = http->Get("/");  // the page itself holds no data
  EXPECT_EQ(r->status, 200);
}

// In the window the changes go through its controls on the GUI thread, with the same rules.
TEST_F(ApiTest, TheWindowIsSteeredThroughItsControls) {
  start({"--api", "0"}, true);
  auto [status, reply] =
      patch(R"({"toggle":[4],"battery":2,"variant":"110","levels":{"bat":700,"temp":27}})");
  ASSERT_EQ(status, 200) << reply.dump();
  const json& live = reply["unit"]["live"];
  EXPECT_EQ(live["inputs_bits"], "00010100");
  EXPECT_EQ(live["battery"], 2);
  EXPECT_EQ(live["levels"]["bat"]["value"], 600);
  EXPECT_EQ(live["levels"]["bat"]["text"], "237,2");
  EXPECT_EQ(live["levels"]["temp"]["value"], 27);
  EXPECT_EQ(live["variant"], "110");
  EXPECT_EQ(reply["clamped"].size(), 1u);
  std::tie(status, reply) = patch(R"({"auto":true})");
  EXPECT_EQ(reply["unit"]["live"]["auto"], true);
  EXPECT_EQ(patch(R"({"levels":{"umid":1}})").first, 409);
  EXPECT_EQ(patch(R"({"toggle":[1]})").first, 409);
  std::tie(status, reply) = patch(R"({"endpoint":false})");
  EXPECT_EQ(reply["unit"]["live"]["endpoint"], false);
  EXPECT_FALSE(udp("snd000"));
  patch(R"({"endpoint":true})");
  EXPECT_TRUE(udp("snd000"));
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

// The TCP sockets a process listens on, from /proc: its socket inodes in the LISTEN state.
size_t listeningSockets(pid_t pid) {
  std::set<std::string> inodes;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
    std::error_code ignored;
    const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
    if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
  }
  size_t listening = 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream in(testing::readFile(table));
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
      if (f.size() > 9 && f[3] == "0A" && inodes.count(f[9])) ++listening;
    }
  }
  return listening;
}

TEST_F(ApiTest, NoApiUnlessAskedFor) {
  start({"--variant", "150"});  // no --api
  EXPECT_EQ(sim.standardError().find("API"), std::string::npos);
  EXPECT_EQ(listeningSockets(sim.pid()), 0u);
}

TEST_F(ApiTest, ATakenApiPortEndsTheProgramWithAMessage) {
  const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  socklen_t length = sizeof a;
  ::getsockname(taken, reinterpret_cast<sockaddr*>(&a), &length);
  const std::string port = std::to_string(ntohs(a.sin_port));
  sim.start({"--headless", "--port", std::to_string(freeUdpPort()), "--api", port});
  EXPECT_EQ(sim.waitForExit(), 1);
  EXPECT_NE(sim.standardError().find("cannot listen on 127.0.0.1:" + port), std::string::npos)
      << sim.standardError();
  ::close(taken);
}

TEST_F(ApiTest, ANonLoopbackAddressNeedsAToken) {
  sim.start({"--headless", "--api", "0.0.0.0:0"});
  EXPECT_EQ(sim.waitForExit(), 2);
  EXPECT_NE(sim.standardError().find("--api-token"), std::string::npos) << sim.standardError();
}

// Parses "data:" lines of a stream into events.
std::vector<json> eventsOf(const std::string& text) {
  std::vector<json> events;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("data: ", 0) == 0) events.push_back(json::parse(line.substr(6)));
  }
  return events;
}

TEST_F(ApiTest, EventsOfEveryKind) {
  start();
  testing::EventReader unitEvents(apiPort, "/api/v1/units/1/events");
  testing::EventReader writes(apiPort, "/api/v1/events?kinds=write");
  ASSERT_TRUE(unitEvents.waitFor(": connected"));
  ASSERT_TRUE(writes.waitFor(": connected"));
  body("wPr000,192,168,000,017,255,255,255,000,192,168,000,077");
  body("wMc000,000,001,002,003,004,005");
  body("wSc000,999,001,002");
  patch(R"({"toggle":[5]})");
  patch(R"({"levels":{"umid":33}})");
  patch(R"({"endpoint":false})");
  patch(R"({"endpoint":true})");
  ASSERT_TRUE(unitEvents.waitFor("\"kind\":\"endpoint\",\"on\":true")) << unitEvents.text();
  ASSERT_TRUE(writes.waitFor("\"command\":\"wSc\""));

  const std::vector<json> events = eventsOf(unitEvents.text());
  std::map<std::string, json> first;
  uint64_t seq = 0;
  int64_t time = 0;
  for (const json& e : events) {
    EXPECT_GT(e["seq"].get<uint64_t>(), seq);
    EXPECT_GE(e["time_ns"].get<int64_t>(), time);
    seq = e["seq"];
    time = e["time_ns"];
    EXPECT_EQ(e["unit"], "1");
    first.emplace(e["kind"], e);
  }
  ASSERT_EQ(first.size(), 6u) << unitEvents.text();
  EXPECT_EQ(first["request"]["line"], "wPr000,192,168,000,017,255,255,255,000,192,168,000,077");
  EXPECT_EQ(first["reply"]["body"], "wPr,000,192.168.0.17,255.255.255.0,192.168.0.77,");
  EXPECT_EQ(first["write"]["command"], "wPr");
  EXPECT_EQ(first["write"]["gateway"], "192.168.0.77");
  EXPECT_EQ(first["input"]["bit"], 5);
  EXPECT_EQ(first["input"]["on"], true);
  EXPECT_EQ(first["level"]["level"], "umid");
  EXPECT_EQ(first["level"]["value"], 33);
  EXPECT_EQ(first["endpoint"]["on"], false);

  const std::vector<json> onlyWrites = eventsOf(writes.text());
  ASSERT_EQ(onlyWrites.size(), 3u) << writes.text();
  EXPECT_EQ(onlyWrites[1]["mac"], "00-01-02-03-04-05");
  EXPECT_EQ(onlyWrites[2]["scale"], 999);
  EXPECT_EQ(onlyWrites[2]["aj_temp"], 1);
  EXPECT_EQ(get("/api/v1/events?kinds=write,bogus", 400)["error"]["field"], "kinds");
}

TEST_F(ApiTest, TheCardStreamSendsAllThenWhatChanged) {
  start();
  testing::EventReader cards(apiPort, "/api/v1/cards");
  ASSERT_TRUE(cards.waitFor("\"full\":true"));
  patch(R"({"toggle":[3]})");
  ASSERT_TRUE(cards.waitFor("\"full\":false")) << cards.text();
  const std::vector<json> sent = eventsOf(cards.text());
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0]["cards"][0]["id"], "1");
  EXPECT_EQ(sent.back()["cards"][0]["inputs_bits"], "00001100");
}

TEST_F(ApiTest, MetricsParse) {
  start();
  for (int i = 0; i < 3; ++i) body("snd000");
  body("rPr000");
  auto r = http->Get("/metrics");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 200);
  EXPECT_NE(r->get_header_value("Content-Type").find("text/plain"), std::string::npos);
  std::map<std::string, double> samples;
  std::set<std::string> typed;
  std::istringstream in(r->body);
  const std::regex sample(R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[^}]*\})? (-?[0-9.e+]+)$)");
  const std::regex type(R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge)$)");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (line.rfind("# HELP ", 0) == 0) continue;
    if (std::regex_match(line, m, type)) {
      typed.insert(m[1]);
      continue;
    }
    ASSERT_TRUE(std::regex_match(line, m, sample)) << line;
    EXPECT_TRUE(typed.count(m[1])) << "no TYPE before " << line;
    samples[std::string(m[1]) + std::string(m[2])] = std::stod(m[3]);
  }
  EXPECT_EQ(samples["vexa_lines_total{unit=\"1\",command=\"snd\"}"], 3);
  EXPECT_EQ(samples["vexa_fleet_lines_total{command=\"rPr\"}"], 1);
  EXPECT_GE(samples["vexa_datagrams_total{unit=\"1\"}"], 4);
  EXPECT_EQ(samples["vexa_datagrams_total{unit=\"1\"}"], samples["vexa_fleet_datagrams_total"]);
  EXPECT_EQ(samples["vexa_endpoint_up{unit=\"1\"}"], 1);
  EXPECT_EQ(samples["vexa_units"], 1);
  EXPECT_GT(samples["process_resident_memory_bytes"], 1e6);
  EXPECT_GT(samples["process_open_fds"], 3);
  EXPECT_TRUE(samples.count("vexa_faults_total{unit=\"1\",kind=\"drop\"}"));
}

TEST_F(ApiTest, TheDashboardIsServedFromTheProgram) {
  start();
  const std::map<std::string, std::string> assets = {
      {"/", "text/html"}, {"/app.js", "text/javascript"}, {"/app.css", "text/css"}};
  for (const auto& [path, type] : assets) {
    auto r = http->Get(path.c_str());
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_EQ(r->get_header_value("Content-Type").rfind(type, 0), 0u) << path;
    EXPECT_GT(r->body.size(), 100u) << path;
  }
}

// A scenario document POSTed to a unit drives it as a scenario file would: its level shows the
// scenario as its source, the operator's change to it is refused, a broken document names its
// field, and DELETE hands the level back. Headless and in the window alike.
class ApiScenarioTest : public ApiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ApiScenarioTest, AScenarioStartsAndStopsThroughTheInterface) {
  {
    start({}, GetParam());
    const std::string path = "/api/v1/units/1/scenario";
    auto broken = http->Post(path.c_str(),
                             R"({"levels": {"temp": {"kind": "sine", "mean": 20, "amplitude": 5,
                                 "period": 0}}})",
                             "application/json");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->status, 422);
    const json error = json::parse(broken->body, nullptr, false);
    EXPECT_EQ(error["error"]["field"], "levels.temp.period") << broken->body;
    EXPECT_TRUE(unit()["scenario"].is_null());

    auto started =
        http->Post(path.c_str(), R"({"levels": {"temp": {"kind": "constant", "value": 40}}})",
                   "application/json");
    ASSERT_TRUE(started);
    ASSERT_EQ(started->status, 200) << started->body;
    json u = unit();
    EXPECT_EQ(u["live"]["levels"]["temp"]["value"], 40) << u.dump();
    EXPECT_EQ(u["live"]["levels"]["temp"]["source"], "scenario constant");
    EXPECT_EQ(u["live"]["levels"]["bat"]["source"], "operator");
    EXPECT_TRUE(u["scenario"].is_object());
    EXPECT_TRUE(sndShowsWithin(",40,", 30000));  // the next 2 s measurement reports it
    const auto [refused, why] = patch(R"({"levels": {"temp": 25}})");
    EXPECT_EQ(refused, 409) << why.dump();
    EXPECT_EQ(why["error"]["field"], "levels.temp");

    auto stopped = http->Delete(path.c_str(), "", "application/json");
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, 200) << stopped->body;
    u = unit();
    EXPECT_EQ(u["live"]["levels"]["temp"]["source"], "operator");
    EXPECT_TRUE(u["scenario"].is_null());
    EXPECT_EQ(patch(R"({"levels": {"temp": 25}})").first, 200);
    EXPECT_EQ(unit()["live"]["levels"]["temp"]["value"], 25);
  }
}

INSTANTIATE_TEST_SUITE_P(HeadlessAndWindow, ApiScenarioTest, ::testing::Bool());

}  // namespace
}  // namespace vexa
