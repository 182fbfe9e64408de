#include <gtest/gtest.h>
#include <sys/stat.h>

#include "reply_framing.h"
#include "sim_process.h"

namespace vexa {
namespace {

constexpr uint16_t kPort = 5010;

// The windowed program, offscreen, with its start-up events traced to stderr.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::udpPortsFree({kPort})); }
  static std::vector<std::string> environment() {
    return {"QT_QPA_PLATFORM=offscreen", "VEXA_SIM_TRACE=1"};
  }
  testing::TempDir dir;
  testing::SimProcess sim{dir};
  testing::UdpClient client;
};

TEST_F(WindowTest, AnswersAndSavesOnSigterm) {
  sim.start({}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  EXPECT_NE(sim.standardError().find("trace: caption:   Quorix - Simulador VEXA"),
            std::string::npos);
  const auto reply = client.request(kPort, "wMc000,001,002,003,004,005,006\n");
  ASSERT_TRUE(reply);
  EXPECT_EQ(decodeReply(*reply, 4)->body, "WMC,000,\r\n");
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  const std::string config = testing::readFile(dir.file("VXS1.dat"));
  ASSERT_EQ(config.size(), 1024u);
  EXPECT_EQ(config.substr(0, 6), std::string("\x01\x02\x03\x04\x05\x06", 6));
}

TEST_F(WindowTest, LowerCaseSwitchesGiveTheDetailAndLogCaption) {
  sim.start({"/l", "/d"}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  EXPECT_NE(sim.standardError().find("trace: caption:   [DL] - Quorix - Simulador VEXA"),
            std::string::npos);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(WindowTest, ASecondInstanceRaisesTheFirstAndExitsOne) {
  sim.start({}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  testing::TempDir otherDir;
  testing::SimProcess second(otherDir);
  second.start({"--state-dir", dir.path()}, environment());  // the same instance lock
  EXPECT_EQ(second.waitForExit(), 1);
  EXPECT_NE(second.standardError().find("vexa-sim: state directory " + dir.path() +
                                        " is taken by process " + std::to_string(sim.pid())),
            std::string::npos)
      << second.standardError();
  EXPECT_TRUE(sim.waitForError("trace: raise")) << sim.standardError();
  EXPECT_FALSE(testing::fileExists(otherDir.file("VXS1.dat")));
  EXPECT_EQ(second.standardError().find("trace: caption"), std::string::npos);  // no window
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(WindowTest, ADetailInstanceBesideTheFirstShowsThePortMessage) {
  sim.start({}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  testing::TempDir otherDir;
  testing::SimProcess second(otherDir);
  second.start({"/D", "--state-dir", dir.path()}, environment());
  EXPECT_TRUE(second.waitForError("trace: message: Modbus|Erro na abertura da porta 5010"))
      << second.standardError();
  EXPECT_EQ(second.waitForExit(300), std::nullopt);  // it runs on, without its endpoint
  second.signal(SIGKILL);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

// A state file that could not be read at start-up is left as it was by the close, which says
// so; on a signal it says so on stderr rather than wait for someone to close a message box.
TEST_F(WindowTest, AnUnreadableStateFileIsLeftAndTheCloseSaysSo) {
  ASSERT_EQ(::mkfifo(dir.file("VXS2.dat").c_str(), 0644), 0);
  sim.start({}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(30000), 0);
  EXPECT_TRUE(sim.waitForError("trace: close kept")) << sim.standardError();
  EXPECT_NE(sim.standardError().find("VXS2.dat\" could not be read at start-up"),
            std::string::npos);
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("VXS2.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(testing::readFile(dir.file("VXS1.dat")).size(), 1024u);
}

TEST_F(WindowTest, AFailedSaveKeepsTheWindowAndTheEndpoint) {
  sim.start({}, environment());
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  ::mkdir(dir.file("VXS1.dat").c_str(), 0755);  // the state file cannot be replaced
  testing::writeFile(dir.file("VXS1.dat/keep"), "x");
  sim.signal(SIGTERM);
  EXPECT_TRUE(sim.waitForError("trace: close failed")) << sim.standardError();
  EXPECT_EQ(sim.waitForExit(500), std::nullopt);
  EXPECT_TRUE(client.request(kPort, "rPr000\n"));  // still answering behind the message box
  sim.signal(SIGKILL);
}

}  // namespace
}  // namespace vexa
