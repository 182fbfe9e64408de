#include <gtest/gtest.h>

#include <random>

#include "reply_body.h"
#include "sim_process.h"

namespace vexa {
namespace {

using testing::readFile;
using testing::writeFile;

constexpr uint16_t kPort = 5010;

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::udpPortsFree({kPort})); }
  // Starts the headless simulator and waits for it to answer.
  void start(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), "--headless");
    sim.start(arguments);
    ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  }
  std::string body(const std::string& line) {
    return testing::replyBody(client.request(kPort, line + "\n"));
  }
  int stop() {
    sim.signal(SIGTERM);
    const auto code = sim.waitForExit();
    return code ? *code : -1;
  }

  testing::TempDir dir;
  testing::SimProcess sim{dir};
  testing::UdpClient client;
};

TEST_F(HeadlessTest, AnswersAndSavesTheDefaultsOnSigterm) {
  start();
  EXPECT_EQ(
      body("rPr000"),
      "RPR,000,C0.A8.00.FA,FF.FF.FF.00,C0.A8.00.01,00:01:02:00:00:00,1EE,00,00,00,00,00,00,00,"
      "00,1.30,00,00,00,08,15,03,20,17,\r\n");
  EXPECT_EQ(stop(), 0);
  std::string expectedConfig(1024, '\0');
  const char defaults[] =
      "\x00\x01\x02\x00\x00\x00\xC0\xA8\x00\xFA\xFF\xFF\xFF\x00\xC0\xA8\x00\x01"
      "\xEE\x01\x00\x00\x00\x08\x03\x15\x20\x17";
  expectedConfig.replace(0, 28, defaults, 28);
  EXPECT_EQ(readFile(dir.file("VXS1.dat")), expectedConfig);
  EXPECT_EQ(readFile(dir.file("VXS2.dat")),
            std::string("\x04\x00\xFA\x00\x14\x00\x32\x00\x00\x00", 10));
}

TEST_F(HeadlessTest, CraftedFilesComeBackWithReservedBytesAndClampedLevels) {
  std::string config(1100, '\0');
  for (size_t i = 0; i < config.size(); ++i) config[i] = static_cast<char>(i * 7);
  config[18] = '\x01';  // scale 0x8001, negative
  config[19] = '\x80';
  // Inputs 0xAB06: bit 1 set (cleared by the reset tick), bits 8..15 kept. Levels 700, 100, -3.
  const std::string live("\x06\xAB\xBC\x02\x64\x00\xFD\xFF\x5A\xA5", 10);
  writeFile(dir.file("VXS1.dat"), config);
  writeFile(dir.file("VXS2.dat"), live + "tail");
  writeFile(dir.file("VX.ini"), "[Geral]\nCiclo=1\n");
  start();
  const std::string rpr = body("rPr000");
  EXPECT_NE(rpr.find(",FFFF8001,"), std::string::npos) << rpr;
  EXPECT_EQ(body("wSc000,750,001,002"), "WSC,000,\r\n");
  EXPECT_EQ(stop(), 0);

  std::string expectedConfig = config.substr(0, 1024);
  expectedConfig[18] = static_cast<char>(238);
  expectedConfig[19] = 2;
  expectedConfig[20] = 1;
  expectedConfig[21] = 2;
  expectedConfig[514] = 13;
  expectedConfig[515] = 23;
  EXPECT_EQ(readFile(dir.file("VXS1.dat")), expectedConfig);
  EXPECT_EQ(readFile(dir.file("VXS2.dat")),
            std::string("\x04\xAB\x58\x02\x43\x00\xFD\xFF\x5A\xA5", 10));  // 600, 67, -3
}

