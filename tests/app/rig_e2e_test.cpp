// The test-rig features end to end: the options, two units side by side, the console through a
// pipe, the probe in all three variants, replaying a recorded log, and the fault options.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim_process.h"

namespace vexa {
namespace {

using namespace std::chrono;
using testing::runCommand;

// Asks `done` every 100 ms until it holds; false after 30 s (a hang).
template <typename F>
bool within30s(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

std::string probe(const std::string& arguments) {
  return std::string(VEXA_PROBE_PATH) + " " + arguments;
}

class RigTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::udpPortsFree({5010, 5011})); }
  void startHeadless(testing::SimProcess& process, std::vector<std::string> args, bool pipe = false,
                     uint16_t port = 5010) {
    args.insert(args.begin(), "--headless");
    process.start(args, {}, pipe);
    ASSERT_TRUE(process.waitUntilAnswering(port)) << process.standardError();
  }
  testing::TempDir dir;
  testing::SimProcess sim{dir};
};

TEST_F(RigTest, BadOptionsExitTwoAndWriteNothing) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                               {"--port", "0"},
                                               {"--variant", "9"},
                                               {"--drop", "2"},
                                               {"--headless", "--delay", "x"}}) {
    testing::SimProcess bad(dir);
    bad.start(args);
    EXPECT_EQ(bad.waitForExit(), 2) << args[0];
    const std::string error = bad.standardError();
    EXPECT_EQ(error.rfind("vexa-sim: ", 0), 0u) << error;  // one line of error, then the usage
    EXPECT_NE(error.find("\nUsage: vexa-sim"), std::string::npos) << error;
  }
  EXPECT_FALSE(testing::fileExists(dir.file("VXS1.dat")));
  sim.start({"--help"});
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(sim.standardOutput().rfind("Usage: vexa-sim", 0), 0u);
  testing::SimProcess version(dir);
  version.start({"--version"});
  EXPECT_EQ(version.waitForExit(), 0);
  EXPECT_EQ(version.standardOutput().rfind("vexa-sim ", 0), 0u);
}

TEST_F(RigTest, TwoUnitsWithTheirOwnStateDirectoriesRunSideBySide) {
  testing::TempDir one, two;
  startHeadless(sim, {"--port", "5010", "--state-dir", one.path()});
  testing::SimProcess other(dir);
  startHeadless(other, {"--port", "5011", "--state-dir", two.path()}, false, 5011);
  EXPECT_EQ(runCommand(probe("--port 5010 wMc000,001")).exitCode, 0);
  EXPECT_EQ(runCommand(probe("--port 5011 wMc000,002")).exitCode, 0);
  // A third process on the same directory as the first is refused: no two share state files.
  testing::SimProcess third(dir);
  third.start({"--headless", "--port", "5012", "--state-dir", one.path()});
  EXPECT_EQ(third.waitForExit(), 1);
  sim.signal(SIGTERM);
  other.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(other.waitForExit(), 0);
  EXPECT_EQ(testing::readFile(one.file("VXS1.dat"))[0], 1);
  EXPECT_EQ(testing::readFile(two.file("VXS1.dat"))[0], 2);
  EXPECT_FALSE(testing::fileExists(dir.file("VXS1.dat")));
}

TEST_F(RigTest, TheProbeDecodesEveryVariantAndTheVariantOptionSelectsIt) {
  for (const char* variant : {"110", "130", "150"}) {
    testing::SimProcess unit(dir);
    startHeadless(unit, {"--variant", variant});
    const auto json = runCommand(probe("--json snd000"));
    EXPECT_EQ(json.exitCode, 0) << json.output;
    EXPECT_NE(json.output.find(std::string("\"variant\":\"") + variant + "\""), std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find("\"temp\":\"20\""), std::string::npos) << json.output;
    const auto exact = runCommand(probe(std::string("--variant ") + variant + " rPr000 wMc000"));
    EXPECT_EQ(exact.exitCode, 0) << exact.output;
    EXPECT_NE(exact.output.find("1.30,"), std::string::npos);
    const char* other = std::string(variant) == "110" ? "150" : "110";
    EXPECT_EQ(runCommand(probe(std::string("--variant ") + other + " rPr000")).exitCode, 4);
    const auto raw = runCommand(probe("--raw wMc000"));
    EXPECT_EQ(raw.output.size() % 3, 0u);  // "XX XX ... XX\n"
    unit.signal(SIGTERM);
    EXPECT_EQ(unit.waitForExit(), 0);
  }
  EXPECT_EQ(runCommand(probe("--timeout 200 snd000")).exitCode, 3);
}

