// Signals during a flood, and kills at random moments, never crash the simulator or leave a
// state file that is not whole.
#include <gtest/gtest.h>

#include <random>

#include "sim_process.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

// Floods 127.0.0.1:5010 with mixed valid and malformed lines until stopped.
class Flood {
 public:
  Flood()
      : thread_([this] {
          testing::UdpClient client;
          const char* lines[] = {"snd000\n",
                                 "rPr000\n",
                                 "wMc000,001,002,003,004,005,006\n",
                                 "\xFF\x01garbage\n",
                                 "rst000001 0000000\n",
                                 "no line feed"};
          for (int i = 0; !stop_; ++i) {
            client.send(5010, lines[i % 6]);
            while (client.receive(0)) ++replies_;
          }
        }) {}
  ~Flood() {
    stop_ = true;
    thread_.join();
  }
  long replies() const { return replies_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> replies_{0};
  std::thread thread_;
};

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::udpPortsFree({5010})); }
  testing::TempDir dir;
};

TEST_F(RobustnessTest, SigtermDuringAFloodSavesAndExitsZero) {
  testing::SimProcess sim(dir);
  sim.start({"--headless"});
  ASSERT_TRUE(sim.waitUntilAnswering());
  Flood flood;
  // Mid-flood: once replies are coming (a hang bound of 30 s), and a little more.
  for (const auto end = std::chrono::steady_clock::now() + 30s;
       flood.replies() == 0 && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(200ms);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0) << sim.standardError();
  EXPECT_GT(flood.replies(), 0);
  EXPECT_EQ(testing::readFile(dir.file("VXS1.dat")).substr(0, 2), std::string("\x01\x02", 2));
}

TEST_F(RobustnessTest, TwoSigtermsCloseOnce) {
  testing::SimProcess sim(dir);
  sim.start({"--headless"});
  ASSERT_TRUE(sim.waitUntilAnswering());
  sim.signal(SIGTERM);
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(testing::readFile(dir.file("VXS1.dat")).size(), 1024u);
  EXPECT_EQ(sim.standardError(), "");
}

TEST_F(RobustnessTest, SigkillAtRandomMomentsOfAFloodThenARestart) {
  std::mt19937 rng(17);
  for (int round = 0; round < 6; ++round) {
    testing::SimProcess sim(dir);
    sim.start({"--headless"});
    ASSERT_TRUE(sim.waitUntilAnswering()) << round << sim.standardError();
    {
      Flood flood;
      std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 200));
      sim.signal(SIGTERM);
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 4000));
      sim.signal(SIGKILL);
      sim.waitForExit();
    }
    const std::string config = testing::readFile(dir.file("VXS1.dat"));
    const std::string live = testing::readFile(dir.file("VXS2.dat"));
    ASSERT_TRUE(config.empty() || config.size() == 1024u) << round;
    ASSERT_TRUE(live.empty() || live.size() == 10u) << round;
  }
}

// A real full file system: a small tmpfs filled to the last byte.
TEST_F(RobustnessTest, AFullFileSystemFailsTheSaveAndKeepsTheOldFiles) {
  const std::string mount = dir.file("full");
  ::mkdir(mount.c_str(), 0755);
  if (testing::runCommand("mount -t tmpfs -o size=64k tmpfs " + mount).exitCode != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs privileges); the injected failures cover it";
  }
  const std::string state = mount + "/";
  testing::writeFile(state + "VXS1.dat", std::string(1024, '\x01'));
  testing::writeFile(state + "VXS2.dat", std::string(10, '\x02'));
  testing::SimProcess sim(dir);
  sim.start({"--headless", "--state-dir", state}, {}, true);
  const bool answering = sim.waitUntilAnswering();
  testing::runCommand("dd if=/dev/zero of=" + state + "filler bs=1k count=100");
  sim.signal(SIGTERM);
  // The failed save is reported and the unit runs on; a forced quit then ends it.
  sim.waitForError("not saved");
  const bool keptRunning = !sim.waitForExit(300);
  sim.input("quit --force\n");
  const auto code = sim.waitForExit();
  const std::string error = sim.standardError();
  const std::string config = testing::readFile(state + "VXS1.dat");
  const std::string live = testing::readFile(state + "VXS2.dat");
  testing::runCommand("umount " + mount);
  ASSERT_TRUE(answering) << error;
  EXPECT_TRUE(keptRunning);
  EXPECT_EQ(code, 3);
  EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
  EXPECT_EQ(config, std::string(1024, '\x01'));
  EXPECT_EQ(live, std::string(10, '\x02'));
}

}  // namespace
}  // namespace vexa
