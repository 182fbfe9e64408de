// The reliability suite: each attack a hostile rig could make, run against the real program.
// After each one the unit still answers, its saved files are whole and as expected, its resident
// memory and open descriptors did not grow, and a stop takes under a second. Every unit listens
// on a port of its own on 127.0.0.1, so these tests may run beside the others.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "nonregular_files.h"
#include "reply_framing.h"
#include "sim_process.h"
#include "traffic_log.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A UDP port that is free now on 127.0.0.1.
uint16_t freePort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

struct Footprint {
  long residentKb;
  long descriptors;
};

class ReliabilityTest : public ::testing::Test {
 protected:
  // Starts a unit in `state` (the test's directory unless given) on a port of its own.
  void start(std::vector<std::string> arguments, const std::string& state = "",
             const std::vector<std::string>& environment = {}, bool pipeInput = true,
             const std::function<void(testing::SimProcess&)>& prepare = {}) {
    port = freePort();
    sim = std::make_unique<testing::SimProcess>(dir);
    if (prepare) prepare(*sim);
    for (const std::string& a :
         {std::string("--headless"), std::string("--bind"), std::string("127.0.0.1"),
          std::string("--port"), std::to_string(port), std::string("--state-dir"),
          state.empty() ? dir.path() : state}) {
      arguments.push_back(a);
    }
    // Under AddressSanitizer freed blocks would count as resident: keep its quarantine small.
    std::vector<std::string> env = {"ASAN_OPTIONS=quarantine_size_mb=1:detect_leaks=1"};
    env.insert(env.end(), environment.begin(), environment.end());
    sim->start(arguments, env, pipeInput);
  }

  // One rPr000 gets one reply that decodes.
  bool answers() {
    testing::UdpClient client;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const auto reply = client.request(port, "rPr000\n", 10000);
      if (reply && decodeReply(*reply, 4)) return true;
    }
    return false;
  }

  Footprint footprint() const { return {sim->residentKb(), sim->openDescriptors()}; }

  // Memory may move by allocator noise, not by what an attack piles up.
  static void expectNoGrowth(const Footprint& before, const Footprint& after,
                             long slackKb = 16 * 1024) {
    EXPECT_GT(before.residentKb, 0);
    EXPECT_LE(after.residentKb - before.residentKb, slackKb)
        << before.residentKb << " KiB before, " << after.residentKb << " KiB after";
    EXPECT_EQ(after.descriptors, before.descriptors);
  }

  // SIGTERM: the orderly close ends the process with 0. The bound only catches a hang; how
  // fast a stop is belongs to the benchmarks.
  void expectOrderlyStop() {
    sim->signal(SIGTERM);
    EXPECT_EQ(sim->waitForExit(30000), 0) << sim->standardError();
  }

  void expectWholeFiles(const std::string& state = "") const {
    const std::string d = state.empty() ? dir.path() : state;
    EXPECT_EQ(testing::readFile(d + "VXS1.dat").size(), 1024u);
    EXPECT_EQ(testing::readFile(d + "VXS2.dat").size(), 10u);
    EXPECT_FALSE(testing::fileExists(d + "VXS1.dat.tmp"));
  }

  testing::TempDir dir;
  uint16_t port = 0;
  std::unique_ptr<testing::SimProcess> sim;
};

// A write that changes the configuration, so a lost close shows.
const char* const kWriteMac = "wMc000,001,002,003,004,005,006\n";

TEST_F(ReliabilityTest, AStdoutPipeWithoutAReaderNeitherKillsNorLosesTheRun) {
  start({}, "", {}, true, [](testing::SimProcess& s) { s.brokenPipeOn = 1; });
  ASSERT_TRUE(sim->waitUntilAnswering(port)) << sim->standardError();
  const Footprint before = footprint();
  testing::UdpClient client;
  ASSERT_TRUE(client.request(port, kWriteMac));
  sim->input("help\nstatus\nbogus\n");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(answers());
  expectNoGrowth(before, footprint());
  sim->input("quit\n");
  EXPECT_EQ(sim->waitForExit(30000), 0);
  const std::string config = testing::readFile(dir.file("VXS1.dat"));
  ASSERT_EQ(config.size(), 1024u);
  EXPECT_EQ(config.substr(0, 6), std::string("\x01\x02\x03\x04\x05\x06", 6));
}