TEST_F(RigTest, TheConsoleDrivesTheSimulatorThroughAPipe) {
  startHeadless(sim, {}, true);
  sim.input("input 0 on\nlevel bat 300\nvariant 130\nbattery 1\nbogus\nstatus\n");
  ASSERT_TRUE(sim.waitForOutput("error: unknown or malformed command \"bogus\""));
  ASSERT_TRUE(sim.waitForOutput("endpoint=on variant=130 inputs=00000101 bat=300"))
      << sim.standardOutput();
  EXPECT_NE(runCommand(probe("--variant 130 rPr000")).output.find("RPR,000,"), std::string::npos);
  sim.input("endpoint off\n");
  ASSERT_TRUE(sim.waitForOutput("", 100));
  // Until the console has switched it off (bounded only against a hang): no answer.
  EXPECT_TRUE(within30s([&] { return runCommand(probe("--timeout 300 snd000")).exitCode == 3; }));
  sim.input("endpoint on\nauto on\nstatus --json\n");
  ASSERT_TRUE(sim.waitForOutput("\"auto\":true"));
  EXPECT_EQ(runCommand(probe("snd000")).exitCode, 0);
  sim.closeInput();  // the end of input does not stop the simulator
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(runCommand(probe("snd000")).exitCode, 0);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(testing::readFile(dir.file("VXS2.dat"))[0], 5);  // input 0 saved
}

TEST_F(RigTest, QuitIsTheOrderlyClose) {
  startHeadless(sim, {}, true);
  sim.input("input 3 on\nquit\n");
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(testing::readFile(dir.file("VXS2.dat"))[0], 4 | 8);
}

TEST_F(RigTest, AReplayOfARecordedLogMatchesAndAnAlteredOneDoesNot) {
  ::mkdir(dir.file("Log").c_str(), 0755);
  startHeadless(sim, {"/L"});
  for (const char* command :
       {"snd000", "rPr000", "wMc000,001,002,003,004,005,006", "rPr000",
        "wPr000,010,000,000,001,255,000,000,000,010,000,000,254", "wSc000,750,003,004"}) {
    ASSERT_EQ(runCommand(probe(command)).exitCode, 0);
  }
  const std::string token = runCommand(probe("snd000")).output.substr(18, 7);
  ASSERT_EQ(runCommand(probe("\"rst000003 " + token + "\"")).output, "RST,000,ACK, \n");
  runCommand(probe("rPr000"));
  sim.signal(SIGTERM);
  ASSERT_EQ(sim.waitForExit(), 0);
  std::string log;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("Log"))) log = entry.path();

  auto replayOnAFreshUnit = [&](const std::string& logFile) {
    testing::TempDir fresh;
    testing::SimProcess unit(fresh);
    unit.start({"--headless"});
    EXPECT_TRUE(unit.waitUntilAnswering());
    const auto result = runCommand(probe("--replay " + logFile));
    unit.signal(SIGTERM);
    unit.waitForExit();
    return result;
  };
  const auto same = replayOnAFreshUnit(log);
  EXPECT_EQ(same.exitCode, 0) << same.output;
  EXPECT_NE(same.output.find(" 0 differ"), std::string::npos) << same.output;

  std::string text = testing::readFile(log);
  const size_t at = text.find("01:02:03:04:05:06");
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, 2, "09");
  testing::writeFile(dir.file("altered.log"), text);
  const auto altered = replayOnAFreshUnit(dir.file("altered.log"));
  EXPECT_EQ(altered.exitCode, 1) << altered.output;
  EXPECT_NE(altered.output.find("differs: \"rPr000\""), std::string::npos) << altered.output;
  EXPECT_NE(altered.output.find(" 1 differ"), std::string::npos) << altered.output;
}

TEST_F(RigTest, FaultOptionsWithAFixedSeed) {
  // The rPr reply is the same on every fresh unit before the first snd (token 0).
  startHeadless(sim, {});
  const std::string clean = runCommand(probe("--raw rPr000")).output;
  sim.signal(SIGTERM);
  ASSERT_EQ(sim.waitForExit(), 0);

  testing::SimProcess corrupt(dir);
  startHeadless(corrupt, {"--corrupt", "1", "--seed", "5"}, true);
  const std::string flipped = runCommand(probe("--raw --variant 150 rPr000")).output;
  ASSERT_EQ(flipped.size(), clean.size()) << flipped;
  int differing = 0;
  for (size_t i = 0; i + 1 < clean.size(); i += 3)
    differing += clean.compare(i, 2, flipped, i, 2) != 0;
  EXPECT_EQ(differing, 1);
  corrupt.input("fault off\n");
  EXPECT_TRUE(within30s([&] { return runCommand(probe("--raw rPr000")).output == clean; }));
  corrupt.input("status\n");
  EXPECT_TRUE(corrupt.waitForOutput("corrupted="));
  corrupt.signal(SIGTERM);
  corrupt.waitForExit();

  testing::SimProcess drop(dir);
  drop.start({"--headless", "--drop", "1.0", "--seed", "1"}, {}, true);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(runCommand(probe("--timeout 300 snd000 rPr000")).exitCode, 3);
  drop.input("status\n");
  EXPECT_TRUE(drop.waitForOutput("dropped=")) << drop.standardOutput();
  EXPECT_EQ(drop.standardOutput().find("dropped=0 "), std::string::npos) << drop.standardOutput();
  drop.signal(SIGTERM);
  drop.waitForExit();

  testing::SimProcess delay(dir);
  startHeadless(delay, {"--delay", "300", "--seed", "1"});
  const auto start = steady_clock::now();
  EXPECT_EQ(runCommand(probe("--timeout 2000 snd000")).exitCode, 0);
  EXPECT_GE(steady_clock::now() - start, 300ms);
  delay.signal(SIGTERM);
  delay.waitForExit();
}

}  // namespace
}  // namespace vexa
