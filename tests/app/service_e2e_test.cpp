// vexa-sim-headless as a service manager runs it: readiness on $NOTIFY_SOCKET only once the
// endpoint answers, STOPPING=1 and a saved state on SIGTERM, no readiness when the port cannot
// be bound; and vexa-probe --health as a container engine's health check.
#include <gtest/gtest.h>

#include "notify_socket.h"
#include "sim_process.h"

namespace vexa {
namespace {

using testing::runCommand;

constexpr uint16_t kPort = 5010;

std::string health(const std::string& arguments = "") {
  return std::string(VEXA_PROBE_PATH) + " --health --timeout 300 --port 5010 " + arguments;
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::udpPortsFree({kPort}));
    ASSERT_TRUE(notify.bound());
  }
  void start(std::vector<std::string> arguments = {}) {
    sim.start(arguments, {"NOTIFY_SOCKET=" + notify.path()});
  }

  testing::TempDir dir, stateDir;
  testing::SimProcess sim{dir, VEXA_SIM_HEADLESS_PATH};
  testing::NotifySocket notify{dir.file("notify")};
  testing::UdpClient client;
};

TEST_F(ServiceTest, ReadyOnceAnsweringThenStoppingAndSavedOnSigterm) {
  start({"--state-dir", stateDir.path(), "--port", "5010"});
  const auto ready = notify.receive(30000);
  ASSERT_TRUE(ready) << sim.standardError();
  EXPECT_EQ(*ready, "READY=1\nSTATUS=answering on 0.0.0.0:5010");
  // Ready means bound: the first request after it is answered, without a retry.
  const auto reply = client.request(kPort, "rPr000\n", 30000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(runCommand(health()).exitCode, 0);
  EXPECT_EQ(runCommand(health()).output, "");

  sim.signal(SIGTERM);
  EXPECT_EQ(notify.receive(30000), "STOPPING=1");
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(std::filesystem::file_size(stateDir.file("VXS1.dat")), 1024u);
  EXPECT_EQ(std::filesystem::file_size(stateDir.file("VXS2.dat")), 10u);
  EXPECT_EQ(notify.receive(200), std::nullopt);  // nothing after STOPPING
}

TEST_F(ServiceTest, NoReadinessWhenThePortIsTaken) {
  const testing::UdpPortHolder blocker(kPort);
  ASSERT_TRUE(blocker.held());
  start({"--state-dir", stateDir.path()});
  EXPECT_EQ(sim.waitForExit(), 1);
  EXPECT_EQ(notify.receive(200), std::nullopt);
}

// Every variant is healthy, whatever case its reply body is in.
TEST_F(ServiceTest, HealthPassesInEveryVariant) {
  for (const std::string variant : {"110", "130", "150"}) {
    testing::TempDir state;
    start({"--state-dir", state.path(), "--port", "5010", "--variant", variant});
    ASSERT_TRUE(notify.receive(30000)) << sim.standardError();
    const auto result = runCommand(health());
    EXPECT_EQ(result.exitCode, 0) << variant;
    EXPECT_EQ(result.output, "") << variant;
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(), 0);
    notify.receive(2000);  // STOPPING=1
  }
}

TEST_F(ServiceTest, HealthFailsQuietlyWhenNoUnitAnswers) {
  const auto result = runCommand(health());
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.output, "");
}

TEST_F(ServiceTest, HealthRefusesCommands) {
  for (const std::string extra : {"snd000", "--watch 1", "--replay x.log"}) {
    EXPECT_EQ(runCommand(health(extra)).exitCode, 2) << extra;
  }
}

TEST_F(ServiceTest, HeadlessProgramHasNoWindowCode) {
  start({"--gui"});
  EXPECT_EQ(sim.waitForExit(), 2);
  EXPECT_NE(sim.standardError().find("no window"), std::string::npos) << sim.standardError();
  const auto libraries = runCommand(std::string("ldd ") + VEXA_SIM_HEADLESS_PATH);
  ASSERT_EQ(libraries.exitCode, 0);
  EXPECT_EQ(libraries.output.find("libQt6Widgets"), std::string::npos) << libraries.output;
  EXPECT_EQ(libraries.output.find("libQt6Gui"), std::string::npos) << libraries.output;
}

}  // namespace
}  // namespace vexa
