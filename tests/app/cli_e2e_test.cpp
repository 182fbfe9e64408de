// The command line, the display fallback, the caption in the title bar and the headless
// program's console and failures, end to end against the real programs.
#include <gtest/gtest.h>

#include <filesystem>

#include "reply_framing.h"
#include "sim_process.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using testing::readFile;
using testing::runCommand;
using testing::writeFile;

constexpr uint16_t kPort = 5010;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::udpPortsFree({kPort})); }
  // Every entry of the test directory except the copied program and its captured output.
  std::vector<std::string> writtenFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      if (name != "vexa-sim" && name != "stdout.txt" && name != "stderr.txt") names.push_back(name);
    }
    return names;
  }
  // A display number with no X server behind it.
  static std::string deadDisplay() {
    for (int n = 173; n < 400; ++n) {
      if (!testing::fileExists("/tmp/.X11-unix/X" + std::to_string(n))) {
        return ":" + std::to_string(n);
      }
    }
    return ":399";
  }

  testing::TempDir dir;
  testing::SimProcess sim{dir};
  testing::UdpClient client;
};

TEST_F(CliTest, StrayArgumentsExitTwoWithTheUsageBeforeAnythingIsWritten) {
  const std::vector<std::vector<std::string>> cases = {
      {"-h"},
      {"extra"},
      {"/X"},
      {"--headless", "--gui"},
      {"--headless", "--bind", "999.1.1.1", "--state-dir", dir.file("unit")},
      {"--headless", "--bind=nothost", "--state-dir", dir.file("unit")},
      {"--headless", "--drop", " 0.5"},
      {"--headless", "--corrupt=0x1p-2"},
      {"--headless", "--drop", "1e-400"}};
  for (const auto& args : cases) {
    sim.start(args);
    EXPECT_EQ(sim.waitForExit(), 2) << args.back();
    const std::string err = sim.standardError();
    EXPECT_NE(err.find("Usage: vexa-sim"), std::string::npos) << err;
    EXPECT_TRUE(writtenFiles().empty()) << args.back() << ": " << writtenFiles().front();
  }
  sim.start({"--bind", "999.1.1.1"});
  sim.waitForExit();
  EXPECT_NE(sim.standardError().find("999.1.1.1"), std::string::npos) << sim.standardError();
}

TEST_F(CliTest, BothProgramsTellTheirVersionAndTakeBothOptionForms) {
  for (const std::string program : {VEXA_SIM_PATH, VEXA_PROBE_PATH}) {
    const auto version = runCommand(program + " --version");
    EXPECT_EQ(version.exitCode, 0) << program;
    EXPECT_NE(version.output.find(VEXA_VERSION_TEXT), std::string::npos) << version.output;
  }
  sim.start({"--headless", "--port=" + std::to_string(kPort), "--variant=130"});
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  const auto reply = runCommand(std::string(VEXA_PROBE_PATH) +
                                " --port=5010 --variant=130 --timeout=30000 rPr000");
  EXPECT_EQ(reply.exitCode, 0) << reply.output;
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(CliTest, SwitchesInsideOptionValuesDoNotCount) {
  // "/lab" holds "/L", "/data" holds "/D": neither is a switch.
  const std::string lab = dir.file("lab");
  sim.start({"--headless", "--state-dir", lab});
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  ASSERT_TRUE(client.request(kPort, "snd000\n"));
  // A second unit on the same state directory is refused: no detail mode lifts the rule.
  testing::TempDir otherDir;
  testing::SimProcess second(otherDir);
  second.start({"--headless", "--port", "15402", "--state-dir=" + dir.file("lab/")},
               {"XDG_RUNTIME_DIR=" + dir.path()});
  EXPECT_EQ(second.waitForExit(), 1) << second.standardError();
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
    EXPECT_NE(e.path().extension(), ".log") << e.path();
  }
  EXPECT_TRUE(testing::fileExists(lab + "/VXS1.dat"));
}

TEST_F(CliTest, AnUnusableDisplayFallsBackToHeadlessOrExitsOneWithGui) {
  const std::string display = deadDisplay();
  const std::vector<std::string> env = {"DISPLAY=" + display,
                                        "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY="};
  sim.start({}, env);
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  EXPECT_NE(sim.standardError().find("cannot open the display " + display + "; running headless"),
            std::string::npos)
      << sim.standardError();
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);

  sim.start({"--gui"}, env);
  EXPECT_EQ(sim.waitForExit(), 1);
  EXPECT_NE(sim.standardError().find("cannot open the display " + display), std::string::npos)
      << sim.standardError();
}

