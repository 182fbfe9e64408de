// The probe's rules, and the probe itself against a scripted fake unit on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/stat.h>

#include <thread>

#include "log_replay.h"
#include "probe_rules.h"
#include "sim_process.h"

namespace vexa {
namespace {

using testing::runCommand;

std::string framed(const std::string& body, int variant = kVariant150) {
  return FrameReply(body, variant, 1234).bytes;
}

TEST(ProbeRules, JudgesRepliesByVariantEndingAndStart) {
  DecodedReply d;
  EXPECT_EQ(judgeReply(framed("RPR,000,C0,\r\n"), 0, "rPr000", d), ReplyVerdict::Answer);
  EXPECT_EQ(d.body, "RPR,000,C0,\r\n");
  EXPECT_EQ(judgeReply(framed("rPr,000,C0,\r\n", kVariant110), 2, "rPr000", d),
            ReplyVerdict::Answer);
  // A whole reply to another line is not the answer.
  EXPECT_EQ(judgeReply(framed("SND,000,1,2,3,0000001,\r\n"), 0, "rPr000", d),
            ReplyVerdict::NotTheAnswer);
  EXPECT_EQ(judgeReply(framed("RPR,001,C0,\r\n"), 0, "rPr000", d), ReplyVerdict::NotTheAnswer);
  // Every cut after the header, and the header alone, does not decode.
  const std::string whole = framed("RPR,000,C0.A8.00.FA,\r\n");
  for (size_t keep = 0; keep < whole.size(); ++keep) {
    EXPECT_NE(judgeReply(whole.substr(0, keep), 0, "rPr000", d), ReplyVerdict::Answer) << keep;
    EXPECT_NE(judgeReply(whole.substr(0, keep), 4, "rPr000", d), ReplyVerdict::Answer) << keep;
  }
  EXPECT_EQ(judgeReply(whole.substr(0, whole.size() - 1), 4, "rPr000", d),
            ReplyVerdict::Undecodable);
  EXPECT_EQ(judgeReply(framed("\r\n").substr(0, 9), 4, "rPr000", d), ReplyVerdict::Undecodable);
}

TEST(ProbeRules, TheWatchedStatusLeavesTheTokenOut) {
  EXPECT_EQ(watchedStatus("SND,000,25,60,250,1,0,0,0,0,0012345,"),
            watchedStatus("SND,000,25,60,250,1,0,0,0,0,0054321,"));
  EXPECT_NE(watchedStatus("SND,000,25,60,250,1,0,0,0,0,0012345,"),
            watchedStatus("SND,000,25,60,251,1,0,0,0,0,0012345,"));
  EXPECT_NE(watchedStatus("SND,000,25,60,250,1,0,0,0,0,0012345,"),
            watchedStatus("SND,000,25,60,250,1,1,0,0,0,0012345,"));
  EXPECT_EQ(watchedStatus("WMC,000,"), "WMC,000,");
}

TEST(ProbeRules, SndRepliesBeforeTheFirstTickCompareByShape) {
  EXPECT_TRUE(
      bodiesMatch("snd,000,20,50,250,0012345,", "SND,000,20,50,250,0,1,1,0,0,0000001,", true));
  EXPECT_TRUE(
      bodiesMatch("snd,000,20,50,250,0,1,1,0,0,0000001,", "SND,000,20,50,250,0012345,", true));
  EXPECT_FALSE(bodiesMatch("snd,000,20,50,250,0012345,", "SND,000,20,50,0012345,", true));
  EXPECT_FALSE(bodiesMatch("snd,000,-20,50,250,0012345,", "SND,000,20,50,250,0,1,1,0,0,1,", true));
  EXPECT_FALSE(bodiesMatch("snd,000,20,50,250,1,1,0012345,", "SND,000,20,50,250,0012345,", true));
}

TEST(ProbeRules, ReplayReadsOnlyTrafficLogs) {
  testing::TempDir dir;
  std::string error;
  const std::string log = "07/12/2026 21:30:05 - snd000\r\n07/12/2026 21:30:05 - snd,000,1,\r\n";
  testing::writeFile(dir.file("ok.log"), log);
  EXPECT_EQ(readReplayLog(dir.file("ok.log"), error), log);
  testing::writeFile(dir.file("empty.log"), "");
  EXPECT_EQ(readReplayLog(dir.file("empty.log"), error), "");
  testing::writeFile(dir.file("binary"), std::string("\x7f"
                                                     "ELF\0\0\x01",
                                                     7));
  testing::writeFile(dir.file("nul.log"), log + std::string(1, '\0'));
  ::mkfifo(dir.file("fifo").c_str(), 0600);
  for (const std::string& bad :
       {dir.path(), dir.file("fifo"), dir.file("binary"), dir.file("nul.log"),
        std::string("/dev/zero"), dir.file("missing")}) {
    error.clear();
    EXPECT_FALSE(readReplayLog(bad, error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

// A fake unit on an ephemeral port of 127.0.0.1 that answers one request with a scripted list
// of datagrams, each sent from its own socket or from a stranger's.
class FakeUnit {
 public:
  FakeUnit() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    stranger_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  }
  ~FakeUnit() {
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
    ::close(stranger_);
  }
  // Answers the next request (waiting at most 5 s) with `replies`: {fromStranger, bytes}.
  void answer(std::vector<std::pair<bool, std::string>> replies) {
    thread_ = std::thread([this, replies] {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return;
      char buffer[512];
      sockaddr_in from{};
      socklen_t n = sizeof from;
      ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
      for (const auto& [stranger, bytes] : replies) {
        ::sendto(stranger ? stranger_ : fd_, bytes.data(), bytes.size(), 0,
                 reinterpret_cast<sockaddr*>(&from), sizeof from);
      }
    });
  }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1, stranger_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

std::string probe(uint16_t port, const std::string& args) {
  return std::string(VEXA_PROBE_PATH) + " --port " + std::to_string(port) + " --timeout 1000 " +
         args;
}

TEST(ProbeE2e, OnlyTheTargetsAnswerToThisLineCounts) {
  FakeUnit unit;
  unit.answer({{true, framed("RPR,000,STRANGER,\r\n")},
               {false, framed("SND,000,1,2,3,0000001,\r\n")},  // a late reply to another line
               {false, framed("RPR,000,REAL,\r\n")}});
  const auto result = runCommand(probe(unit.port(), "rPr000"));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "RPR,000,REAL,\n");
}

TEST(ProbeE2e, AStrangersReplyAloneIsNoReply) {
  FakeUnit unit;
  unit.answer({{true, framed("RPR,000,C0,\r\n")}});
  EXPECT_EQ(runCommand(probe(unit.port(), "rPr000")).exitCode, 3);
}

TEST(ProbeE2e, AReplyCutAfterItsHeaderDoesNotDecode) {
  FakeUnit unit;
  const std::string whole = framed("RPR,000,C0,\r\n");
  unit.answer({{false, whole.substr(0, whole.size() - 4)}});
  const auto result = runCommand(probe(unit.port(), "rPr000"));
  EXPECT_EQ(result.exitCode, 4) << result.output;
}

TEST(ProbeE2e, ReplayRefusesWhatIsNotATrafficLogWithoutHanging) {
  testing::TempDir dir;
  ::mkfifo(dir.file("fifo").c_str(), 0600);
  testing::writeFile(dir.file("binary"), std::string(1000, '\x01'));
  for (const std::string& bad :
       {dir.path(), dir.file("fifo"), dir.file("binary"), std::string("/dev/zero")}) {
    const auto result = runCommand("timeout 10 " + probe(9, "--replay " + bad));
    EXPECT_EQ(result.exitCode, 2) << bad << ": " << result.output;
    EXPECT_NE(result.output.find("not a traffic log"), std::string::npos) << result.output;
  }
}

TEST(ProbeE2e, WatchPrintsOnlyChangesAndHonoursJson) {
  ASSERT_TRUE(testing::udpPortsFree({5010}));
  testing::TempDir dir;
  testing::SimProcess sim(dir);
  sim.start({"--headless"});
  ASSERT_TRUE(sim.waitUntilAnswering()) << sim.standardError();
  // Once the first 2 s measurement tick has put the flags into the status, nothing changes
  // (waited for, with a bound of 30 s that only catches a hang).
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (runCommand(probe(5010, "--json snd000")).output.find("\"presenca\"") ==
             std::string::npos &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // Three or four polls of an unchanging unit: its token changes every time, its status not.
  const auto result = runCommand("timeout -s INT 3.5 " + probe(5010, "--watch 1 --json"));
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  EXPECT_EQ(result.output.rfind("{", 0), 0u) << result.output;
}

}  // namespace
}  // namespace vexa