TEST_F(ReliabilityTest, AStderrPipeWithoutAReaderDoesNotKillTheStart) {
  // No display at all: the program says so on stderr and runs headless.
  port = freePort();
  sim = std::make_unique<testing::SimProcess>(dir);
  sim->brokenPipeOn = 2;
  sim->start({"--bind", "127.0.0.1", "--port", std::to_string(port), "--state-dir", dir.path()},
             {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
  ASSERT_TRUE(sim->waitUntilAnswering(port));
  const Footprint before = footprint();
  testing::UdpClient client;
  ASSERT_TRUE(client.request(port, kWriteMac));
  expectNoGrowth(before, footprint());
  expectOrderlyStop();
  EXPECT_EQ(testing::readFile(dir.file("VXS1.dat")).substr(0, 6),
            std::string("\x01\x02\x03\x04\x05\x06", 6));
}

// Closed standard descriptors are not handed to files: console output must not land in one.
TEST_F(ReliabilityTest, ClosedStandardDescriptorsTakeNoFile) {
  for (const int fd : {1, 2}) {
    testing::TempDir state;
    start({}, state.path(), {}, true, [fd](testing::SimProcess& s) { s.closedFd = fd; });
    ASSERT_TRUE(sim->waitUntilAnswering(port)) << fd;
    sim->input("help\nstatus\nbogus command\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(answers());
    expectOrderlyStop();
    expectWholeFiles(state.path());
    for (const std::string& d : {dir.path(), state.path()}) {
      for (const auto& entry : std::filesystem::directory_iterator(d)) {
        const std::string name = entry.path().filename();
        if (name == "vexa-sim" || name == "stdout.txt" || name == "stderr.txt") continue;
        const std::string text = testing::readFile(entry.path());
        EXPECT_EQ(text.find("commands:"), std::string::npos) << entry.path();
        EXPECT_EQ(text.find("error:"), std::string::npos) << entry.path();
      }
    }
  }
}

// Every kind of special file in the place of the settings file, each state file and this week's
// log: the unit starts, answers and stops at once, and a state file it could not read is left.
TEST_F(ReliabilityTest, SpecialFilesInEveryFilesPlace) {
  const std::string logName = "Log/" + TrafficLog::LogFileName(TrafficLog::localNow());
  for (const std::string place : {"VX.ini", "VXS1.dat", "VXS2.dat", logName.c_str()}) {
    for (const std::string kind : {"fifo", "directory", "socket", "zero", "null", "dangling"}) {
      SCOPED_TRACE(kind + " as " + place);
      testing::TempDir state;
      ::mkdir(state.file("Log").c_str(), 0755);
      testing::makeSpecial(kind, state.file(place));
      start({"/L"}, state.path(), {}, false);
      ASSERT_TRUE(sim->waitUntilAnswering(port, 30000)) << sim->standardError();
      const Footprint before = footprint();
      for (int i = 0; i < 20; ++i) ASSERT_TRUE(answers());
      expectNoGrowth(before, footprint());
      expectOrderlyStop();
      struct stat st {};
      ASSERT_EQ(::lstat(state.file(place).c_str(), &st), 0);
      const bool stateFile = place == "VXS1.dat" || place == "VXS2.dat";
      if (stateFile && kind == "dangling") {
        // A link to nothing is no file: the close writes one in its place.
        EXPECT_TRUE(S_ISREG(st.st_mode));
      } else {
        EXPECT_FALSE(S_ISREG(st.st_mode));
      }
      if (stateFile && kind != "dangling") {
        EXPECT_NE(sim->standardError().find("left as it was"), std::string::npos);
        const std::string other = place == "VXS1.dat" ? "VXS2.dat" : "VXS1.dat";
        EXPECT_EQ(testing::readFile(state.file(other)).size(), other == "VXS1.dat" ? 1024u : 10u);
      } else {
        expectWholeFiles(state.path());
      }
    }
  }
}

// A FIFO with this week's log name used to block the listener in open(): no reply again, and a
// stop that waited for ever.
TEST_F(ReliabilityTest, AFifoAsTheLogStopsNoTraffic) {
  ::mkdir(dir.file("Log").c_str(), 0755);
  const std::string log = dir.file("Log/" + TrafficLog::LogFileName(TrafficLog::localNow()));
  ASSERT_TRUE(testing::makeFifo(log));
  start({"/L"});
  ASSERT_TRUE(sim->waitUntilAnswering(port, 30000));
  const Footprint before = footprint();
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(answers()) << i;
  expectNoGrowth(before, footprint());
  expectOrderlyStop();
  expectWholeFiles();
}

TEST_F(ReliabilityTest, AHugeSettingsFileIsReadOnlyInPart) {
  // The footprint of a unit with an ordinary settings file, for comparison.
  testing::TempDir plain;
  testing::writeFile(plain.file("VX.ini"), "[Geral]\nCiclo=3\n");
  start({}, plain.path());
  ASSERT_TRUE(sim->waitUntilAnswering(port, 30000));
  const long ordinaryPeak = sim->peakResidentKb();
  expectOrderlyStop();

  testing::writeFile(dir.file("VX.ini"), "[Geral]\nCiclo=3\n");
  std::filesystem::resize_file(dir.file("VX.ini"), 300u << 20);  // sparse: 300 MiB of zeros
  start({});
  ASSERT_TRUE(sim->waitUntilAnswering(port, 30000));
  // The peak, since a whole read would be freed again by now.
  EXPECT_LE(sim->peakResidentKb() - ordinaryPeak, 32 * 1024) << "the settings file was read whole";
  EXPECT_TRUE(answers());
  expectOrderlyStop();
  expectWholeFiles();
}

// Lengths of both state files around their record sizes and far beyond: each is read, and the
// close writes it back whole with the bytes it held.
TEST_F(ReliabilityTest, StateFilesOfEveryLengthOnASample) {
  const size_t configLengths[] = {0, 1, 27, 28, 1023, 1024, 1025, 2000};
  const size_t liveLengths[] = {0, 1, 9, 10, 11, 2000, 10, 0};
  for (size_t i = 0; i < std::size(configLengths); ++i) {
    SCOPED_TRACE(std::to_string(configLengths[i]) + " and " + std::to_string(liveLengths[i]));
    testing::TempDir state;
    std::string config(configLengths[i], '\0'), live(liveLengths[i], '\0');
    for (size_t b = 0; b < config.size(); ++b) config[b] = static_cast<char>(0x30 + b % 7);
    for (size_t b = 0; b < live.size(); ++b) live[b] = static_cast<char>(0x01 + b % 3);
    testing::writeFile(state.file("VXS1.dat"), config);
    testing::writeFile(state.file("VXS2.dat"), live);
    start({}, state.path(), {}, false);
    ASSERT_TRUE(sim->waitUntilAnswering(port));
    expectOrderlyStop();
    expectWholeFiles(state.path());
    const std::string saved = testing::readFile(state.file("VXS1.dat"));
    EXPECT_EQ(saved.substr(0, std::min<size_t>(config.size(), 1024)),
              config.substr(0, std::min<size_t>(config.size(), 1024)));
  }
}

// Under a ten-minute delay a flood used to queue every reply: hundreds of MiB within seconds.
TEST_F(ReliabilityTest, AFloodUnderALongDelayKeepsMemoryBounded) {
  start({});
  ASSERT_TRUE(sim->waitUntilAnswering(port));
  sim->input("fault delay 600000\n");
  std::this_thread::sleep_for(100ms);
  const Footprint before = footprint();
  std::string datagram;
  while (datagram.size() + 7 <= 8190) datagram += "snd000\n";
  testing::UdpClient client;
  client.setTarget("127.0.0.1", port);
  for (const auto end = Clock::now() + 1500ms; Clock::now() < end;) client.send(datagram);
  std::this_thread::sleep_for(200ms);
  sim->input("status\n");
  ASSERT_TRUE(sim->waitForOutput("delay_overflow="));
  const std::string status = sim->standardOutput();
  const size_t at = status.find("delay_overflow=") + std::strlen("delay_overflow=");
  EXPECT_GT(std::stoull(status.substr(at)), 0u) << status;
  expectNoGrowth(before, footprint(), 32 * 1024);
  sim->input("fault off\n");
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(answers());
  expectOrderlyStop();
  expectWholeFiles();
}

// A console line with no line feed used to be rescanned whole on every read (quadratic) and
// kept whole in memory.
TEST_F(ReliabilityTest, AnEndlessConsoleLineIsDroppedWithOneError) {
  start({});
  ASSERT_TRUE(sim->waitUntilAnswering(port));
  const Footprint before = footprint();
  const std::string chunk(1 << 20, 'x');
  for (int i = 0; i < 32; ++i) sim->input(chunk);
  sim->input("\nstatus\n");
  ASSERT_TRUE(sim->waitForOutput("endpoint=on", 30000)) << sim->standardOutput().size();
  const std::string out = sim->standardOutput();
  EXPECT_EQ(out.rfind("error: line too long\n", 0), 0u) << out.substr(0, 200);
  EXPECT_EQ(out.find("error: line too long", 1), std::string::npos);
  EXPECT_TRUE(answers());
  expectNoGrowth(before, footprint());
  expectOrderlyStop();
  expectWholeFiles();
}

// A state file that exists but cannot be read (mode 000, the unit run as an ordinary user) is
// not replaced at close: the close says so and leaves it as it was.
TEST_F(ReliabilityTest, AnUnreadableStateFileIsNotReplaced) {
  const std::string old(1024, '\x42');
  testing::writeFile(dir.file("VXS1.dat"), old);
  ::chmod(dir.file("VXS1.dat").c_str(), 0);
  const bool root = ::geteuid() == 0;
  if (root) ::chmod(dir.path().c_str(), 0777);  // the unit runs as nobody
  start({}, "", {}, true, [root, this](testing::SimProcess& s) {
    if (!root) return;
    s.runAsUid = 65534;
    ::chmod(dir.file("vexa-sim").c_str(), 0755);
  });
  ASSERT_TRUE(sim->waitUntilAnswering(port)) << sim->standardError();
  testing::UdpClient client;
  ASSERT_TRUE(client.request(port, kWriteMac));
  expectOrderlyStop();
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("VXS1.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0u);
  ::chmod(dir.file("VXS1.dat").c_str(), 0644);
  EXPECT_EQ(testing::readFile(dir.file("VXS1.dat")), old);
  EXPECT_EQ(testing::readFile(dir.file("VXS2.dat")).size(), 10u);
  EXPECT_NE(sim->standardError().find("VXS1.dat\" could not be read at start-up"),
            std::string::npos)
      << sim->standardError();
}

// The lock is in the state directory: a second unit is told who holds it, and nothing is left
// in the runtime or temporary directory.
TEST_F(ReliabilityTest, ATakenStateDirectoryNamesItsHolderAndLeavesNothingElsewhere) {
  testing::TempDir runtime, temporary;
  const std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + runtime.path(),
                                                "TMPDIR=" + temporary.path()};
  start({}, "", environment);
  ASSERT_TRUE(sim->waitUntilAnswering(port));
  const pid_t first = sim->pid();
  testing::TempDir other;
  testing::SimProcess second(other);
  second.start({"--headless", "--bind", "127.0.0.1", "--port", std::to_string(freePort()),
                "--state-dir", dir.path()},
               environment);
  EXPECT_EQ(second.waitForExit(30000), 1);
  EXPECT_EQ(second.standardError(), "vexa-sim: state directory " + dir.path() +
                                        " is taken by process " + std::to_string(first) + "\n");
  EXPECT_TRUE(answers());
  expectOrderlyStop();
  EXPECT_TRUE(std::filesystem::is_empty(runtime.path()));
  EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
  EXPECT_TRUE(testing::fileExists(dir.file("vexa-sim.lock")));
}

// 8,190 bytes of rPr000 lines draw 1,170 replies from the device; with the limit, one.
TEST_F(ReliabilityTest, TheReplyLimitStopsAmplification) {
  start({"--max-replies-per-datagram", "1"});
  ASSERT_TRUE(sim->waitUntilAnswering(port));
  std::string datagram;
  while (datagram.size() + 7 <= 8190) datagram += "rPr000\n";
  testing::UdpClient client;
  client.setTarget("127.0.0.1", port);
  client.send(datagram);
  EXPECT_TRUE(client.receive(30000));
  EXPECT_FALSE(client.receive(300));
  sim->input("status\n");
  ASSERT_TRUE(sim->waitForOutput("unanswered="));
  EXPECT_NE(sim->standardOutput().find(" unanswered=1169 "), std::string::npos)
      << sim->standardOutput();
  expectOrderlyStop();
  expectWholeFiles();
}

// A read-only state directory (a tmpfs mounted read-only, so that root cannot write it either):
// the unit starts and answers, the save fails with the platform's text, the old files stay.
TEST_F(ReliabilityTest, AReadOnlyStateDirectoryKeepsTheOldFiles) {
  const std::string mount = dir.file("ro");
  ::mkdir(mount.c_str(), 0755);
  if (testing::runCommand("mount -t tmpfs -o size=64k tmpfs " + mount).exitCode != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs privileges)";
  }
  const std::string state = mount + "/";
  testing::writeFile(state + "VXS1.dat", std::string(1024, '\x07'));
  testing::writeFile(state + "VXS2.dat", std::string(10, '\x08'));
  const bool readOnly = testing::runCommand("mount -o remount,ro " + mount).exitCode == 0;
  start({}, state, {}, false);
  const bool answering = sim->waitUntilAnswering(port);
  const bool answered = answering && answers();
  const Footprint before = footprint();
  sim->signal(SIGTERM);
  sim->waitForError("Read-only file system");
  const std::string error = sim->standardError();
  const std::string config = testing::readFile(state + "VXS1.dat");
  const std::string live = testing::readFile(state + "VXS2.dat");
  sim->signal(SIGKILL);
  sim->waitForExit(2000);
  testing::runCommand("umount " + mount);
  ASSERT_TRUE(readOnly);
  EXPECT_TRUE(answered) << error;
  EXPECT_NE(error.find("Read-only file system"), std::string::npos) << error;
  EXPECT_EQ(config, std::string(1024, '\x07'));
  EXPECT_EQ(live, std::string(10, '\x08'));
  EXPECT_GT(before.descriptors, 0);
}

TEST_F(ReliabilityTest, SignalsDuringAFloodCloseInOrder) {
  for (const int number : {SIGHUP, SIGINT, SIGTERM}) {
    testing::TempDir state;
    start({}, state.path(), {}, false);
    ASSERT_TRUE(sim->waitUntilAnswering(port));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
      testing::UdpClient client;
      client.setTarget("127.0.0.1", port);
      while (!stop) client.send("snd000\nrPr000\nwMc000,001\n");
    });
    std::this_thread::sleep_for(300ms);
    sim->signal(number);
    const auto code = sim->waitForExit(30000);
    stop = true;
    flood.join();
    EXPECT_EQ(code, 0) << number;
    expectWholeFiles(state.path());
    EXPECT_EQ(testing::readFile(state.file("VXS1.dat"))[0], '\x01') << number;
  }
}

}  // namespace
}  // namespace vexa