TEST_F(CliTest, TheTitleBarShowsTheCaptionExactly) {
  if (runCommand("command -v xvfb-run && command -v xprop && command -v xwininfo").exitCode != 0) {
    GTEST_SKIP() << "xvfb-run, xprop or xwininfo is not installed";
  }
  // Under Xvfb: start the window, find it by its caption, read _NET_WM_NAME from the server.
  const std::string script = dir.file("caption.sh");
  writeFile(script,
            "unset QT_QPA_PLATFORM WAYLAND_DISPLAY\n"
            "\"$1\" /d /L --gui --state-dir \"$2\" >/dev/null 2>&1 &\n"
            "pid=$!\n"
            "for i in $(seq 300); do\n"
            "  id=$(xwininfo -root -tree | grep 'Simulador VEXA' | awk '{print $1}' | head -n1)\n"
            "  [ -n \"$id\" ] && break\n"
            "  sleep 0.1\n"
            "done\n"
            "[ -n \"$id\" ] && xprop -id \"$id\" _NET_WM_NAME WM_NAME\n"
            "kill -TERM $pid; wait $pid\n");
  testing::CommandResult result{};
  // xvfb-run -a can lose a race for a display number with another Xvfb starting: try again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    result = runCommand("xvfb-run -a -s \"-screen 0 1024x768x24\" sh " + script + " " +
                        dir.file("vexa-sim") + " " + dir.file("state"));
    if (result.output.find("_NET_WM_NAME") != std::string::npos) break;
  }
  EXPECT_NE(
      result.output.find("_NET_WM_NAME(UTF8_STRING) = \"  [DL] - Quorix - Simulador VEXA\"\n"),
      std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("WM_NAME(STRING) = \"  [DL] - Quorix - Simulador VEXA\"\n"),
            std::string::npos)
      << result.output;
}

TEST_F(CliTest, AFailedSaveKeepsTheHeadlessUnitRunningUntilItSavesOrIsForced) {
  sim.start({"--headless"}, {}, true);
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  ::mkdir(dir.file("VXS1.dat").c_str(), 0755);  // the state file cannot be replaced
  writeFile(dir.file("VXS1.dat/keep"), "x");
  sim.signal(SIGTERM);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(sim.waitForExit(200), std::nullopt);  // still running
  EXPECT_NE(sim.standardError().find("the state was not saved: "), std::string::npos)
      << sim.standardError();
  EXPECT_TRUE(client.request(kPort, "rPr000\n"));  // and answering
  sim.input("input 0 on\nquit\n");
  ASSERT_TRUE(sim.waitForOutput("error: the state was not saved")) << sim.standardOutput();
  EXPECT_EQ(sim.waitForExit(200), std::nullopt);
  // The obstacle goes: the next quit saves, with what changed in the meantime.
  std::filesystem::remove_all(dir.file("VXS1.dat"));
  sim.input("quit\n");
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(readFile(dir.file("VXS2.dat"))[0], 5);
  EXPECT_EQ(readFile(dir.file("VXS1.dat")).size(), 1024u);
}

TEST_F(CliTest, QuitForceEndsWithoutSavingAndSaysSo) {
  sim.start({"--headless"}, {}, true);
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  sim.input("input 0 on\nquit --force\n");
  EXPECT_EQ(sim.waitForExit(), 3);
  EXPECT_NE(sim.standardOutput().find("ok quit --force: ended without saving the state\n"),
            std::string::npos)
      << sim.standardOutput();
  EXPECT_NE(sim.standardError().find("without saving"), std::string::npos);
  EXPECT_FALSE(testing::fileExists(dir.file("VXS1.dat")));
  EXPECT_FALSE(testing::fileExists(dir.file("VXS2.dat")));
}

TEST_F(CliTest, TheConsoleReadsARegularFileThenRunsOn) {
  const std::string script = dir.file("script.txt");
  writeFile(script, "input 0 on\nlevel temp 80\n\nbogus\nstatus --json\nvariant 130");
  sim.setInputFile(script);
  sim.start({"--headless"});
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  ASSERT_TRUE(sim.waitForOutput("ok variant 130\n")) << sim.standardOutput();
  const std::string out = sim.standardOutput();
  // One line per command, in order; the blank line answers nothing.
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 5) << out;
  EXPECT_EQ(out.rfind("ok input 0 on\nok level temp 67 (clamped from 80)\nerror: ", 0), 0u) << out;
  EXPECT_NE(out.find("{\"endpoint\":true,"), std::string::npos) << out;
  // It runs on after the end of the file.
  std::this_thread::sleep_for(200ms);
  const auto reply = client.request(kPort, "snd000\n");
  ASSERT_TRUE(reply);
  EXPECT_TRUE(decodeReply(*reply, 3));
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(CliTest, NothingRunsAfterASuccessfulQuit) {
  const std::string script = dir.file("script.txt");
  writeFile(script, "input 3 on\nquit\ninput 0 on\nquit --force\n");
  sim.setInputFile(script);
  sim.start({"--headless"});
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(sim.standardOutput(), "ok input 3 on\nok quit\n");
  EXPECT_EQ(readFile(dir.file("VXS2.dat"))[0], 4 | 8);  // input 0 never came on
}

}  // namespace
}  // namespace vexa