TEST_F(HeadlessTest, ShortFilesAreCompletedAtClose) {
  writeFile(dir.file("VXS1.dat"), std::string("\x11\x22\x33\x44\x55\x66\x0A\x00\x00\x02", 10));
  writeFile(dir.file("VXS2.dat"), std::string("\x01\x00", 2));
  start();
  EXPECT_EQ(stop(), 0);
  const std::string config = readFile(dir.file("VXS1.dat"));
  ASSERT_EQ(config.size(), 1024u);
  EXPECT_EQ(config.substr(0, 10), std::string("\x11\x22\x33\x44\x55\x66\x0A\x00\x00\x02", 10));
  EXPECT_EQ(config.substr(10, 4), std::string("\xFF\xFF\xFF\x00", 4));  // default mask
  // Levels read as 0 stay 0: their sliders never move.
  EXPECT_EQ(readFile(dir.file("VXS2.dat")),
            std::string("\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00", 10));
}

TEST_F(HeadlessTest, LogSwitchWritesTheWeeklyLog) {
  ::mkdir(dir.file("Log").c_str(), 0755);
  start({"/L"});
  body("snd000");
  EXPECT_EQ(stop(), 0);
  std::string log;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("Log"))) {
    log += readFile(entry.path());
  }
  EXPECT_NE(log.find(" - snd000\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" - snd,000,"), std::string::npos) << log;
}

TEST_F(HeadlessTest, ATakenPortEndsTheHeadlessProgram) {
  const testing::UdpPortHolder holder(kPort);
  ASSERT_TRUE(holder.held());
  sim.start({"--headless"});
  const auto code = sim.waitForExit();
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 1);
  EXPECT_EQ(sim.standardError(), "vexa-sim: cannot bind 0.0.0.0:5010: Address already in use\n");
  EXPECT_FALSE(testing::fileExists(dir.file("VXS1.dat")));
}

TEST_F(HeadlessTest, AFailedSaveIsReportedAndTheUnitRunsOn) {
  start();
  // A directory where the state file should be makes the rename fail, whatever the user.
  ::mkdir(dir.file("VXS1.dat").c_str(), 0755);
  writeFile(dir.file("VXS1.dat/keep"), "x");
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(500), std::nullopt);
  EXPECT_NE(sim.standardError().find("VXS1.dat"), std::string::npos) << sim.standardError();
  EXPECT_FALSE(testing::fileExists(dir.file("VXS2.dat")));
  EXPECT_EQ(body("wMc000"), "WMC,000,\r\n");  // still answering
  // A second signal tries the save again; once it can, the run ends.
  std::filesystem::remove_all(dir.file("VXS1.dat"));
  EXPECT_EQ(stop(), 0);
  EXPECT_EQ(readFile(dir.file("VXS1.dat")).size(), 1024u);
}

TEST_F(HeadlessTest, ASecondInstanceWithoutDetailModeExitsOne) {
  start();
  testing::TempDir otherDir;
  testing::SimProcess second(otherDir);
  // The same state directory, so the same instance lock.
  second.start({"--headless", "--state-dir", dir.path()});
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_EQ(second.standardError(), "vexa-sim: state directory " + dir.path() +
                                        " is taken by process " + std::to_string(sim.pid()) + "\n");
  EXPECT_FALSE(testing::fileExists(otherDir.file("VXS1.dat")));
  EXPECT_EQ(stop(), 0);
}

// A kill at any moment of a close leaves each state file whole: the old bytes or the new.
TEST_F(HeadlessTest, SigkillDuringCloseNeverLeavesAPartialFile) {
  std::mt19937 rng(11);
  std::string previous;
  for (int round = 0; round < 8; ++round) {
    start();
    const int mac = round + 1;
    char line[64];
    std::snprintf(line, sizeof line, "wMc000,%03d,%03d,%03d", mac, mac, mac);
    body(line);
    sim.signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    sim.signal(SIGKILL);
    sim.waitForExit();
    const std::string config = readFile(dir.file("VXS1.dat"));
    if (!previous.empty() || !config.empty()) {
      ASSERT_EQ(config.size(), 1024u) << round;
      ASSERT_TRUE(config[0] == mac || config == previous) << round;
    }
    previous = config;
    const std::string live = readFile(dir.file("VXS2.dat"));
    ASSERT_TRUE(live.empty() || live.size() == 10u) << round;
  }
}

}  // namespace
}  // namespace vexa
